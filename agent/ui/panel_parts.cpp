#include "ui/panel_parts.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "ui/app_icon.h"

namespace qv {

QFont panelFont(int pixels, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QColor secondaryTextColour(const QPalette& palette) {
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.62f);
    return colour;
}

ElidedLabel::ElidedLabel(const QString& text, const QFont& font, const QColor& colour,
                         QWidget* parent)
    : QWidget(parent), text_(text), colour_(colour) {
    setFont(font);
    setAccessibleName(text);
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text_, Qt::ElideRight, width());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(colour_);
    p.setFont(font());
    // Plain text, never markup: titles and messages come from other programs.
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownText());
}

void ElidedLabel::resizeEvent(QResizeEvent*) {
    setToolTip(shownText() == text_ ? QString() : text_);
}

AccentStripe::AccentStripe(qreal panelRadius, QWidget* panel)
    : QWidget(panel), radius_(panelRadius) {}

void AccentStripe::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(parentWidget()->rect()).translated(-pos()), radius_, radius_);
    p.setClipPath(panel);
    QLinearGradient fill(0, 0, 0, height());
    fill.setColorAt(0, kAccentDeep);
    fill.setColorAt(1, kAccentLight);
    p.fillRect(rect(), fill);
}

IconView::IconView(const QIcon& icon, QWidget* parent) : QWidget(parent), icon_(icon) {}

void IconView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    icon_.paint(&p, rect(), Qt::AlignCenter);
}

}  // namespace qv
