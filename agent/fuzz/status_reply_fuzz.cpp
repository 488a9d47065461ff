// The status poll's answer: any body, as the HTTP client decodes it, lands in the recording
// state without breaking its rules.
#include <cmath>

#include "core/status_poll.h"
#include "fuzz_world.h"
#include "support/fake_clock.h"
#include "support/fake_services.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static test::FakeClock clock;
    static fuzz::PendingHttp http;
    static test::FakeBrowser browser;
    static test::FakeBackground background;
    static fuzz::QuietSupervisor supervisor;
    static StatusPoll poll({http, browser, clock, clock, background, supervisor}, {});
    browser.opened.clear();
    http.pending.clear();

    const bool first = size % 2 == 1;
    poll.refresh(first);
    if (!http.answer(200, fuzz::replyOf(data, size))) fuzz::broken();
    const RecordingState& s = poll.state;
    if (!s.recording && s.startedAt) fuzz::broken();
    if (s.startedAt && !std::isfinite(*s.startedAt)) fuzz::broken();
    if (browser.opened.size() != (first ? 1 : 0)) fuzz::broken();
    // The next poll starts from whatever this one left.
    background.finish();
    return 0;
}
