#include "ui/card_parts.h"

#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include "ui/panel_parts.h"

namespace qv {

namespace {

constexpr int kMaxLines = 2;
constexpr qreal kLineSpacing = 1;
const QString kEllipsis = QStringLiteral("\u2026");

// Draws a glyph at sizes 16 to 48 for both pixel ratios; `draw` paints into a side x side box.
QIcon drawnIcon(const std::function<void(QPainter&, qreal side)>& draw) {
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48}) {
        for (qreal ratio : {1.0, 2.0}) {
            QPixmap pixmap(qRound(side * ratio), qRound(side * ratio));
            pixmap.setDevicePixelRatio(ratio);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            draw(p, side);
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}

}  // namespace

RoundedBox::RoundedBox(qreal radius, const QColor& fill, QWidget* parent, const QColor& border)
    : QWidget(parent), radius_(radius), fill_(fill), border_(border) {}

void RoundedBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(fill_);
    if (border_.alpha() > 0) {
        p.setPen(QPen(border_, 1));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_, radius_);
    } else {
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(rect()), radius_, radius_);
    }
}

// One drawn line: line `index` of a layout (the wrapped text's, or the elided last line's).
struct BriefLabel::Line {
    std::shared_ptr<QTextLayout> layout;
    int index;
    QString text;
};

BriefLabel::BriefLabel(std::vector<RichSegment> segments, int pixelSize, const QColor& colour,
                       QWidget* parent)
    : QWidget(parent),
      segments_(std::move(segments)),
      regular_(panelFont(pixelSize, QFont::Normal)),
      semibold_(panelFont(pixelSize, QFont::DemiBold)),
      colour_(colour) {
    for (const RichSegment& s : segments_) text_ += s.text;
    setAccessibleName(text_);
}

bool BriefLabel::semiboldAt(qsizetype position) const {
    qsizetype start = 0;
    for (const RichSegment& s : segments_) {
        if (position < start + s.text.size()) return s.semibold;
        start += s.text.size();
    }
    return false;
}

std::vector<BriefLabel::Line> BriefLabel::layoutLines() const {
    // Line breaks in the text become the separators the layout breaks lines at.
    QString shown = text_;
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    const auto formatsFrom = [this](qsizetype from, qsizetype length) {
        QList<QTextLayout::FormatRange> formats;
        for (qsizetype i = 0; i < length; ++i) {
            if (!semiboldAt(from + i)) continue;
            if (!formats.isEmpty() && formats.last().start + formats.last().length == i) {
                ++formats.last().length;
                continue;
            }
            QTextLayout::FormatRange range{int(i), 1, {}};
            range.format.setFont(semibold_);
            formats << range;
        }
        return formats;
    };
    const auto layOut = [&](const QString& text, qsizetype from, qreal width) {
        auto layout = std::make_shared<QTextLayout>(text, regular_);
        layout->setFormats(formatsFrom(from, text.size()));
        QTextOption option;
        option.setWrapMode(width > 0 ? QTextOption::WrapAtWordBoundaryOrAnywhere
                                     : QTextOption::NoWrap);
        layout->setTextOption(option);
        layout->beginLayout();
        return layout;
    };

    std::vector<Line> lines;
    auto whole = layOut(shown, 0, width());
    qreal y = 0;
    for (int n = 0; n < kMaxLines; ++n) {
        QTextLine line = whole->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width());
        line.setPosition(QPointF(0, y));
        y += line.height() + kLineSpacing;
    }
    whole->endLayout();
    if (whole->lineCount() == 0) return lines;
    const QTextLine last = whole->lineAt(whole->lineCount() - 1);
    const qsizetype lastStart = last.textStart();
    const bool cut = lastStart + last.textLength() < shown.size();
    for (int i = 0; i < whole->lineCount() - (cut ? 1 : 0); ++i) {
        const QTextLine l = whole->lineAt(i);
        lines.push_back({whole, i, shown.mid(l.textStart(), l.textLength())});
    }
    if (!cut) return lines;

    // The rest of the text on one line, cut where it and an ellipsis still fit.
    QString rest = shown.mid(lastStart);
    rest.replace(QChar::LineSeparator, QLatin1Char(' '));
    auto single = layOut(rest, lastStart, 0);
    QTextLine full = single->createLine();
    single->endLayout();
    const QFontMetricsF metrics(semiboldAt(lastStart) ? semibold_ : regular_);
    const int keep = full.xToCursor(width() - metrics.horizontalAdvance(kEllipsis),
                                    QTextLine::CursorBetweenCharacters);
    QString elided = rest.left(keep);
    while (elided.endsWith(QLatin1Char(' '))) elided.chop(1);
    elided += kEllipsis;
    auto tail = layOut(elided, lastStart, 0);
    QTextLine line = tail->createLine();
    line.setPosition(QPointF(0, last.position().y()));
    tail->endLayout();
    lines.push_back({tail, 0, elided});
    return lines;
}

QStringList BriefLabel::shownLines() const {
    QStringList out;
    for (const Line& line : layoutLines()) out << line.text.trimmed();
    return out;
}

void BriefLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(colour_);
    for (const Line& line : layoutLines()) line.layout->lineAt(line.index).draw(&p, QPointF(0, 0));
}

QIcon closeGlyph(const QColor& colour) {
    return drawnIcon([colour](QPainter& p, qreal side) {
        const qreal r = side * 0.42;
        const QPointF c(side / 2.0, side / 2.0);
        QPainterPath circle;
        circle.addEllipse(c, r, r);
        // The cross is cut out of the disc, so whatever lies below shows through.
        const qreal arm = r * 0.42;
        QPainterPathStroker stroker;
        stroker.setWidth(side * 0.09);
        stroker.setCapStyle(Qt::RoundCap);
        QPainterPath cross;
        cross.moveTo(c + QPointF(-arm, -arm));
        cross.lineTo(c + QPointF(arm, arm));
        cross.moveTo(c + QPointF(arm, -arm));
        cross.lineTo(c + QPointF(-arm, arm));
        p.fillPath(circle.subtracted(stroker.createStroke(cross)), colour);
    });
}

QIcon chevronGlyph(const QColor& colour) {
    return drawnIcon([colour](QPainter& p, qreal side) {
        QPen pen(colour, side * 0.11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        const qreal w = side * 0.26, h = side * 0.13;
        const QPointF c(side / 2.0, side / 2.0 + h / 2);
        p.drawPolyline(QPolygonF{c + QPointF(-w, -h), c + QPointF(0, h * 0.9), c + QPointF(w, -h)});
    });
}

}  // namespace qv
