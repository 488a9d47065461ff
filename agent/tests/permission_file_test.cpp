// The permission file's exact text, and the requests the backend can ask for.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app_fixture.h"

using namespace qv;
using namespace qv::test;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(PermissionFile, HoldsExactlyTheStatesInTheBackendsForm) {
    struct Case {
        MicAccess mic;
        bool screen;
        QByteArray text;
    };
    const Case cases[] = {
        {MicAccess::Granted, false, R"({"mic": "granted", "screen": false})"},
        {MicAccess::Granted, true, R"({"mic": "granted", "screen": true})"},
        {MicAccess::Denied, true, R"({"mic": "denied", "screen": true})"},
        {MicAccess::Restricted, false, R"({"mic": "denied", "screen": false})"},
        {MicAccess::NotDetermined, false, R"({"mic": "not_asked", "screen": false})"},
    };
    AppWorld w;
    App app(w.services());
    for (const Case& c : cases) {
        w.permissions.mic = c.mic;
        w.permissions.screen = c.screen;
        app.permissions.writePermissions();  // each write replaces the whole file
        EXPECT_EQ(readFile(w.server.dataDir() + "/permissions.json"), c.text);
    }
}

TEST(PermissionFile, AnUnwritableDataFolderIsIgnored) {
    AppWorld w;
    App app(w.services());
    // A folder in the file's place: the write fails, quietly, and nothing else changes.
    QDir().mkpath(w.server.dataDir() + "/permissions.json/inside");
    app.permissions.writePermissions();
    EXPECT_TRUE(QFileInfo(w.server.dataDir() + "/permissions.json").isDir());
}

TEST(PermissionRequests, MicrophoneByStateWithAndWithoutSettings) {
    struct Case {
        MicAccess mic;
        bool openSettings;
        int micRequests;
        int settingsOpened;
    };
    const Case cases[] = {
        {MicAccess::NotDetermined, true, 1, 0}, {MicAccess::Denied, true, 0, 1},
        {MicAccess::Restricted, true, 0, 1},    {MicAccess::Denied, false, 0, 0},
        {MicAccess::Granted, true, 0, 0},
    };
    for (const Case& c : cases) {
        AppWorld w;
        App app(w.services());
        w.permissions.mic = c.mic;
        app.permissions.askRecordingPermissions(c.openSettings);
        EXPECT_EQ(w.foreground.activations, 1);
        EXPECT_EQ(w.permissions.micRequests, c.micRequests);
        EXPECT_EQ(w.permissions.settingsOpened, c.settingsOpened);
    }
}

TEST(PermissionRequests, AnsweringTheMicrophoneRequestRewritesTheFileAtOnce) {
    AppWorld w;
    App app(w.services());
    w.permissions.mic = MicAccess::NotDetermined;
    w.permissions.screen = false;
    app.permissions.askRecordingPermissions(true);
    ASSERT_TRUE(w.permissions.pendingAnswer);
    w.permissions.mic = MicAccess::Granted;
    w.permissions.pendingAnswer();
    EXPECT_EQ(readFile(w.server.dataDir() + "/permissions.json"),
              R"({"mic": "granted", "screen": false})");
}

TEST(PermissionRequests, ScreenCaptureIsAskedForOncePerUserAndNotWhenAllowed) {
    AppWorld w;
    App app(w.services());
    w.permissions.screen = true;
    app.permissions.askRecordingPermissions(true);
    EXPECT_EQ(w.permissions.screenRequests, 0);
    EXPECT_FALSE(w.settings.contains("askedScreen"));

    w.permissions.screen = false;
    bool markedBeforeAsking = false;
    w.permissions.onRequest = [&] {
        markedBeforeAsking = w.settings.value("askedScreen").toBool();
    };
    app.permissions.askRecordingPermissions(false);
    EXPECT_EQ(w.permissions.screenRequests, 1);
    EXPECT_TRUE(markedBeforeAsking);
    app.permissions.askRecordingPermissions(true);
    EXPECT_EQ(w.permissions.screenRequests, 1);

    // The flag lives in the settings, so a restarted agent does not ask again either.
    QSettings reread(w.dir.filePath("quorvia.conf"), QSettings::IniFormat);
    EXPECT_TRUE(reread.value("askedScreen").toBool());
}

TEST(PermissionRequests, CalendarIsAskedOnlyWhileUndecided) {
    for (bool undecided : {true, false}) {
        AppWorld w;
        App app(w.services());
        w.calendar.notDecided = undecided;
        app.permissions.askCalendar();
        EXPECT_EQ(w.calendar.requests, undecided ? 1 : 0);
    }
}

}  // namespace
