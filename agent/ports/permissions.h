// What the desktop lets the agent and the backend use: microphone, screen capture, calendar.
#pragma once

#include <functional>

namespace qv {

enum class MicAccess { NotDetermined, Restricted, Denied, Granted };

// Main thread only. Reading a state is cheap (it is called on every status poll) and never asks
// the user anything.
class PermissionSource {
  public:
    virtual ~PermissionSource() = default;
    virtual MicAccess micAccess() = 0;
    // Asks for microphone access; `answered` runs on the main thread once the user decided.
    virtual void requestMicAccess(std::function<void()> answered) = 0;
    // Whether the screen tool could capture the screen now.
    virtual bool screenCaptureAllowed() = 0;
    // Asks for screen capture; the answer is not reported (the next read shows it).
    virtual void requestScreenCapture() = 0;
    // Shows the desktop's settings where the user can make a microphone usable, if there are any.
    virtual void openMicSettings() = 0;
};

// Access to the user's calendar (the platform may not gate it at all).
class CalendarAccess {
  public:
    virtual ~CalendarAccess() = default;
    // Whether the user has not decided yet, so that a request would ask them.
    virtual bool undetermined() const = 0;
    // Asks for full access; the answer is not reported.
    virtual void requestFullAccess() = 0;
};

}  // namespace qv
