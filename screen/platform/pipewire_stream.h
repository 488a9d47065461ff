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
#include "stream_frames.h"

namespace hc {

class PipeWireStream final : public PictureStream {
  public:
    // Runs once, on PipeWire's thread, when the stream ends by itself; says why.
    using Ended = std::function<void(const std::string& why)>;

    // Connects through `remote` (a connection to a PipeWire daemon, taken over) to `node` and
    // waits at most `limit` until a picture format is agreed.
    static std::variant<std::unique_ptr<PipeWireStream>, Failure> open(
        UniqueFd remote, std::uint32_t node, int maxRate, std::chrono::milliseconds limit);
    // Disconnects and stops PipeWire's thread.
    ~PipeWireStream() override;
    PipeWireStream(const PipeWireStream&) = delete;
    PipeWireStream& operator=(const PipeWireStream&) = delete;

    // PictureStream. `use` runs on the caller's thread while PipeWire's thread waits.
    bool hasPicture() override;
    bool takeNewest(const std::function<void(const StreamImage&)>& use) override;
    // Sets the function told (on PipeWire's thread, which it must not hold up) each time a new
    // picture arrives.
    void onPicture(std::function<void()> arrived);
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
