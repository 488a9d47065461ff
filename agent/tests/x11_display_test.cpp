// The screen state of the Linux permission adapter in a build with X11: whether a display opens.
#include <gtest/gtest.h>

#include "platform/linux_permissions.h"
#include "platform/pulse_connection.h"
#include "support/xvfb.h"

using namespace qv;
using namespace qv::test;

namespace {

TEST(LinuxPermissions, ScreenCaptureFollowsWhetherTheDisplayOpens) {
    Xvfb x;
    ASSERT_TRUE(x.running());
    PulseConnection audio("quorvia-test", 200);
    const QByteArray saved = qgetenv("DISPLAY");
    qputenv("DISPLAY", QByteArray::fromStdString(x.display()));
    {
        LinuxPermissions permissions(audio);
        EXPECT_TRUE(permissions.screenCaptureAllowed());
    }
    qputenv("DISPLAY", ":4093");  // nothing serves it
    {
        LinuxPermissions permissions(audio);
        EXPECT_FALSE(permissions.screenCaptureAllowed());
    }
    qunsetenv("DISPLAY");
    {
        LinuxPermissions permissions(audio);
        EXPECT_FALSE(permissions.screenCaptureAllowed());  // a Wayland session without X11
    }
    qputenv("DISPLAY", saved);
}

}  // namespace
