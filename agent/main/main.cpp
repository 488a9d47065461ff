// quorvia: the tray agent. Builds the services, hands them to the one App and runs the loop.
#include <QApplication>
#include <QSettings>
#include <QTimer>

#include "core/app.h"
#include "core/http.h"
#include "main/constants.h"
#include "platform/desktop_browser.h"
#include "platform/null_services.h"
#include "platform/qt_event_loop.h"
#include "platform/single_instance.h"
#include "platform/termination_signals.h"
#include "platform/ungated_calendar_access.h"
#include "supervisor/locations.h"
#include "supervisor/server.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorvia"));
    QApplication::setOrganizationName(QStringLiteral("Quorvia"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvia"));
    QGuiApplication::setDesktopFileName(qv::APP_ID);
    // A tray agent: closing a panel never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    qv::TerminationSignals termination;
    QObject::connect(&termination, &qv::TerminationSignals::terminationRequested, &application,
                     &QCoreApplication::quit);

    qv::SingleInstance instance;
    if (!instance.claim()) return 0;  // the running agent was asked to open the home page

    qv::QtHttpClient http(qv::BASE);
    qv::DesktopBrowser browser;
    qv::SystemClock clock;
    qv::QtScheduler scheduler;
    QSettings settings;
    qv::Server server(qv::Locations::ofThisProcess());
    qv::NullPermissionSource permissions;
    qv::NullPrompt prompt;
    qv::NullMeetingCard card;
    qv::UngatedCalendarAccess calendarAccess;
    qv::ThreadQueue background;  // destroyed first: its work uses the objects above

    qv::App app({http, browser, clock, scheduler, background, settings, permissions, server, prompt,
                 card, calendarAccess, nullptr});

    QObject::connect(&instance, &qv::SingleInstance::reopenRequested, &application,
                     [&app] { app.applicationShouldHandleReopen(); });
    // Quit from the menu, a termination signal and the end of the session all end here.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &application,
                     [&app] { app.applicationWillTerminate(); });
    QTimer::singleShot(0, &application, [&app] { app.applicationDidFinishLaunching(); });
    return QApplication::exec();
}
