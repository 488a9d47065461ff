// An App over fakes: a clock the test advances, a backend it answers, a browser that records.
#pragma once

#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "core/app.h"
#include "platform/local_data_files.h"
#include "platform/posix_process.h"
#include "support/fake_clock.h"
#include "support/fake_services.h"
#include "support/null_services.h"

namespace qv::test {

// A Server that records what the App asked of it.
class FakeServer : public Server {
  public:
    FakeServer(const QString& root, ProcessLauncher& launcher, DataFiles& files)
        : Server(Locations{root + "/res", root + "/share", root + "/home"},
                 {launcher, files, [](const QString&) { return false; }}) {}
    // Without `launches`, start() only records the call; with it, start() also records a launch
    // on the address wanted now, as a real launch would.
    void start() override {
        calls.push_back("start");
        if (launches) recordLaunch(Process::notLaunched(), wantedHost());
    }
    void stopServer() override {
        calls.push_back("stopServer");
        recordLaunch(nullptr, host());
    }
    void stop() override {
        calls.push_back("stop");
        if (onStop) onStop();
    }
    // Pretends the agent launched a backend listening on `address`.
    void launched(const QString& address) { recordLaunch(Process::notLaunched(), address); }
    // Takes `process` as the backend the agent launched.
    void launched(std::shared_ptr<Process> process) { recordLaunch(std::move(process), host()); }
    std::vector<std::string> calls;
    bool launches = false;
    std::function<void()> onStop;  // optional: sees the world as the stop begins
};

struct AppWorld {
    QTemporaryDir dir;
    QSettings settings{dir.filePath("quorvia.conf"), QSettings::IniFormat};
    FakeClock clock;
    FakeHttp http;
    FakeBrowser browser;
    FakeBackground background;
    FakePermissions permissions;
    PosixLauncher launcher;  // never asked: the fake server launches nothing
    LocalDataFiles files;
    FakeServer server{dir.path(), launcher, files};
    FakeForeground foreground;
    FakePrompt prompt;
    FakeMeetingCard card;
    FakeCalendarAccess calendar;
    FakeLoginItem loginItem;
    FakeQuestion question;

    // Makes a fake tray entry at launch and points `item` at it.
    static std::function<std::unique_ptr<StatusItem>()> fakeItem(FakeStatusItem*& item) {
        return [&item] {
            auto made = std::make_unique<FakeStatusItem>();
            item = made.get();
            return made;
        };
    }

    AppServices services(std::function<std::unique_ptr<StatusItem>()> item = nullptr) {
        return {http,        browser,  clock,      clock, background, settings,
                permissions, server,   prompt,     card,  calendar,   std::move(item),
                loginItem,   question, foreground, files};
    }
};

}  // namespace qv::test
