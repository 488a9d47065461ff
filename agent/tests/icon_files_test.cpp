// The icons the desktop shows (the SVGs under data/icons and the PNGs the build draws from them)
// have the geometry of the icons the agent draws itself: the application icon and the tray glyph.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include "ui/app_icon.h"
#include "ui/status_icon.h"

namespace {

const QString kStageIcons = QStringLiteral(QV_STAGE_DATA "/icons/hicolor");

// Pixels of `a` and `b` (same size) whose colour or alpha differ by more than `by` in any
// channel, as a share of all pixels. Both are compared premultiplied, so colour under full
// transparency does not count.
double shareDiffering(const QImage& a, const QImage& b, int by) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            if (std::abs(qRed(p) - qRed(q)) > by || std::abs(qGreen(p) - qGreen(q)) > by ||
                std::abs(qBlue(p) - qBlue(q)) > by || std::abs(qAlpha(p) - qAlpha(q)) > by)
                ++differing;
        }
    }
    return double(differing) / (x.width() * x.height());
}

// The SVG drawn at `side` pixels by the renderer the build uses.
QImage rendered(const QString& svg, int side) {
    QTemporaryDir dir;
    const QString png = dir.filePath("icon.png");
    QProcess rsvg;
    rsvg.start(QV_RSVG_CONVERT, {"--width", QString::number(side), "--height",
                                 QString::number(side), "--output", png, svg});
    if (!rsvg.waitForFinished(60000) || rsvg.exitCode() != 0) return {};
    return QImage(png);
}

// Below 64 pixels the agent snaps the glyph's holes to whole pixels, which a scalable drawing
// does not; from there on the two must agree.
TEST(IconFiles, ApplicationIconPngsAreTheIconTheAgentDraws) {
    for (int side : {64, 128, 256}) {
        const QString file =
            QStringLiteral("%1/%2x%2/apps/com.lumaret.quorvia.png").arg(kStageIcons).arg(side);
        const QImage png(file);
        ASSERT_FALSE(png.isNull()) << file.toStdString();
        ASSERT_EQ(png.size(), QSize(side, side)) << side;
        const QImage drawn = qv::applicationIconPixmap(side, 1.0).toImage();
        // Edges are smoothed a little differently by the two renderers, by less than half the
        // range; a hole half a glyph unit away turns a few tenths of a percent of the pixels.
        EXPECT_LT(shareDiffering(png, drawn, 48), 0.02) << side;
        EXPECT_LT(shareDiffering(png, drawn, 128), 0.001) << side;
    }
}

TEST(IconFiles, SymbolicIconsAreTheTrayGlyphIdleAndRecording) {
    struct Case {
        const char* file;
        bool recording;
    };
    for (const Case c : {Case{"com.lumaret.quorvia-symbolic.svg", false},
                         Case{"com.lumaret.quorvia-recording-symbolic.svg", true}}) {
        for (qreal ratio : {2.0, 4.0}) {
            const int side = qRound(qv::kStatusIconSize * ratio);
            const QImage svg = rendered(QV_SOURCE_ICONS "/" + QString(c.file), side);
            ASSERT_FALSE(svg.isNull()) << c.file << " " << ratio;
            const QImage glyph = qv::statusIconImage(ratio, QColor(0x2e, 0x34, 0x36), c.recording);
            EXPECT_LT(shareDiffering(svg, glyph, 48), 0.002) << c.file << " " << ratio;
        }
    }
}

}  // namespace
