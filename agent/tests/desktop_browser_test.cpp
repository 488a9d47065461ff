// Opening pages with the desktop's opener, and telling the user the address when no browser
// takes it.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/desktop_browser.h"
#include "support/log_capture.h"
#include "support/qt_wait.h"

using qv::DesktopBrowser;
using qv::test::waitFor;

namespace {

// A PATH whose only xdg-open is a script of the test's choice (or none).
class FakeOpener {
  public:
    explicit FakeOpener(const QByteArray& script) : saved_(qgetenv("PATH")) {
        if (!script.isEmpty()) {
            QFile f(dir_.filePath("xdg-open"));
            f.open(QIODevice::WriteOnly);
            f.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + dir_.filePath("got").toUtf8() +
                    "\"\n" + script);
            f.close();
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", dir_.path().toUtf8() + ":/usr/bin:/bin");
    }
    ~FakeOpener() { qputenv("PATH", saved_); }
    QString got() const {
        QFile f(dir_.filePath("got"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

  private:
    QTemporaryDir dir_;
    QByteArray saved_;
};

TEST(DesktopBrowser, AnOpenerThatFailsLeavesTheAddressToTheUser) {
    struct Case {
        QByteArray script;
        bool opened;
    };
    const Case cases[] = {
        {"exit 0\n", true},
        // xdg-open's statuses when no browser or tool could take the URL.
        {"echo 'xdg-open: no method available' >&2; exit 3\n", false},
        {"exit 4\n", false},
        {"kill -9 $$\n", false},
    };
    const QUrl url("http://localhost:8765/#/setup");
    for (const Case& c : cases) {
        FakeOpener opener(c.script);
        std::vector<std::pair<QUrl, bool>> settled;
        DesktopBrowser browser([&](const QUrl& u, bool opened) { settled.push_back({u, opened}); });
        browser.open(url);
        ASSERT_TRUE(waitFor([&] { return !settled.empty(); }, 30000)) << c.script.constData();
        EXPECT_EQ(opener.got(), "http://localhost:8765/#/setup\n") << c.script.constData();
        EXPECT_EQ(settled.size(), 1u);
        EXPECT_EQ(settled[0].first, url);
        EXPECT_EQ(settled[0].second, c.opened) << c.script.constData();
    }
}

TEST(DesktopBrowser, TheDefaultNamesTheUnopenedPageOnTheLog) {
    qv::test::LogCapture log;
    DesktopBrowser::logUnopened(QUrl("http://localhost:8765/"), true);
    EXPECT_TRUE(log.lines().isEmpty());
    DesktopBrowser::logUnopened(QUrl("http://localhost:8765/#/setup"), false);
    EXPECT_EQ(log.lines(),
              QStringList("no browser could be opened: open http://localhost:8765/#/setup in one"));
}

}  // namespace
