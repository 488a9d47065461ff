// The one place a kind of panel is shown (one prompt, one meeting card): at most one panel
// visible at a time, a new one replacing the old, each closing itself after its time-out.
// Closing runs no callback; a control's action closes the panel before it runs. Main thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

#include "ui/floating_panel.h"

namespace qv {

class PanelSlot : public QObject {
  public:
    PanelSlot();
    ~PanelSlot() override;

    // Hides the visible panel at once (its actions can no longer run), then shows `panel`
    // and closes it after `seconds`. The slot owns the panel from here on.
    void present(std::unique_ptr<FloatingPanel> panel, double seconds);
    // Hides the visible panel, if any; runs nothing.
    void close();
    bool visible() const { return !panel_.isNull(); }
    FloatingPanel* panel() const { return panel_; }

    // An action for a control of a panel: closes the slot's panel, then runs `action`. Holds the
    // slot weakly, so it is safe to run after the slot is gone (it then only runs `action`).
    std::function<void()> closingThen(std::function<void()> action);

  private:
    QPointer<FloatingPanel> panel_;
    QTimer timeout_;
};

}  // namespace qv
