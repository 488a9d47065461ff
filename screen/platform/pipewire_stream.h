// A video stream from a PipeWire node (libpipewire 0.3), received on a pw_thread_loop of its
// own: raw 32-bit pictures in shared memory, at most a given number per second. The newest
// picture is held until the caller takes it; older ones go straight back to the producer.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "portal_bus.h"
#include "screen_source.h"

namespace hc {

enum class PixelLayout { BGRx, BGRA, RGBx, RGBA };

// One picture of the stream, valid only while the caller's function runs.
struct StreamImage {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row
    PixelLayout layout = PixelLayout::BGRx;
};

class PipeWireStream {
  public:
    // Runs once, on PipeWire's thread, when the stream ends by itself; says why.
    using Ended = std::function<void(const std::string& why)>;

    // Connects through `remote` (a connection to a PipeWire daemon, taken over) to `node` and
    // waits at most `limit` until a picture format is agreed.
    static std::variant<std::unique_ptr<PipeWireStream>, Failure> open(
        UniqueFd remote, std::uint32_t node, int maxRate, std::chrono::milliseconds limit);
    // Disconnects and stops PipeWire's thread.
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // Calls `use` with the newest picture that arrived since the last call and returns true;
    // returns false when none did. Any one thread.
    bool takeNewest(const std::function<void(const StreamImage&)>& use);
    // Sets the function told when the stream ends; told at once if it has ended already.
    void onEnded(Ended ended);
    // The agreed picture size.
    int width() const;
    int height() const;

    struct State;

  private:
    explicit PipeWireStream(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace hc
