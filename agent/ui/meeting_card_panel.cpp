#include "ui/meeting_card_panel.h"

#include <QAction>
#include <QMenu>

#include "ports/clock.h"
#include "ui/app_icon.h"
#include "ui/block_button.h"
#include "ui/card_parts.h"
#include "ui/literal_text.h"
#include "ui/panel_parts.h"
#include "ui/service_icons.h"

namespace qv {

namespace {

constexpr qreal kCornerRadius = 18;
constexpr int kBoxHeight = 56;
const char* const kTagProperty = "qvCardTag";

QColor withAlpha(QColor colour, float alpha) {
    colour.setAlphaF(alpha);
    return colour;
}

// The system's colours for the card's quieter parts, from the panel's palette.
QColor tertiaryTextColour(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::WindowText), 0.3f);
}
QColor separatorColour(const QPalette& palette) {
    return withAlpha(palette.color(QPalette::WindowText), 0.14f);
}

// A button without a frame over the card's content: only hovering and pressing show it.
void makeBorderless(BlockButton* button, const QString& corners, const QPalette& palette) {
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    const QColor text = palette.color(QPalette::WindowText);
    button->setStyleSheet(
        QStringLiteral("QPushButton { border: none; background: transparent; %1 }"
                       "QPushButton:hover { background: rgba(%2, %3, %4, 15); }"
                       "QPushButton:pressed { background: rgba(%2, %3, %4, 36); }")
            .arg(corners)
            .arg(text.red())
            .arg(text.green())
            .arg(text.blue()));
}

}  // namespace

MeetingCardPanel::MeetingCardPanel(WindowHints& hints, const Clock& clock, InstalledApps& apps,
                                   LocalCalendar calendar)
    : hints_(hints), clock_(clock), apps_(apps), calendar_(std::move(calendar)) {}

void MeetingCardPanel::show(const QString& title, double start, std::optional<double> end,
                            const QString& color, const QString& service, const QString& brief,
                            std::function<void()> onJoinRecord, std::function<void()> onRecord,
                            std::function<void()> onJoin, std::function<void()> onOpen,
                            double seconds) {
    close();  // the old card and its menu, if open
    const bool joinable = static_cast<bool>(onJoin);
    const int height = brief.isEmpty() ? kHeight : kHeightWithBrief;
    auto panel = std::make_unique<FloatingPanel>(QSize(kWidth, height), kCornerRadius, hints_);
    panel->setObjectName(QStringLiteral("meetingCard"));
    panel->setWindowTitle(title);

    addHead(*panel, title, start, end, color);
    addActions(*panel, service, joinable, joinable ? std::move(onJoinRecord) : onRecord);
    if (!brief.isEmpty()) {
        auto* box = new RoundedBox(
            12, withAlpha(panel->palette().color(QPalette::WindowText), 0.06f), panel.get());
        box->setObjectName(QStringLiteral("briefBox"));
        box->setGeometry(14, height - 14 - 50, 424, 50);
        auto* label = new BriefLabel(MeetingCard::rich(brief), 13,
                                     panel->palette().color(QPalette::WindowText), box);
        label->setObjectName(QStringLiteral("brief"));
        label->setGeometry(14, 6, 396, 38);
    }

    // The menu's choices by position; the last one only closes the card.
    std::vector<QString> titles;
    actions_.clear();
    if (joinable) {
        titles = {QStringLiteral("Record without joining"),
                  QStringLiteral("Join without recording")};
        actions_ = {std::move(onRecord), std::move(onJoin)};
    }
    titles.push_back(QStringLiteral("Open in Quorvia"));
    actions_.push_back(std::move(onOpen));
    titles.push_back(QStringLiteral("Not now"));
    actions_.push_back([] {});
    buildMenu(*panel, titles);

    slot_.present(std::move(panel), seconds);
}

void MeetingCardPanel::addHead(FloatingPanel& panel, const QString& title, double start,
                               std::optional<double> end, const QString& color) {
    const QPalette& palette = panel.palette();
    (new IconView(applicationIcon(), &panel))->setGeometry(40, 15, 15, 15);
    auto* header =
        new ElidedLabel(QStringLiteral("Quorvia  \u00B7  ") + cardCountdown(start, clock_.now()),
                        panelFont(11, QFont::Medium), secondaryTextColour(palette), &panel);
    header->setObjectName(QStringLiteral("header"));
    header->setGeometry(60, 15, 220, 15);

    auto* close = new BlockButton(QString(), slot_.closingThen(nullptr), &panel);
    close->setObjectName(QStringLiteral("close"));
    close->setAccessibleName(QStringLiteral("Close"));
    close->setToolTip(QStringLiteral("Close"));
    makeBorderless(close, QStringLiteral("border-radius: 11px;"), palette);
    close->setIcon(closeGlyph(tertiaryTextColour(palette)));
    close->setIconSize(QSize(18, 18));
    close->setGeometry(10, 12, 22, 22);

    const CardColour c = MeetingCard::color(color);
    auto* bar = new RoundedBox(2.5, QColor::fromRgbF(c.red, c.green, c.blue), &panel);
    bar->setObjectName(QStringLiteral("colourBar"));
    bar->setGeometry(20, 44, 5, 44);
    auto* titleLabel = new ElidedLabel(title, panelFont(15, QFont::DemiBold),
                                       palette.color(QPalette::WindowText), &panel);
    titleLabel->setObjectName(QStringLiteral("title"));
    titleLabel->setGeometry(36, 46, 214, 20);
    auto* time = new ElidedLabel(cardTime(start, end, calendar_), panelFont(13, QFont::Normal),
                                 secondaryTextColour(palette), &panel);
    time->setObjectName(QStringLiteral("time"));
    time->setGeometry(36, 70, 214, 18);
}

