// The pieces panels are made of: one-line labels cut at the end, the accent stripe, the icon,
// and the fonts and colours of their texts. Main thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QWidget>

namespace qv {

// The application font at a size in logical pixels, the unit of the panels' whole layout, so
// text keeps its proportions to the fixed frames it is drawn in.
QFont panelFont(int pixels, QFont::Weight weight);
// The palette's colour for secondary text (captions, explanations).
QColor secondaryTextColour(const QPalette& palette);

// One line of plain text that never grows its widget: a text too long for it is cut at the end
// with an ellipsis, and the whole text becomes the tooltip.
class ElidedLabel : public QWidget {
  public:
    ElidedLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent);
    QString text() const { return text_; }
    // The text as it is drawn at the current width.
    QString shownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QString text_;
    QColor colour_;
};

// The accent stripe along a panel's edge: the accent's gradient, deep at the top, clipped to the
// panel's rounded outline.
class AccentStripe : public QWidget {
  public:
    AccentStripe(qreal panelRadius, QWidget* panel);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    qreal radius_;
};

// An icon drawn to fill the widget, kept in proportion, sharp at the screen's pixel ratio.
class IconView : public QWidget {
  public:
    IconView(const QIcon& icon, QWidget* parent);
    const QIcon& icon() const { return icon_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QIcon icon_;
};

}  // namespace qv
