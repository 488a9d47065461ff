#include "ui/two_line_menu_item.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include "ui/literal_text.h"

namespace qv {

namespace {

constexpr int kIconSide = 16;
constexpr int kIndentStep = 12;
constexpr int kFrame = 5;
constexpr int kCheckColumn = 20;
constexpr int kTextMargin = 3;
// The widest a row's text makes the menu; longer titles are elided. Calendars hold titles of
// thousands of characters, which would make the menu wider than the screen and take long to
// measure.
constexpr int kMaxTextWidth = 560;
// More characters than any font fits into kMaxTextWidth: text is measured and elided only up
// to here, so its cost does not grow with its length.
constexpr qsizetype kMaxChars = 200;

// At most kMaxChars of `text`, with an ellipsis where it was cut.
QString measurable(const QString& text) {
    if (text.size() <= kMaxChars) return text;
    return text.left(kMaxChars) + QChar(0x2026);
}

// The row's widget inside one menu: highlighted like the menu's own rows when the mouse or the
// keyboard is on it; a click closes the menus, then chooses the action.
class TwoLineWidget : public QWidget {
  public:
    TwoLineWidget(TwoLineMenuItem* action, bool big, int indent, const QIcon& icon, QWidget* parent)
        : QWidget(parent),
          action_(action),
          title_(measurable(action->title())),
          detail_(measurable(action->detail())),
          icon_(icon),
          indent_(indent) {
        setMouseTracking(true);
        setAttribute(Qt::WA_Hover);
        titleFont_ = font();
        if (!big) titleFont_.setPointSizeF(titleFont_.pointSizeF() - 1);
        detailFont_ = font();
        detailFont_.setPointSizeF(qMax(7.0, detailFont_.pointSizeF() - 2));
        if (auto* menu = qobject_cast<QMenu*>(parent)) {
            connect(menu, &QMenu::hovered, this, [this] { update(); });
        }
    }

    QSize sizeHint() const override {
        const QFontMetrics t(titleFont_), d(detailFont_);
        const int text = qMax(t.horizontalAdvance(title_), d.horizontalAdvance(detail_));
        return {textLeft() + qMin(text, kMaxTextWidth) + 24, t.height() + d.height() + 10};
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QStyleOptionMenuItem option;
        option.initFrom(this);
        option.menuItemType = QStyleOptionMenuItem::Normal;
        option.menuRect = rect();
        option.rect = rect();
        if (highlighted()) option.state |= QStyle::State_Selected;
        if (!action_->isEnabled()) option.state &= ~QStyle::State_Enabled;
        style()->drawControl(QStyle::CE_MenuItem, &option, &p, parentWidget());

        const QPalette::ColorRole role = highlighted() ? QPalette::HighlightedText : QPalette::Text;
        const QColor text = palette().color(QPalette::Active, role);
        QColor secondary = text;
        secondary.setAlphaF(0.65f);
        const QFontMetrics t(titleFont_), d(detailFont_);
        const int top = (height() - t.height() - d.height()) / 2;
        const int width = this->width() - textLeft() - 8;
        p.setFont(titleFont_);
        p.setPen(text);
        p.drawText(textLeft(), top + t.ascent(), t.elidedText(title_, Qt::ElideRight, width));
        p.setFont(detailFont_);
        p.setPen(secondary);
        p.drawText(textLeft(), top + t.height() + d.ascent(),
                   d.elidedText(detail_, Qt::ElideRight, width));
        if (!icon_.isNull()) {
            const int y = top + (t.height() - kIconSide) / 2;
            icon_.paint(&p, QRect(iconLeft(), y, kIconSide, kIconSide));
        }
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton || !action_->isEnabled()) return;
        // Close the whole chain of menus first, as choosing any other row does.
        for (QWidget* w = parentWidget(); auto* menu = qobject_cast<QMenu*>(w);
             w = menu->parentWidget()) {
            menu->close();
        }
        action_->trigger();
    }

    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }

  private:
    bool highlighted() const {
        auto* menu = qobject_cast<QMenu*>(parentWidget());
        return underMouse() || (menu && menu->activeAction() == action_);
    }
    // The columns of the menu's own rows: a frame, the check-mark column (where the icon goes),
    // a margin, then the text.
    int iconLeft() const { return kFrame + (kCheckColumn - kIconSide) / 2 + indent_ * kIndentStep; }
    int textLeft() const { return kFrame + kCheckColumn + kTextMargin + indent_ * kIndentStep; }

    TwoLineMenuItem* action_;
    QString title_, detail_;  // as measured and drawn
    QIcon icon_;
    int indent_;
    QFont titleFont_, detailFont_;
};

}  // namespace

TwoLineMenuItem::TwoLineMenuItem(const QString& title, const QString& detail, bool big, int indent,
                                 const QIcon& icon, QObject* parent)
    : QWidgetAction(parent),
      title_(title),
      detail_(detail),
      big_(big),
      indent_(indent),
      icon_(icon) {
    // The plain text, for accessibility and for anything that reads the action's text.
    setText(literalText(measurable(title)) + QLatin1Char('\n') + literalText(measurable(detail)));
}

QWidget* TwoLineMenuItem::createWidget(QWidget* parent) {
    return new TwoLineWidget(this, big_, indent_, icon_, parent);
}

}  // namespace qv
