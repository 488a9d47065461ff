// The one timed two-button panel: offers, results and failures. Main thread only.
#pragma once

#include <QString>
#include <functional>

namespace qv {

class Prompt {
  public:
    virtual ~Prompt() = default;
    // Replaces any visible prompt (whose callbacks are then forgotten) and returns at once.
    // A click closes the prompt, then runs that button's callback; the time-out only closes it.
    virtual void show(const QString& title, const QString& subtitle, const QString& primary,
                      const QString& secondary, std::function<void()> onPrimary,
                      std::function<void()> onSecondary, double seconds = 40) = 0;
    // Hides the visible prompt, if any, running no callback.
    virtual void close() = 0;
    // Whether a prompt is visible now.
    virtual bool visible() const = 0;
};

}  // namespace qv
