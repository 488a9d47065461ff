// The agent's floating panels (the prompt, the meeting card): a frameless rounded window that
// floats over every other window and every workspace, outside the taskbar, in the top-right
// corner of the primary screen, and that appears without taking the keyboard focus.
// Main thread only.
#pragma once

#include <QPainterPath>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <optional>

class QAbstractButton;

namespace qv {

class WindowHints;

// Where a panel of `size` goes, in Qt's screen coordinates (origin at the top left): 16 px from
// the right edge and 12 px below the top of the available area. Without a screen the area is
// taken as 1440 x 900 at the origin.
QPoint panelOrigin(const std::optional<QRect>& available, QSize size);

class FloatingPanel : public QWidget {
    Q_OBJECT
  public:
    // A panel of a fixed size with rounded corners; its content is its children.
    FloatingPanel(QSize size, qreal cornerRadius, WindowHints& hints);

    // Places the panel and shows it in front of other windows, leaving the focus where it is.
    void present();
    // The button that Return presses while the panel has the focus.
    void setDefaultButton(QAbstractButton* button);
    // The panel's rounded outline, in its own coordinates.
    QPainterPath outline() const;

  signals:
    // The user dismissed the panel without a button: Escape, or the window manager's close.
    void dismissed();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    qreal radius_;
    bool translucent_;
    QPointer<QAbstractButton> defaultButton_;
};

}  // namespace qv
