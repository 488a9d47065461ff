#include "ui/prompt_panel.h"

#include "ui/app_icon.h"
#include "ui/block_button.h"
#include "ui/panel_parts.h"

namespace qv {

namespace {

constexpr qreal kCornerRadius = 14;

}  // namespace

PromptPanel::PromptPanel(WindowHints& hints) : hints_(hints) {}

void PromptPanel::show(const QString& title, const QString& subtitle, const QString& primary,
                       const QString& secondary, std::function<void()> onPrimary,
                       std::function<void()> onSecondary, double seconds) {
    slot_.close();
    auto panel = std::make_unique<FloatingPanel>(kSize, kCornerRadius, hints_);
    panel->setObjectName(QStringLiteral("prompt"));
    // The window's name is its message: what window lists and assistive technologies announce.
    panel->setWindowTitle(title);
    const QPalette& palette = panel->palette();

    (new AccentStripe(kCornerRadius, panel.get()))->setGeometry(0, 0, 4, 128);
    (new IconView(applicationIcon(), panel.get()))->setGeometry(16, 18, 40, 40);
    auto* name = new ElidedLabel(QStringLiteral("Quorvia"), panelFont(11, QFont::Medium),
                                 secondaryTextColour(palette), panel.get());
    name->setGeometry(66, 12, 290, 14);
    auto* titleLabel = new ElidedLabel(title, panelFont(13, QFont::DemiBold),
                                       palette.color(QPalette::WindowText), panel.get());
    titleLabel->setObjectName(QStringLiteral("title"));
    titleLabel->setGeometry(66, 27, 290, 18);
    auto* subtitleLabel = new ElidedLabel(subtitle, panelFont(12, QFont::Normal),
                                          secondaryTextColour(palette), panel.get());
    subtitleLabel->setObjectName(QStringLiteral("subtitle"));
    subtitleLabel->setGeometry(66, 47, 290, 16);

    auto* primaryButton =
        new BlockButton(primary, slot_.closingThen(std::move(onPrimary)), panel.get());
    primaryButton->setObjectName(QStringLiteral("primary"));
    primaryButton->setGeometry(198, 84, 158, 30);
    primaryButton->setDefault(true);
    auto* secondaryButton =
        new BlockButton(secondary, slot_.closingThen(std::move(onSecondary)), panel.get());
    secondaryButton->setObjectName(QStringLiteral("secondary"));
    secondaryButton->setGeometry(102, 84, 92, 30);
    panel->setDefaultButton(primaryButton);
    // Tab goes from the main answer to the other one.
    QWidget::setTabOrder(primaryButton, secondaryButton);

    slot_.present(std::move(panel), seconds);
}

void PromptPanel::close() {
    slot_.close();
}

bool PromptPanel::visible() const {
    return slot_.visible();
}

}  // namespace qv
