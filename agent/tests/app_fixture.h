// An App over fakes: a clock the test advances, a backend it answers, a browser that records.
#pragma once

#include <QSettings>
#include <QTemporaryDir>
#include <memory>

#include "core/app.h"
#include "platform/null_services.h"
#include "support/fake_clock.h"
#include "support/fake_services.h"

namespace qv::test {

// A Server that records what the App asked of it.
class FakeServer : public Server {
  public:
    FakeServer() : Server(Locations{}) {}
    void start() override { calls.push_back("start"); }
    void stopServer() override { calls.push_back("stopServer"); }
    void stop() override { calls.push_back("stop"); }
    std::vector<std::string> calls;
};

struct AppWorld {
    QTemporaryDir dir;
    QSettings settings{dir.filePath("quorvia.conf"), QSettings::IniFormat};
    FakeClock clock;
    FakeHttp http;
    FakeBrowser browser;
    FakeBackground background;
    FakePermissions permissions;
    FakeServer server;
    FakePrompt prompt;
    NullMeetingCard card;
    FakeCalendarAccess calendar;
    FakeLoginItem loginItem;
    FakeQuestion question;

    AppServices services(std::function<std::unique_ptr<StatusItem>()> item = nullptr) {
        return {http,   browser, clock, clock,    background,      settings,  permissions,
                server, prompt,  card,  calendar, std::move(item), loginItem, question};
    }
};

}  // namespace qv::test
