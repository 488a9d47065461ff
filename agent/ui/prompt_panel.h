// The prompt as a floating panel: the agent's icon and name, a title, a subtitle and two
// buttons, in the top-right corner of the primary screen. Main thread only.
#pragma once

#include "ports/prompt.h"
#include "ui/panel_slot.h"

namespace qv {

class WindowHints;

class PromptPanel : public Prompt {
  public:
    static constexpr QSize kSize{370, 128};

    explicit PromptPanel(WindowHints& hints);

    void show(const QString& title, const QString& subtitle, const QString& primary,
              const QString& secondary, std::function<void()> onPrimary,
              std::function<void()> onSecondary, double seconds = 40) override;
    void close() override;
    bool visible() const override;

    // The panel shown now, or null.
    FloatingPanel* panel() const { return slot_.panel(); }

  private:
    WindowHints& hints_;
    PanelSlot slot_;
};

}  // namespace qv
