// How far `hc-screen ocr` has come, for a person watching a terminal.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace hc {

// Told the number of stills done so far and of all stills: once with 0 before the first, then
// once after each still (decoded or not). Called from the recognition workers, concurrently, so
// it guards what it shares; the counts it is given may arrive out of order.
using StillsDone = std::function<void(std::size_t done, std::size_t total)>;

// The progress line for `done` of `total` stills after `elapsedSeconds`, with an estimate of the
// time left once a still is done: "hc-screen ocr: 12 of 340 stills read, about 3 min left".
std::string progressLine(std::size_t done, std::size_t total, double elapsedSeconds);

}  // namespace hc
