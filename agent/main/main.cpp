// quorvia: the tray agent. Builds the services, hands them to the one App and runs the loop.
#include <unistd.h>

#include <QApplication>
#include <QLocale>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTimer>

#include "calls/mic_users.h"
#include "core/app.h"
#include "main/command_line.h"
#include "main/constants.h"
#include "main/startup_notes.h"
#include "main/tray_setup.h"
#include "platform/desktop_applications.h"
#include "platform/desktop_browser.h"
#include "platform/desktop_entries.h"
#include "platform/linux_permissions.h"
#include "platform/local_data_files.h"
#include "platform/posix_process.h"
#include "platform/proc_process_table.h"
#include "platform/pulse_connection.h"
#include "platform/pulse_mic_usage.h"
#include "platform/qt_event_loop.h"
#include "platform/qt_http_client.h"
#include "platform/session_platform.h"
#include "platform/single_instance.h"
#include "platform/termination_signals.h"
#include "platform/ungated_calendar_access.h"
#include "platform/window_foreground.h"
#include "platform/window_list.h"
#include "platform/xdg_autostart.h"
#include "platform/xdg_installed_apps.h"
#include "supervisor/locations.h"
#include "supervisor/server.h"
#include "ui/app_icon.h"
#include "ui/meeting_card_panel.h"
#include "ui/message_box_question.h"
#include "ui/prompt_panel.h"
#include "ui/window_hints.h"

int main(int argc, char** argv) {
    if (const auto status = qv::handleCommandLineBeforeQt(argc, argv)) return *status;
    // Before any thread starts: a termination asked for during start-up waits for the quit path.
    qv::holdTerminationSignals();
    // XWayland in a Wayland session, decided before Qt picks a platform.
    qv::QtArguments qtArguments(argc, argv, qv::platformForThisSession().platform);
    QApplication application(qtArguments.argc(), qtArguments.argv());
    if (const auto status = qv::handleCommandLineAfterQt(QCoreApplication::arguments()))
        return *status;
    // One line each on standard error (the journal, when the desktop started the agent).
    qSetMessagePattern(QStringLiteral("quorvia: %{if-category}%{category}: %{endif}%{message}"));
    QApplication::setApplicationName(QStringLiteral("quorvia"));
    QApplication::setOrganizationName(QStringLiteral("Quorvia"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvia"));
    QGuiApplication::setDesktopFileName(qv::APP_ID);
    QApplication::setWindowIcon(qv::applicationIcon());
    // A tray agent: closing a panel never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    qv::TerminationSignals termination;
    QObject::connect(&termination, &qv::TerminationSignals::terminationRequested, &application,
                     &QCoreApplication::quit);

    qv::SingleInstance instance;
    if (!instance.claim()) return 0;  // the running agent was asked to open the home page

    const std::unique_ptr<qv::WindowHints> windows = qv::makeWindowHints();
    windows->tagAgentWindows();

    qv::QtHttpClient http(qv::BASE);
    qv::DesktopBrowser browser;
    qv::SystemClock clock;
    qv::QtScheduler scheduler;
    QSettings settings;
    qv::PosixLauncher launcher;
    qv::LocalDataFiles files;
    qv::Server server(qv::Locations::ofThisProcess(), {launcher, files, qv::httpAlive});
    qv::PulseConnection audio;  // outlives everything that listens to it
    qv::LinuxPermissions permissions(audio);
    qv::WindowForeground foreground;
    qv::PromptPanel prompt(*windows);
    qv::DesktopEntries desktopEntries(qv::DesktopEntries::defaultFolders(),
                                      QLocale::system().name());
    qv::XdgInstalledApps installedApps(desktopEntries, qv::XdgInstalledApps::defaultFolders());
    qv::MeetingCardPanel card(*windows, clock, installedApps);
    // Who uses the microphone: capture streams from the audio server, named after the
    // applications whose windows (or systemd units) their processes belong to.
    const std::unique_ptr<qv::WindowList> windowList = qv::makeWindowList();
    qv::DesktopApplications applications(*windowList, desktopEntries,
                                         qv::DesktopApplications::unitProcessesWanted(*windowList));
    qv::PulseMicUsage micUsage(
        audio, [&applications](int32_t pid) { return applications.desktopIdOf(pid); });
    qv::ProcProcessTable processes;
    const auto listMicUsers =
        qv::micUserList({micUsage, processes, applications, static_cast<int32_t>(getpid())});
    qv::UngatedCalendarAccess calendarAccess;
    qv::XdgAutostart loginItem;
    qv::MessageBoxQuestion question;
    qv::ThreadQueue background;  // destroyed first: its work uses the objects above

    qInfo().noquote() << qv::screenSourceNote(QProcessEnvironment::systemEnvironment());
    qv::TraySetup tray(scheduler, *windows, installedApps);
    auto makeStatusItem = [&tray] { return tray.makeStatusItem(); };
    qv::App app({http, browser, clock, scheduler, background, settings, permissions, server, prompt,
                 card, calendarAccess, makeStatusItem, loginItem, question, foreground, files,
                 listMicUsers});

    QObject::connect(&instance, &qv::SingleInstance::reopenRequested, &application,
                     [&app] { app.applicationShouldHandleReopen(); });
    // Quit from the menu, a termination signal and the end of the session all end here.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &application,
                     [&app] { app.applicationWillTerminate(); });
    tray.armNotice([&app] { app.menu.openHome(); });
    QTimer::singleShot(0, &application, [&app] { app.applicationDidFinishLaunching(); });
    return QApplication::exec();
}
