// What a Linux desktop lets the backend record. There are no consent dialogs here, so the states
// report what can actually be used:
//   microphone: granted while the audio server answers and has a capture source that is not the
//     monitor of an output; denied otherwise (also with no audio server at all);
//   screen: allowed while an X11 display opens (the screen tool captures through X11).
// Requests have nothing to ask; "open the settings" starts the desktop's sound input settings
// when the desktop has a known settings program.
//
// Main thread. The microphone state is kept current by the audio connection's events, so reading
// it costs nothing; the display check is cached for a while.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

#include "platform/pulse_connection.h"
#include "ports/permissions.h"

namespace qv {

class LinuxPermissions : public PermissionSource {
  public:
    // `audio` must outlive this object.
    explicit LinuxPermissions(PulseConnection& audio);
    ~LinuxPermissions() override;

    MicAccess micAccess() override;
    void requestMicAccess(std::function<void()> answered) override;
    bool screenCaptureAllowed() override;
    void requestScreenCapture() override {}
    void openMicSettings() override;

  private:
    void query(pa_context* c);
    static void sourceCallback(pa_context* c, const pa_source_info* info, int eol, void* self);

    PulseConnection& audio_;
    int listener_ = 0;
    // Touched on the connection's thread under its lock, except `capture`, read anywhere.
    std::atomic<bool> capture_{false};
    pa_operation* pending_ = nullptr;
    bool stale_ = false;
    int counted_ = 0;

    std::optional<bool> display_;
    std::chrono::steady_clock::time_point displayCheckedAt_;
};

// The program (and its arguments) that shows the sound input settings of the desktop named in
// XDG_CURRENT_DESKTOP (a colon-separated list), picked among the programs `installed` knows;
// empty when none fits.
QStringList soundInputSettingsCommand(const QString& currentDesktop,
                                      const std::function<bool(const QString&)>& installed);

}  // namespace qv