void MeetingCardPanel::addActions(FloatingPanel& panel, const QString& service, bool joinable,
                                  std::function<void()> main) {
    const QPalette& palette = panel.palette();
    auto* box = new RoundedBox(12, withAlpha(palette.color(QPalette::Base), 0.6f), &panel,
                               separatorColour(palette));
    box->setObjectName(QStringLiteral("actionBox"));
    box->setGeometry(260, 36, 176, kBoxHeight);

    auto* icon = new IconView(joinable ? serviceIconImage(service, apps_) : applicationIcon(), box);
    icon->setObjectName(QStringLiteral("serviceIcon"));
    icon->setGeometry(12, 13, 30, 30);
    const auto [first, second] = cardCaption(service, joinable);
    auto* caption = new ElidedLabel(first, panelFont(14, QFont::DemiBold),
                                    palette.color(QPalette::WindowText), box);
    caption->setObjectName(QStringLiteral("caption"));
    caption->setGeometry(50, 10, 92, 18);
    auto* caption2 =
        new ElidedLabel(second, panelFont(12, QFont::Normal), secondaryTextColour(palette), box);
    caption2->setObjectName(QStringLiteral("caption2"));
    caption2->setGeometry(50, 29, 92, 16);
    (new RoundedBox(0, separatorColour(palette), box))->setGeometry(142, 0, 1, kBoxHeight);

    // Over the icon and the captions, so a click anywhere on them presses it.
    auto* mainButton = new BlockButton(QString(), slot_.closingThen(std::move(main)), box);
    mainButton->setObjectName(QStringLiteral("main"));
    mainButton->setAccessibleName(first + QLatin1Char(' ') + second);
    makeBorderless(mainButton,
                   QStringLiteral("border-top-left-radius: 11px; border-bottom-left-radius: 11px;"),
                   palette);
    mainButton->setGeometry(0, 0, 142, kBoxHeight);
    panel.setDefaultButton(mainButton);

    auto* more = new BlockButton(QString(), nullptr, box);
    more->setObjectName(QStringLiteral("more"));
    more->setAccessibleName(QStringLiteral("More"));
    more->setToolTip(QStringLiteral("More"));
    makeBorderless(
        more, QStringLiteral("border-top-right-radius: 11px; border-bottom-right-radius: 11px;"),
        palette);
    more->setIcon(chevronGlyph(secondaryTextColour(palette)));
    more->setIconSize(QSize(16, 16));
    more->setGeometry(142, 0, 34, kBoxHeight);
    // Pops the menu up just below the button; nothing once the button is gone.
    QObject::connect(more, &QPushButton::clicked, more, [this, button = QPointer(more)] {
        if (button && menu_) menu_->popup(button->mapToGlobal(QPoint(0, button->height() + 2)));
    });
    QWidget::setTabOrder(mainButton, more);
    QWidget::setTabOrder(more, panel.findChild<BlockButton*>(QStringLiteral("close")));
}

void MeetingCardPanel::buildMenu(FloatingPanel& panel, const std::vector<QString>& titles) {
    // A child of the panel: it goes when the card goes.
    auto* menu = new QMenu(&panel);
    menu->setObjectName(QStringLiteral("moreMenu"));
    for (int tag = 0; tag < int(titles.size()); ++tag) {
        QAction* entry = menu->addAction(literalText(titles[tag]));
        entry->setProperty(kTagProperty, tag);
        QObject::connect(entry, &QAction::triggered, menu,
                         [this, tag, card = QPointer<FloatingPanel>(&panel)] {
                             // An entry of a card that is no longer the one shown runs nothing.
                             if (card && card == slot_.panel()) pick(tag);
                         });
    }
    menu_ = menu;
}

void MeetingCardPanel::pick(int tag) {
    std::function<void()> action;
    if (tag >= 0 && tag < int(actions_.size())) action = actions_[tag];
    close();
    if (action) action();
}

void MeetingCardPanel::close() {
    if (menu_) menu_->close();
    slot_.close();
}

bool MeetingCardPanel::visible() const {
    return slot_.visible();
}

}  // namespace qv
