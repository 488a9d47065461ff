// The PipeWire stream adapter against a PipeWire of the test's own (from a private Wayland
// session) and a producer node the test controls: pictures arrive in the offered layouts, a
// producer that offers none of them and a connection that is no PipeWire are refused, and a
// producer that goes ends the stream.
#include <gtest/gtest.h>
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/pipewire_stream.h"
#include "support/wayland_session.h"

namespace hc {
namespace {

using namespace std::chrono_literals;

// A video source node that sends pictures of one colour, driven by a timer of its own.
class Producer {
  public:
    Producer(spa_video_format format, int width, int height, std::uint32_t word)
        : format_(format), width_(width), height_(height), word_(word) {
        pw_init(nullptr, nullptr);
        loop_ = pw_thread_loop_new("test-producer", nullptr);
        context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
        pw_thread_loop_start(loop_);
        pw_thread_loop_lock(loop_);
        core_ = pw_context_connect(context_, nullptr, 0);
        if (core_ != nullptr) connect();
        pw_thread_loop_unlock(loop_);
    }
    ~Producer() {
        stop();
        pw_thread_loop_stop(loop_);
        if (core_) pw_core_disconnect(core_);
        pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
    }

    // The node's id once PipeWire has it, or 0.
    std::uint32_t node() {
        for (int i = 0; i < 500; ++i) {
            pw_thread_loop_lock(loop_);
            const std::uint32_t id = stream_ ? pw_stream_get_node_id(stream_) : SPA_ID_INVALID;
            pw_thread_loop_unlock(loop_);
            if (id != SPA_ID_INVALID) return id;
            std::this_thread::sleep_for(20ms);
        }
        return 0;
    }
    // Takes the node away, as a compositor that stops sharing does.
    void stop() {
        pw_thread_loop_lock(loop_);
        if (timer_) pw_loop_destroy_source(pw_thread_loop_get_loop(loop_), timer_);
        timer_ = nullptr;
        if (stream_) {
            spa_hook_remove(&listener_);
            pw_stream_destroy(stream_);
        }
        stream_ = nullptr;
        pw_thread_loop_unlock(loop_);
    }

  private:
    void connect() {
        stream_ = pw_stream_new(core_, "test-producer",
                                pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr));
        events_.version = PW_VERSION_STREAM_EVENTS;
        events_.param_changed = [](void* data, uint32_t id, const spa_pod* param) {
            auto* p = static_cast<Producer*>(data);
            if (id == SPA_PARAM_Format && param != nullptr) p->announceBuffers();
        };
        events_.process = [](void* data) { static_cast<Producer*>(data)->fill(); };
        // Shared memory of our own for each buffer, as a compositor hands out.
        events_.add_buffer = [](void* data, pw_buffer* b) {
            auto* p = static_cast<Producer*>(data);
            spa_data& d = b->buffer->datas[0];
            const std::uint32_t size = p->width_ * p->height_ * 4;
            const int fd = memfd_create("test-producer", MFD_CLOEXEC);
            if (fd < 0 || ftruncate(fd, size) != 0) return;
            d.type = SPA_DATA_MemFd;
            d.flags = SPA_DATA_FLAG_READWRITE;
            d.fd = fd;
            d.mapoffset = 0;
            d.maxsize = size;
            d.data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        };
        events_.remove_buffer = [](void*, pw_buffer* b) {
            spa_data& d = b->buffer->datas[0];
            if (d.data != nullptr) munmap(d.data, d.maxsize);
            if (d.fd >= 0) close(static_cast<int>(d.fd));
        };
        pw_stream_add_listener(stream_, &listener_, &events_, this);
        uint8_t storage[512];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
        spa_rectangle size{static_cast<uint32_t>(width_), static_cast<uint32_t>(height_)};
        spa_fraction rate{0, 1}, max{30, 1}, none{0, 1};
        const spa_pod* param = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(format_),
            SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
            SPA_POD_Fraction(&rate), SPA_FORMAT_VIDEO_maxFramerate,
            SPA_POD_CHOICE_RANGE_Fraction(&max, &none, &max)));
        pw_stream_connect(
            stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS |
                                         PW_STREAM_FLAG_ALLOC_BUFFERS),
            &param, 1);
        timer_ = pw_loop_add_timer(
            pw_thread_loop_get_loop(loop_),
            [](void* data, uint64_t) {
                auto* p = static_cast<Producer*>(data);
                if (p->stream_) pw_stream_trigger_process(p->stream_);
            },
            this);
        timespec first{0, 50'000'000}, every{0, 50'000'000};
        pw_loop_update_timer(pw_thread_loop_get_loop(loop_), timer_, &first, &every, false);
    }
    void announceBuffers() {
        uint8_t storage[256];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(storage, sizeof storage);
        const int stride = width_ * 4;
        const spa_pod* param = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * height_), SPA_PARAM_BUFFERS_stride,
            SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType, SPA_POD_Int(1 << SPA_DATA_MemFd)));
        pw_stream_update_params(stream_, &param, 1);
    }
    void fill() {
        pw_buffer* b = pw_stream_dequeue_buffer(stream_);
        if (b == nullptr) return;
        spa_data& d = b->buffer->datas[0];
        // Buffers made before our size was agreed are too small: those go back empty.
        if (d.data != nullptr && d.maxsize >= static_cast<uint32_t>(width_ * height_ * 4)) {
            auto* words = static_cast<std::uint32_t*>(d.data);
            std::fill(words, words + width_ * height_, word_);
            d.chunk->offset = 0;
            d.chunk->stride = width_ * 4;
            d.chunk->size = width_ * height_ * 4;
        } else {
            d.chunk->size = 0;
        }
        pw_stream_queue_buffer(stream_, b);
    }

    spa_video_format format_;
    int width_, height_;
    std::uint32_t word_;
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook listener_{};
    pw_stream_events events_{};
    spa_source* timer_ = nullptr;
};

