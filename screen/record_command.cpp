// The record mode's process: signals, the start task, and the one stop sequence.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "black_frames.h"
#include "cli.h"
#include "commands.h"
#include "recorder.h"
#include "stop_request.h"

namespace hc {

namespace {

void writeLine(int fd, const std::string& text) {
    const std::string line = text + "\n";
    [[maybe_unused]] ssize_t n = ::write(fd, line.data(), line.size());
}

}  // namespace

void runRecord(const std::string& video, const std::string& frames) {
    // SIGINT and SIGTERM are blocked before any thread exists, so that every thread inherits
    // the mask and both wait for the signal thread instead of ending the process.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    // A reader that went away must not end the recording before the video is finalised.
    signal(SIGPIPE, SIG_IGN);

    // A capture that shows only black is said once: the recording goes on regardless.
    const auto source = watchForBlack(makeScreenSource(), [](std::string_view warning) {
        writeLine(STDERR_FILENO, std::string(warning));
    });
    const auto sink = makeVideoSink();
    const auto jpeg = makeJpegEncoder();
    StopRequest stop;
    Recorder rec(
        video, frames, *source, *sink, *jpeg,
        [&stop](const std::string& why) { stop.request(why); }, RecorderTimeouts{}, captureClockNow,
        [](const std::string& what) { writeLine(STDERR_FILENO, what); });

    std::thread([&stop, stops] {
        int signal = 0;
        while (sigwait(&stops, &signal) == 0) stop.request();
    }).detach();
    std::thread([&rec] {
        if (auto failure = rec.start()) fail("screen: " + failure->description);
        writeLine(STDOUT_FILENO, "recording");
    }).detach();

    // Everything above lives until the process ends: this function never returns.
    if (const auto reason = stop.wait()) writeLine(STDERR_FILENO, "stopped: " + *reason);
    rec.finish();
    std::_Exit(0);
}

}  // namespace hc
