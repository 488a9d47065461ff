#include "ocr/progress.h"

#include <algorithm>
#include <cmath>

namespace hc {

namespace {

// The time left, rounded up to what a person reads at a glance.
std::string timeLeft(double seconds) {
    const auto whole = static_cast<long long>(std::ceil(seconds));
    if (whole < 60) return "about " + std::to_string(std::max(whole, 1LL)) + " s left";
    const long long minutes = (whole + 59) / 60;
    if (minutes < 60) return "about " + std::to_string(minutes) + " min left";
    return "about " + std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) +
           " min left";
}

}  // namespace

std::string progressLine(std::size_t done, std::size_t total, double elapsedSeconds) {
    std::string line =
        "hc-screen ocr: " + std::to_string(done) + " of " + std::to_string(total) + " stills read";
    if (done == 0 || done >= total || !(elapsedSeconds > 0)) return line;
    const double perStill = elapsedSeconds / static_cast<double>(done);
    return line + ", " + timeLeft(perStill * static_cast<double>(total - done));
}

}  // namespace hc
