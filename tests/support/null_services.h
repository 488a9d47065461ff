// Panels that never show: for tests that need a prompt or a card but never look at them.
#pragma once

#include "ports/meeting_card.h"
#include "ports/prompt.h"

namespace qv {

// No panel can be shown: nothing is ever visible, no callback ever runs.
class NullPrompt : public Prompt {
  public:
    void show(const QString&, const QString&, const QString&, const QString&, std::function<void()>,
              std::function<void()>, double) override {}
    void close() override {}
    bool visible() const override { return false; }
};

class NullMeetingCard : public MeetingCard {
  public:
    void show(const QString&, double, std::optional<double>, const QString&, const QString&,
              const QString&, std::function<void()>, std::function<void()>, std::function<void()>,
              std::function<void()>, double) override {}
    void close() override {}
    bool visible() const override { return false; }
};

}  // namespace qv
