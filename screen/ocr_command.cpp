// hc-screen ocr: the text on the stills as one JSON array on standard output.
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "commands.h"
#include "ocr/ocr.h"
#include "platform/tesseract_recognizer.h"
#include "platform/turbojpeg_decoder.h"
#include "terminal_progress.h"

namespace hc {

namespace {

// The cores this process may run on: one recognition worker each.
unsigned availableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

// The whole document in one write where the pipe takes it; a write cut short by a signal or a
// full pipe goes on where it stopped.
void writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

void runOcr(const std::string& folder) {
    std::string document;
    {
        const TurboJpegDecoder decoder;
        const TesseractRecognizer recognizer;
        // A person at a terminal sees how far the run is; a program reading standard error (the
        // backend) sees nothing there, as ever.
        std::optional<TerminalProgress> terminal;
        if (::isatty(STDERR_FILENO) == 1) terminal.emplace(STDERR_FILENO);
        StillsDone progress;
        if (terminal) progress = std::ref(*terminal);
        document = ocrFolder(folder, decoder, recognizer, availableCores(), progress);
    }
    // Nothing is written before every still is done: a caller sees the whole document or,
    // when the process is killed first, nothing.
    writeAll(STDOUT_FILENO, document);
    std::exit(0);
}

}  // namespace hc