UniqueFd connectTo(const std::filesystem::path& socketPath) {
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    socketPath.string().copy(addr.sun_path, sizeof addr.sun_path - 1);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
    return fd;
}

std::string failureOf(const std::variant<std::unique_ptr<PipeWireStream>, Failure>& r) {
    const auto* f = std::get_if<Failure>(&r);
    return f ? f->description : "(no failure)";
}

TEST(PipeWireStream, AConnectionThatIsNoPipeWireIsRefused) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    close(pair[1]);
    const auto result = PipeWireStream::open(UniqueFd(pair[0]), 42, 5, 10s);
    EXPECT_EQ(failureOf(result).rfind("PipeWire refused the screen-sharing connection: ", 0), 0u)
        << failureOf(result);
}

class PipeWireStreamTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session.running()) << session.error();
        runtime = session.clientEnvironment()["XDG_RUNTIME_DIR"];
        // The producer finds the session's PipeWire through the environment.
        setenv("PIPEWIRE_RUNTIME_DIR", runtime.c_str(), 1);
    }
    std::variant<std::unique_ptr<PipeWireStream>, Failure> open(std::uint32_t node) {
        return PipeWireStream::open(connectTo(std::filesystem::path(runtime) / "pipewire-0"), node,
                                    5, 20s);
    }

    qv::test::WaylandSession session{{640, 480, qv::test::WaylandSession::Portal::None}};
    std::string runtime;
};

TEST_F(PipeWireStreamTest, PicturesArriveInTheirLayoutAndAProducerThatGoesEndsTheStream) {
    // Bytes in memory: R=0x11, G=0x22, B=0x33, A=0xFF.
    Producer producer(SPA_VIDEO_FORMAT_RGBA, 64, 48, 0xFF332211);
    const std::uint32_t node = producer.node();
    ASSERT_NE(node, 0u);
    auto result = open(node);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<PipeWireStream>>(result))
        << failureOf(result);
    auto& stream = *std::get<std::unique_ptr<PipeWireStream>>(result);
    EXPECT_EQ(stream.width(), 64);
    EXPECT_EQ(stream.height(), 48);

    std::optional<StreamImage> seen;
    std::array<std::uint8_t, 4> firstPixel{};
    for (int i = 0; i < 500 && !seen; ++i) {
        stream.takeNewest([&](const StreamImage& image) {
            seen = image;
            std::copy_n(image.pixels + image.stride * 47 + 63 * 4, 4, firstPixel.begin());
        });
        if (!seen) std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(seen) << "no picture came";
    EXPECT_EQ(seen->layout, PixelLayout::RGBA);
    EXPECT_EQ(seen->width, 64);
    EXPECT_EQ(seen->height, 48);
    EXPECT_GE(seen->stride, 64 * 4);
    EXPECT_EQ(firstPixel, (std::array<std::uint8_t, 4>{0x11, 0x22, 0x33, 0xFF}));

    std::mutex mutex;
    std::condition_variable cv;
    std::string why;
    stream.onEnded([&](const std::string& w) {
        std::lock_guard lock(mutex);
        why = w;
        cv.notify_all();
    });
    producer.stop();
    std::unique_lock lock(mutex);
    EXPECT_TRUE(cv.wait_for(lock, 20s, [&] { return !why.empty(); }));
    EXPECT_EQ(why, "Screen sharing was stopped");
}

TEST_F(PipeWireStreamTest, AProducerOfferingNoUsableLayoutIsRefused) {
    Producer producer(SPA_VIDEO_FORMAT_NV12, 64, 48, 0);
    const std::uint32_t node = producer.node();
    ASSERT_NE(node, 0u);
    const auto result = open(node);
    EXPECT_EQ(failureOf(result),
              "PipeWire agreed on no picture format with the screen's stream within 20 seconds "
              "(hc-screen takes BGRx, BGRA, RGBx or RGBA pictures in shared memory)");
}

}  // namespace
}  // namespace hc
