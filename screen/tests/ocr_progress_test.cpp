// The progress of hc-screen ocr: the line's text, the counts the workers report, and how the
// line is drawn on a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <set>

#include "ocr/ocr.h"
#include "ocr/progress.h"
#include "ocr_test_support.h"
#include "terminal_progress.h"

namespace hc::test {
namespace {

TEST(ProgressLine, CountsTheStillsAndEstimatesTheTimeLeftFromThePaceSoFar) {
    struct Case {
        std::size_t done, total;
        double elapsed;
        std::string line;
    };
    const Case cases[] = {
        {0, 340, 0, "hc-screen ocr: 0 of 340 stills read"},
        // No pace yet, or nothing left: no estimate.
        {0, 340, 12, "hc-screen ocr: 0 of 340 stills read"},
        {340, 340, 600, "hc-screen ocr: 340 of 340 stills read"},
        {5, 10, 0, "hc-screen ocr: 5 of 10 stills read"},
        // Seconds, rounded up, and never "0 s" while stills are left.
        {9, 10, 9, "hc-screen ocr: 9 of 10 stills read, about 1 s left"},
        {999, 1000, 0.5, "hc-screen ocr: 999 of 1000 stills read, about 1 s left"},
        {1, 3, 29.5, "hc-screen ocr: 1 of 3 stills read, about 59 s left"},
        // Minutes from one minute on, rounded up.
        {1, 3, 30, "hc-screen ocr: 1 of 3 stills read, about 1 min left"},
        {1, 3, 30.5, "hc-screen ocr: 1 of 3 stills read, about 2 min left"},
        {12, 340, 7.2, "hc-screen ocr: 12 of 340 stills read, about 4 min left"},
        // Hours and minutes.
        {1, 61, 60, "hc-screen ocr: 1 of 61 stills read, about 1 h 0 min left"},
        {10, 1000, 60, "hc-screen ocr: 10 of 1000 stills read, about 1 h 39 min left"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(progressLine(c.done, c.total, c.elapsed), c.line)
            << c.done << "/" << c.total << " after " << c.elapsed;
}

TEST(StillProgress, EveryCountFromNoneToAllIsReportedOnceWhateverTheWorkers) {
    for (unsigned workers : {1u, 3u}) {
        TempDir folder;
        for (int i = 0; i < 7; ++i)
            writeFile(folder / ("t" + std::to_string(i) + ".jpg"), i == 3 ? "broken" : "image:A");
        std::mutex mutex;
        std::multiset<std::size_t> counts;
        std::set<std::size_t> totals;
        const FakeDecoder decoder;
        const FakeRecognizer recognizer;
        ocrFolder(folder.path(), decoder, recognizer, workers,
                  [&](std::size_t done, std::size_t total) {
                      const std::lock_guard lock(mutex);
                      counts.insert(done);
                      totals.insert(total);
                  });
        EXPECT_EQ(counts, (std::multiset<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7})) << workers;
        EXPECT_EQ(totals, std::set<std::size_t>{7}) << workers;
    }
}

TEST(StillProgress, AFolderWithoutStillsReportsNothing) {
    TempDir folder;
    writeFile(folder / "notes.txt", "image:A");
    bool called = false;
    const FakeDecoder decoder;
    const FakeRecognizer recognizer;
    EXPECT_EQ(ocrFolder(folder.path(), decoder, recognizer, 2,
                        [&](std::size_t, std::size_t) { called = true; }),
              "[]");
    EXPECT_FALSE(called);
}

// What a TerminalProgress drew into a pipe by the time it was destroyed.
template <typename Drive>
std::string drawn(Drive drive) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return "pipe failed";
    {
        TerminalProgress progress(fds[1]);
        drive(progress);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    ::close(fds[0]);
    return out;
}

const std::string kWipe = "\r\x1b[K";

TEST(TerminalProgress, DrawsInPlaceShowsTheLastStillAndWipesTheLineAtTheEnd) {
    const std::string out = drawn([](TerminalProgress& progress) {
        progress(0, 3);
        progress(1, 3);
        progress(3, 3);
        progress(2, 3);  // a worker's count that arrives late changes nothing
    });
    ASSERT_EQ(out.rfind(kWipe + "hc-screen ocr: 0 of 3 stills read", 0), 0u) << out;
    const std::string end = kWipe + "hc-screen ocr: 3 of 3 stills read" + kWipe;
    ASSERT_GE(out.size(), end.size());
    EXPECT_EQ(out.substr(out.size() - end.size()), end) << out;
    EXPECT_EQ(out.find("2 of 3"), std::string::npos) << out;
    EXPECT_EQ(out.find('\n'), std::string::npos) << out;
}

TEST(TerminalProgress, LeavesTheTerminalAloneWhenNothingWasDrawn) {
    EXPECT_EQ(drawn([](TerminalProgress&) {}), "");
}

}  // namespace
}  // namespace hc::test
