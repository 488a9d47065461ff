// Stand-ins for desktop services the agent can run without: the agent keeps working, with less.
#pragma once

#include "calendar/meeting_card.h"
#include "calls/prompt.h"
#include "core/foreground.h"
#include "supervisor/permissions.h"

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

// No audio server and no display to ask: nothing is usable, and there is nothing to request.
class NullPermissionSource : public PermissionSource {
  public:
    MicAccess micAccess() override { return MicAccess::Denied; }
    void requestMicAccess(std::function<void()> answered) override {
        if (answered) answered();
    }
    bool screenCaptureAllowed() override { return false; }
    void requestScreenCapture() override {}
    void openMicSettings() override {}
};

// No windows of the agent's own to bring forward.
class NullForeground : public Foreground {
  public:
    void activate() override {}
};

}  // namespace qv
