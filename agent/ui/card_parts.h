// The pieces the meeting card is made of beyond the panels' common ones: rounded boxes, the
// brief in regular and semibold runs, and the drawn glyphs of its close and "More" buttons.
// Main thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QStringList>
#include <QWidget>
#include <vector>

#include "calendar/meeting_card.h"

namespace qv {

// A rounded rectangle filled with one colour, with an optional border; its children lie on it.
class RoundedBox : public QWidget {
  public:
    RoundedBox(qreal radius, const QColor& fill, QWidget* parent,
               const QColor& border = Qt::transparent);
    QColor fill() const { return fill_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    qreal radius_;
    QColor fill_, border_;
};

// The brief: its runs in one colour, regular or semibold, wrapped at word boundaries into at
// most two lines; text that does not fit ends the second line with an ellipsis. Line breaks
// in the text break lines; nothing else in it is markup.
class BriefLabel : public QWidget {
  public:
    BriefLabel(std::vector<RichSegment> segments, int pixelSize, const QColor& colour,
               QWidget* parent);
    // The whole text, and the lines as they are drawn at the current width.
    QString text() const { return text_; }
    QStringList shownLines() const;
    // Whether the run at `position` of the whole text is semibold.
    bool semiboldAt(qsizetype position) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Line;
    std::vector<Line> layoutLines() const;

    std::vector<RichSegment> segments_;
    QString text_;
    QFont regular_, semibold_;
    QColor colour_;
};

// A circle with a cross cut out (the close button), and a downward chevron (the "More" button),
// in `colour`, at the usual button icon sizes.
QIcon closeGlyph(const QColor& colour);
QIcon chevronGlyph(const QColor& colour);

}  // namespace qv
