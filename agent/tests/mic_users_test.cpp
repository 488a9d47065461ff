// Who uses the microphone: the agent's family and ignored services left out, every other
// capturing process named after the regular application it belongs to.
#include <gtest/gtest.h>

#include "calls/mic_users.h"
#include "support/fake_mic.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr int32_t kAgent = 100;

// A desktop with a few applications and processes; each case adds its capture streams.
struct Desktop {
    FakeMicUsage audio;
    FakeProcessTable processes;
    FakeRunningApplications apps;

    Desktop() {
        // An application whose identifier is empty (it must not match every identifier).
        apps.add(812, "Blank", QString());
        apps.add(1, "Container session");  // a window owned by an init process
        apps.add(500, "Zoom", "us.zoom.Zoom");
        apps.add(600, "Firefox", "org.mozilla.firefox");
        apps.add(700, "Panel", "org.xfce.panel", /*regular=*/false);
        apps.apps.push_back({800, true, "org.nameless", std::nullopt});
        apps.apps.push_back({810, true, "org.example", std::nullopt});
        apps.add(811, "Example", "org.example.app");
        processes.parents = {
            {kAgent, 50}, {101, kAgent}, {102, 101}, {103, 102},  // the agent's family
            {500, 40},    {501, 500},    {600, 40},  {602, 600}, {603, 602}, {700, 40}, {701, 700},
            {800, 40},    {900, 500},    {901, 1},   {904, 1},   {906, 1},   {907, 1},  {908, 1},
        };
    }
};

struct Case {
    const char* what;
    std::vector<FakeMicUsage::Stream> streams;
    std::vector<MicUser> expected;
};

TEST(MicUsers, ListsCapturingProcessesUnderTheirApplicationsName) {
    const Case cases[] = {
        {"nothing captures", {}, {}},
        {"a stream whose input is not running", {{false, 500, "us.zoom.Zoom"}}, {}},
        {"the agent, its child and its grandchild",
         {{true, kAgent, "us.zoom.Zoom"}, {true, 101, "us.zoom.Zoom"}, {true, 102, ""}},
         {}},
        {"the agent's great-grandchild is not of its family any more",
         {{true, 103, "us.zoom.Zoom"}},
         {{103, "us.zoom.Zoom", "Zoom"}}},
        {"ignored prefixes in capitals, with more after them",
         {{true, 900, "COM.APPLE.SIRI.helper"}, {true, 900, "Com.Lumaret.Quorvia.Backend"}},
         {}},
        {"an identifier that extends an application's, as reported",
         {{true, 901, "org.mozilla.firefox.WebRTC"}},
         {{901, "org.mozilla.firefox.WebRTC", "Firefox"}}},
        {"identifiers are compared with their case", {{true, 906, "US.ZOOM.ZOOM"}}, {}},
        {"no identifier, the parent is an application", {{true, 602, ""}}, {{602, "", "Firefox"}}},
        {"no identifier, only the grandparent is an application", {{true, 603, ""}}, {}},
        {"the parent is 1", {{true, 904, ""}}, {}},
        {"the process table does not know it (parent 0)", {{true, 905, ""}}, {}},
        {"no process id at all", {{true, 0, ""}}, {}},
        {"two processes of one application, in the service's order",
         {{true, 501, ""}, {true, 600, ""}, {true, 500, "us.zoom.Zoom"}},
         {{501, "", "Zoom"}, {600, "", "Firefox"}, {500, "us.zoom.Zoom", "Zoom"}}},
        {"the process id decides before the identifier",
         {{true, 600, "us.zoom.Zoom"}},
         {{600, "us.zoom.Zoom", "Firefox"}}},
        {"an application that is no regular one, and its child",
         {{true, 700, "org.xfce.panel"}, {true, 701, ""}},
         {}},
        {"the first fitting application decides even without a name",
         {{true, 800, "us.zoom.Zoom"}, {true, 907, "org.example.app.helper"}},
         {}},
        {"an identifier that fits nothing, and a parent that is nothing",
         {{true, 908, "org.gnome.Recorder"}},
         {}},
    };
    for (const Case& c : cases) {
        Desktop d;
        d.audio.streams = c.streams;
        EXPECT_EQ(micUsers({d.audio, d.processes, d.apps, kAgent}), c.expected) << c.what;
    }
}

TEST(MicUsers, ReadsIdentifiersOnlyOfRunningStreamsOutsideTheAgentsFamily) {
    Desktop d;
    d.audio.streams = {{false, 500, "us.zoom.Zoom"}, {true, 101, ""}, {true, 500, "us.zoom.Zoom"}};
    EXPECT_EQ(micUsers({d.audio, d.processes, d.apps, kAgent}).size(), 1u);
    EXPECT_EQ(d.audio.bundleReads, 1);
}

}  // namespace
