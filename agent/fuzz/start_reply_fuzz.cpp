// The answer to a recording start: any status and body, with any answers to the add-or-replace
// question (each asked at most a few times), ends in one outcome and sends nothing unasked.
#include "core/recording_control.h"
#include "fuzz_world.h"
#include "support/fake_clock.h"
#include "support/fake_services.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static test::FakeClock clock;
    static fuzz::PendingHttp http;
    static test::FakeBrowser browser;
    static test::FakePrompt prompt;
    static test::FakeQuestion question;
    static int started = 0, holding = 0;
    static RecordingControl control(
        {http, browser, clock, prompt, question},
        {.started = [](const std::optional<QString>&, const std::optional<QString>&,
                       double) { ++started; },
         .stopped = [] {},
         .holding = [](bool on) { holding += on ? 1 : -1; }});
    http.pending.clear();
    browser.opened.clear();
    prompt.shown.clear();
    question.asked.clear();
    started = 0;

    const int statuses[] = {200, 409, 500, 0};
    const int status = statuses[data[0] % 4];
    // Bits of the second byte answer the questions in turn: add, replace, cancel.
    question.answers.clear();
    for (int i = 0; i < 3; ++i) {
        const int pick = (data[1] >> (2 * i)) % 3;
        question.answers.push_back(pick == 2 ? std::nullopt : std::optional<int>(pick));
    }
    const QJsonObject reply = fuzz::replyOf(data + 2, size - 2);
    control.start({.app = QStringLiteral("Zoom"), .openPage = data[1] & 0x80});
    // The same answer to every start sent again with a question's answer.
    for (int round = 0; round < 4 && http.answer(status, reply); ++round) {
    }
    if (!http.pending.empty() && question.asked.size() < 3) fuzz::broken();
    if (started + int(prompt.shown.size()) > 1) fuzz::broken();
    if (browser.opened.size() > 1) fuzz::broken();
    // Every hold the answers began has ended, or its start still waits for its answer.
    if (holding != (http.pending.empty() ? 0 : 1)) fuzz::broken();
    while (http.answer(0, {})) {
    }
    if (holding != 0) fuzz::broken();
    return 0;
}
