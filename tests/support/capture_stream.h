// Capture streams made by the test itself on the audio server that PULSE_SERVER names: one
// client on its own libpulse thread, whose streams the test opens, corks and closes. No Qt.
// Every call waits until the server has answered (up to a few seconds).
#pragma once

#include <map>
#include <string>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace qv::test {

class CaptureStreams {
  public:
    struct Options {
        std::string device;  // the source to capture; empty: the server's default
        bool peakDetect = false;
        bool corked = false;
        std::map<std::string, std::string> properties;  // added to the stream's properties
    };

    CaptureStreams();
    ~CaptureStreams();
    CaptureStreams(const CaptureStreams&) = delete;
    CaptureStreams& operator=(const CaptureStreams&) = delete;

    bool connected() const { return context_ != nullptr; }
    // Opens a stream; its server-side index (the source output's), or -1.
    int open(const Options& options);
    bool cork(int index, bool corked);
    void close(int index);

  private:
    bool waitFor(pa_stream* s);
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::map<int, pa_stream*> streams_;
};

}  // namespace qv::test
