#include "ui/app_icon.h"

#include <QLinearGradient>
#include <QPainter>

#include "ui/status_icon.h"

namespace qv {

QPixmap applicationIconPixmap(int side, qreal devicePixelRatio) {
    QPixmap pixmap(qRound(side * devicePixelRatio), qRound(side * devicePixelRatio));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);

    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF tile(side * 0.04, side * 0.04, side * 0.92, side * 0.92);
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0, kAccentLight);
    fill.setColorAt(1, kAccentDeep);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(tile, side * 0.22, side * 0.22);

    // The glyph covers about 62% of the tile, drawn at the ratio the result needs.
    const qreal glyphSide = side * 0.62;
    const qreal scale = glyphSide / kStatusIconSize;
    const QImage glyph = statusIconImage(devicePixelRatio * scale, Qt::white, false);
    const qreal offset = (side - glyphSide) / 2;
    p.drawImage(QRectF(offset, offset, glyphSide, glyphSide), glyph);
    return pixmap;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int side : {16, 22, 24, 32, 40, 48, 64, 128, 256}) {
        icon.addPixmap(applicationIconPixmap(side, 1.0));
    }
    return icon;
}

}  // namespace qv
