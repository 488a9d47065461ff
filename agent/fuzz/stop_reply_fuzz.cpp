// The answer to a recording stop: any status and body ends the recording as far as the agent
// knows, and tells the user once; "Open meeting" opens at most one page.
#include "core/recording_control.h"
#include "fuzz_world.h"
#include "support/fake_clock.h"
#include "support/fake_services.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static test::FakeClock clock;
    static fuzz::PendingHttp http;
    static test::FakeBrowser browser;
    static test::FakePrompt prompt;
    static test::FakeQuestion question;
    static int stopped = 0;
    static RecordingControl control({http, browser, clock, prompt, question},
                                    {.started = {}, .stopped = [] { ++stopped; }});
    http.pending.clear();
    browser.opened.clear();
    prompt.shown.clear();
    stopped = 0;

    const int statuses[] = {200, 404, 500, 0};
    control.stop(data[0] & 4
                     ? std::optional<QString>(QStringLiteral("Zoom call ended. Recording saved"))
                     : std::nullopt);
    if (!http.answer(statuses[data[0] % 4], fuzz::replyOf(data + 1, size - 1))) fuzz::broken();
    if (stopped != 1 || prompt.shown.size() != 1) fuzz::broken();
    prompt.clickPrimary();
    if (browser.opened.size() > 1) fuzz::broken();
    return 0;
}
