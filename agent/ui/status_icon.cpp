#include "ui/status_icon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace qv {

namespace {

// The holes, as the rectangles their circles are inscribed in (logical pixels).
constexpr QRectF kHoles[] = {
    {4.8, 5.8, 2.4, 2.4}, {7.8, 5.8, 2.4, 2.4},  {10.8, 5.8, 2.4, 2.4},
    {4.8, 8.8, 2.4, 2.4}, {4.8, 11.8, 2.4, 2.4}, {10.3, 10.3, 3.4, 3.4},
};

// The recording mark: a red dot over the lower-right corner, parted from the glyph by a
// transparent ring so it reads on any tray colour.
constexpr QPointF kDotCentre{14.0, 14.0};
constexpr qreal kDotRadius = 3.6;
constexpr qreal kRingWidth = 1.2;
const QColor kRecordingRed(0xFF, 0x3B, 0x30);

}  // namespace

QImage statusIconImage(qreal devicePixelRatio, const QColor& colour, bool recording) {
    const int side = qRound(kStatusIconSize * devicePixelRatio);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(1, 1, 16, 16), 4, 4);
    p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    p.setBrush(Qt::black);
    // Below two device pixels per logical one the holes are only two or three pixels wide:
    // snapped to whole pixels they stay clear instead of blurring into grey.
    p.setRenderHint(QPainter::Antialiasing, devicePixelRatio >= 2);
    for (const QRectF& hole : kHoles) p.drawEllipse(hole);
    p.setRenderHint(QPainter::Antialiasing);
    if (recording) {
        const qreal outer = kDotRadius + kRingWidth;
        p.drawEllipse(kDotCentre, outer, outer);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setBrush(kRecordingRed);
        p.drawEllipse(kDotCentre, kDotRadius, kDotRadius);
    }
    return image;
}

QIcon statusIcon(const QColor& colour, bool recording) {
    QIcon icon;
    for (qreal ratio : {1.0, 2.0}) {
        icon.addPixmap(QPixmap::fromImage(statusIconImage(ratio, colour, recording)));
    }
    return icon;
}

QColor defaultGlyphColour() {
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    for (const char* dark : {"GNOME", "Unity", "Pantheon"}) {
        if (desktop.contains(QLatin1String(dark), Qt::CaseInsensitive)) return Qt::white;
    }
    return QGuiApplication::palette().color(QPalette::WindowText);
}

}  // namespace qv
