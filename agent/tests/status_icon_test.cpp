// The tray glyph's pixels at the device pixel ratios screens use.
#include <gtest/gtest.h>

#include <QImage>

#include "ui/status_icon.h"

using qv::statusIconImage;

namespace {

int alphaAt(const QImage& image, QPointF logical) {
    const qreal r = image.devicePixelRatio();
    return qAlpha(image.pixel(int(logical.x() * r), int(logical.y() * r)));
}

// Centres of the six holes, and points of the square well away from holes and edges.
const QPointF kHoleCentres[] = {{6, 7}, {9, 7}, {12, 7}, {6, 10}, {6, 13}, {12, 12}};
const QPointF kSolid[] = {{3, 3},  {9, 3},  {14, 3}, {3, 9},  {9, 10},
                          {14, 9}, {9, 14}, {3, 14}, {14, 14}};
const QPointF kOutside[] = {{0.3, 0.3}, {17.7, 0.3}, {0.3, 17.7}, {17.7, 17.7}, {9, 0.3}};

TEST(StatusIcon, RoundedSquareWithSixHolesAtEveryPixelRatio) {
    for (qreal ratio : {1.0, 2.0}) {
        const QImage icon = statusIconImage(ratio, Qt::black, false);
        EXPECT_EQ(icon.size(), QSize(18, 18) * ratio);
        EXPECT_EQ(icon.deviceIndependentSize(), QSizeF(18, 18));
        for (QPointF p : kSolid)
            EXPECT_EQ(alphaAt(icon, p), 255) << ratio << " " << p.x() << "," << p.y();
        for (QPointF p : kHoleCentres)
            EXPECT_EQ(alphaAt(icon, p), 0) << ratio << " " << p.x() << "," << p.y();
        for (QPointF p : kOutside)
            EXPECT_EQ(alphaAt(icon, p), 0) << ratio << " " << p.x() << "," << p.y();
    }
}

TEST(StatusIcon, DrawnInTheColourItIsGiven) {
    for (const QColor& colour : {QColor(Qt::black), QColor(Qt::white), QColor(0x33, 0x66, 0x99)}) {
        const QImage icon = statusIconImage(2.0, colour, false);
        EXPECT_EQ(QColor(icon.pixel(18, 6)).rgb(), colour.rgb()) << colour.name().toStdString();
    }
}

TEST(StatusIcon, RecordingAddsARedMarkAndKeepsTheTopRowOfHoles) {
    for (qreal ratio : {1.0, 2.0}) {
        const QImage icon = statusIconImage(ratio, Qt::black, true);
        const QColor centre = icon.pixelColor(int(14 * ratio), int(14 * ratio));
        EXPECT_EQ(centre.alpha(), 255);
        EXPECT_GT(centre.red(), 200);
        EXPECT_LT(centre.green(), 100);
        for (QPointF p : {QPointF(6, 7), QPointF(9, 7), QPointF(6, 10)})
            EXPECT_EQ(alphaAt(icon, p), 0);
        EXPECT_EQ(alphaAt(icon, {3, 3}), 255);
    }
}

}  // namespace
