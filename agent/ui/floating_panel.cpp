#include "ui/floating_panel.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "ui/window_hints.h"

namespace qv {

namespace {
constexpr int kRightMargin = 16;
constexpr int kTopMargin = 12;
const QRect kNoScreenArea(0, 0, 1440, 900);
}  // namespace

QPoint panelOrigin(const std::optional<QRect>& available, QSize size) {
    const QRect area = available.value_or(kNoScreenArea);
    return {area.x() + area.width() - size.width() - kRightMargin, area.y() + kTopMargin};
}

FloatingPanel::FloatingPanel(QSize size, qreal cornerRadius, WindowHints& hints)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      radius_(cornerRadius),
      translucent_(hints.compositing()) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(size);
    setFocusPolicy(Qt::StrongFocus);
    if (translucent_) {
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        // Without a compositor transparent pixels show black: cut the corners off instead.
        setMask(QRegion(outline().toFillPolygon().toPolygon()));
    }
    // The native window exists from here on, so the desktop hints land before it is mapped.
    winId();
    hints.makePanel(windowHandle());
}

QPainterPath FloatingPanel::outline() const {
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), radius_, radius_);
    return path;
}

void FloatingPanel::present() {
    QScreen* screen = QGuiApplication::primaryScreen();
    const std::optional<QRect> area =
        screen ? std::optional<QRect>(screen->availableGeometry()) : std::nullopt;
    move(panelOrigin(area, size()));
    show();
    raise();
}

void FloatingPanel::setDefaultButton(QAbstractButton* button) {
    defaultButton_ = button;
}

void FloatingPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::Window);
    if (translucent_) fill.setAlphaF(0.97f);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.16f);
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_, radius_);
}

void FloatingPanel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (defaultButton_) defaultButton_->click();
            return;
        case Qt::Key_Escape:
            emit dismissed();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void FloatingPanel::closeEvent(QCloseEvent* event) {
    // Always accepted: a refusal would also hold up the application's own quit.
    event->accept();
    emit dismissed();
}

}  // namespace qv
