// The calendar lists: any body as the answer to the upcoming meetings (then the menu's section
// with its submenu, every row chosen) and to the soon-meeting check (then the card and its
// buttons).
#include "calendar/meetings.h"
#include "fuzz_world.h"
#include "support/fake_clock.h"
#include "support/fake_services.h"

using namespace qv;

namespace {

void chooseAll(const MenuRows& rows, int depth) {
    if (depth > 1) fuzz::broken();  // the section has one level of submenu
    for (const MenuRow& row : rows) {
        if (row.kind == MenuRow::Kind::Separator && (row.trigger || row.submenu)) fuzz::broken();
        if (row.submenu) chooseAll(row.submenu(), depth + 1);
        if (row.trigger) row.trigger();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static test::FakeClock clock(1'714'557'600);  // 2024-05-01T10:00:00Z
    static fuzz::PendingHttp http;
    static test::FakeBrowser browser;
    static test::FakeMeetingCard card;
    static fuzz::CountingRecording recording;
    static RecordingState state;
    static Meetings meetings({http, browser, clock, clock, card, recording, state});
    http.pending.clear();
    browser.opened.clear();
    card.shown.clear();
    meetings.reminded.clear();
    meetings.upcoming = {};

    const QJsonObject reply = fuzz::replyOf(data, size);
    meetings.loadUpcoming();
    http.answer(200, reply);
    MenuRows rows;
    meetings.addUpcoming(rows);
    if (!rows.empty() && rows.back().kind != MenuRow::Kind::Separator) fuzz::broken();
    chooseAll(rows, 0);
    // The rows' requests (opening a meeting) get the same body as their answer.
    while (http.answer(200, reply)) {
    }

    meetings.checkSoon();
    http.answer(200, reply);
    if (card.shown.size() > 1) fuzz::broken();
    if (!card.shown.empty()) {
        const test::FakeMeetingCard::Shown shown = card.shown.back();
        for (auto button :
             {&test::FakeMeetingCard::Shown::onJoinRecord, &test::FakeMeetingCard::Shown::onRecord,
              &test::FakeMeetingCard::Shown::onOpen}) {
            if (shown.*button) (shown.*button)();
        }
        if (shown.onJoin) shown.onJoin();
        MeetingCard::color(shown.color);
        MeetingCard::rich(shown.brief);
    }
    while (http.answer(200, reply)) {
    }
    return 0;
}
