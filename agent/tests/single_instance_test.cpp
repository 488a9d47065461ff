// One agent per user: the lock, the reopen message, and a stale socket left by a dead agent.
#include <gtest/gtest.h>

#include <QFile>
#include <QLocalServer>
#include <QTemporaryDir>

#include "platform/single_instance.h"
#include "support/qt_wait.h"

using qv::SingleInstance;
using qv::test::waitFor;

TEST(SingleInstance, SecondClaimFailsAndAsksTheFirstToReopen) {
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.claim());
    int reopens = 0;
    QObject::connect(&first, &SingleInstance::reopenRequested, [&] { ++reopens; });

    SingleInstance second(dir.path());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(waitFor([&] { return reopens == 1; }));
}

TEST(SingleInstance, SocketLeftByADeadInstanceDoesNotBlockANewOne) {
    QTemporaryDir dir;
    QFile stale(dir.filePath("quorvia.sock"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    SingleInstance instance(dir.path());
    ASSERT_TRUE(instance.claim());
    int reopens = 0;
    QObject::connect(&instance, &SingleInstance::reopenRequested, [&] { ++reopens; });
    SingleInstance again(dir.path());
    EXPECT_FALSE(again.claim());
    EXPECT_TRUE(waitFor([&] { return reopens == 1; }));
}
