// The notice for desktops without a tray: shown once per login, only when neither a watcher
// nor an embedding tray has appeared a few seconds after the start; its action opens the web
// interface.
#include <gtest/gtest.h>

#include "core/no_tray_notice.h"
#include "main/constants.h"
#include "support/fake_clock.h"
#include "support/fake_tray.h"

using namespace qv;
using namespace qv::test;

namespace {

struct NoticeWorld {
    FakeTrayHosts hosts;
    FakeClock clock;
    FakeNotifier notifier;
    FakeOncePerLogin once;
    int webOpened = 0;
    NoTrayNotice notice{hosts, clock, notifier, once, [this] { ++webOpened; }};
};

TEST(NoTrayNotice, IsSentOnlyWhenNoTrayOfEitherKindAppeared) {
    struct Case {
        bool watcher, embedding, sent;
    };
    const Case cases[] = {
        {false, false, true},
        {true, false, false},
        {false, true, false},
        {true, true, false},
    };
    for (const Case& c : cases) {
        NoticeWorld w;
        w.notice.arm();
        w.hosts.watcher = c.watcher;
        w.hosts.embedding = c.embedding;
        w.clock.advance(NoTrayNotice::kTraySeconds);
        EXPECT_EQ(w.notifier.sent.size(), c.sent ? 1u : 0u) << c.watcher << c.embedding;
        // Only a notice that was sent counts as done for the login.
        EXPECT_EQ(w.once.done(NoTrayNotice::kOnceKey), c.sent) << c.watcher << c.embedding;
    }
}

TEST(NoTrayNotice, WaitsForPanelsThatStartBesideTheAgent) {
    NoticeWorld w;
    w.notice.arm();
    w.clock.advance(NoTrayNotice::kTraySeconds - 0.5);
    EXPECT_TRUE(w.notifier.sent.empty());
    w.hosts.setWatcher(true);  // the panel came up in time
    w.clock.advance(10);
    EXPECT_TRUE(w.notifier.sent.empty());
}

TEST(NoTrayNotice, SaysWhatRunsOnAndItsActionOpensTheWebInterface) {
    NoticeWorld w;
    w.notice.arm();
    w.clock.advance(NoTrayNotice::kTraySeconds);
    ASSERT_EQ(w.notifier.sent.size(), 1u);
    const DesktopNotification& n = w.notifier.sent[0].notification;
    EXPECT_EQ(n.summary, "Quorvia runs without a tray icon");
    EXPECT_TRUE(n.body.contains(WEB)) << n.body.toStdString();
    EXPECT_EQ(n.action, "Open Quorvia");
    EXPECT_EQ(w.webOpened, 0);
    w.notifier.sent[0].onAction();
    EXPECT_EQ(w.webOpened, 1);
}

TEST(NoTrayNotice, IsSentOncePerLoginAcrossRestartsOfTheAgent) {
    FakeTrayHosts hosts;
    FakeClock clock;
    FakeNotifier notifier;
    FakeOncePerLogin login;
    for (int start = 0; start < 3; ++start) {
        NoTrayNotice notice(hosts, clock, notifier, login, [] {});
        notice.arm();
        clock.advance(NoTrayNotice::kTraySeconds);
    }
    EXPECT_EQ(notifier.sent.size(), 1u);

    FakeOncePerLogin nextLogin;
    NoTrayNotice notice(hosts, clock, notifier, nextLogin, [] {});
    notice.arm();
    clock.advance(NoTrayNotice::kTraySeconds);
    EXPECT_EQ(notifier.sent.size(), 2u);
}

}  // namespace
