// The OCR adapters with the real libraries (libturbojpeg, Tesseract and its installed language
// data), and the hc-screen program end to end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>

#include "ocr/ocr.h"
#include "ocr_test_support.h"
#include "platform/tesseract_recognizer.h"
#include "platform/turbojpeg_decoder.h"

namespace hc::test {
namespace {

using nlohmann::json;
const std::filesystem::path FIXTURES = OCR_FIXTURES;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A JPEG written by TurboJPEG: a colour pattern, or its grey version (64 × 48 unless asked).
std::string encodedJpeg(bool grey, int width = 64, int height = 48, int flags = 0) {
    std::vector<unsigned char> rgb;
    rgb.reserve(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            rgb.insert(rgb.end(),
                       {static_cast<unsigned char>(x * 4), static_cast<unsigned char>(y * 5),
                        static_cast<unsigned char>((x * y) % 251)});
        }
    }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int failed = tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size,
                                   grey ? TJSAMP_GRAY : TJSAMP_420, 90, flags);
    std::string bytes = failed ? "" : std::string(reinterpret_cast<char*>(jpeg), size);
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

// Where the segment with `marker` begins (its 0xFF byte).
std::size_t segment(const std::string& jpeg, unsigned char marker) {
    const std::size_t at = jpeg.find(std::string{'\xFF', static_cast<char>(marker)});
    if (at == std::string::npos) throw std::runtime_error("no such segment");
    return at;
}

void put16(std::string& bytes, std::size_t at, int value) {
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value & 0xFF);
}

// The JFIF header's density: unit at offset 11 of the APP0 segment, densities after it.
std::string withDensity(int unit, int density) {
    std::string jpeg = encodedJpeg(false);
    const std::size_t app0 = segment(jpeg, 0xE0);
    jpeg[app0 + 11] = static_cast<char>(unit);
    put16(jpeg, app0 + 12, density);
    put16(jpeg, app0 + 14, density);
    return jpeg;
}

// A JPEG whose frame header declares another size.
std::string declaring(int width, int height) {
    std::string jpeg = encodedJpeg(false);
    const std::size_t frame = segment(jpeg, 0xC0);
    put16(jpeg, frame + 5, height);
    put16(jpeg, frame + 7, width);
    return jpeg;
}

// A progressive JPEG whose last scan is repeated `times` more times.
std::string withRepeatedScans(int times) {
    const std::string jpeg = encodedJpeg(false, 64, 48, TJFLAG_PROGRESSIVE);
    const std::size_t last = jpeg.rfind(std::string{'\xFF', '\xDA'});
    const std::size_t end = jpeg.rfind(std::string{'\xFF', '\xD9'});
    const std::string scan = jpeg.substr(last, end - last);
    std::string out = jpeg.substr(0, end);
    for (int i = 0; i < times; ++i) out += scan;
    return out + jpeg.substr(end);
}

struct DecodeCase {
    const char* name;
    std::function<std::string()> bytes;
    bool decodes;
    int channels = 0;
    int resolution = 0;
    int width = 64;  // as decoded
    int height = 48;
};

class Decoder : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decoder, DecodesJpegsAndRefusesTheRest) {
    const DecodeCase& c = GetParam();
    TempDir folder;
    writeFile(folder.path() / "t.jpg", c.bytes());
    const std::optional<Image> image = TurboJpegDecoder().decode(folder.path() / "t.jpg");
    ASSERT_EQ(image.has_value(), c.decodes);
    if (!image) return;
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->channels, c.channels);
    EXPECT_EQ(image->pixels.size(), std::size_t(c.width) * c.height * c.channels);
    EXPECT_EQ(image->xResolution, c.resolution);
    EXPECT_EQ(image->yResolution, c.resolution);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Decoder,
    testing::Values(
        DecodeCase{"colour", [] { return encodedJpeg(false); }, true, 3},
        DecodeCase{"grey", [] { return encodedJpeg(true); }, true, 1},
        DecodeCase{"dots_per_inch", [] { return withDensity(1, 300); }, true, 3, 300},
        DecodeCase{"dots_per_centimetre", [] { return withDensity(2, 118); }, true, 3, 300},
        DecodeCase{"aspect_ratio_only", [] { return withDensity(0, 72); }, true, 3, 0},
        // Data that ends inside the scan decodes, the missing part filled in.
        DecodeCase{"cut_in_the_scan",
                   [] {
                       const std::string jpeg = encodedJpeg(false);
                       const std::size_t scan = segment(jpeg, 0xDA);
                       return jpeg.substr(0, scan + (jpeg.size() - scan) / 2);
                   },
                   true, 3},
        DecodeCase{"cut_in_the_header", [] { return encodedJpeg(false).substr(0, 40); }, false},
        DecodeCase{"not_a_jpeg", [] { return std::string("GIF89a, or rather not"); }, false},
        DecodeCase{"empty", [] { return std::string(); }, false},
        // Headers that lie about the size are refused before anything is allocated: longer
        // than any screen, or far more pixels than the file could hold.
        DecodeCase{"longer_than_any_screen", [] { return declaring(16400, 64); }, false},
        DecodeCase{"far_too_small_for_its_size", [] { return declaring(10000, 10000); }, false},
        DecodeCase{"endless_scans", [] { return withRepeatedScans(600); }, false},
        DecodeCase{"a_few_repeated_scans", [] { return withRepeatedScans(3); }, true, 3},
        // A real image above the budget is decoded shrunk, keeping its shape: 5120 × 3200 at
        // 1/2, 6000 × 2000 also at 1/2 (5/8 would still be above it).
        DecodeCase{"twice_the_budget", [] { return encodedJpeg(false, 5120, 3200); }, true, 3, 0,
                   2560, 1600},
        DecodeCase{"wide_and_above_the_budget", [] { return encodedJpeg(false, 6000, 2000); }, true,
                   3, 0, 3000, 1000},
        DecodeCase{"shrunk_with_its_density",
                   [] {
                       std::string jpeg = encodedJpeg(false, 5120, 3200);
                       const std::size_t app0 = segment(jpeg, 0xE0);
                       jpeg[app0 + 11] = 1;
                       put16(jpeg, app0 + 12, 300);
                       put16(jpeg, app0 + 14, 300);
                       return jpeg;
                   },
                   true, 3, 150, 2560, 1600}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecoderEntries, RefusesWhatIsNotARegularFile) {
    TempDir folder;
    std::filesystem::create_directory(folder.path() / "x.jpg");
    ASSERT_EQ(::mkfifo((folder.path() / "fifo.jpg").c_str(), 0600), 0);
    const TurboJpegDecoder decoder;
    EXPECT_FALSE(decoder.decode(folder.path() / "x.jpg"));
    EXPECT_FALSE(decoder.decode(folder.path() / "fifo.jpg"));  // and does not wait for a writer
    EXPECT_FALSE(decoder.decode(folder.path() / "missing.jpg"));
}

TEST(TesseractLanguages, ReportsTheInstalledData) {
    const std::optional<std::vector<std::string>> languages =
        TesseractRecognizer().supportedLanguages();
    ASSERT_TRUE(languages);
    for (const char* expected : {"ara", "eng"}) {
        EXPECT_NE(std::find(languages->begin(), languages->end(), expected), languages->end())
            << expected;
    }
}

TEST(TesseractLanguages, MissingLanguageDataLoadsNothing) {
    EXPECT_EQ(TesseractRecognizer().load({"qqq"}), nullptr);
}

// The elements of the document for a folder of the named fixtures, with the real adapters.
json recognised(const std::vector<std::pair<std::string, std::string>>& stills,
                unsigned workers = 2) {
    TempDir folder;
    for (const auto& [name, fixture] : stills)
        std::filesystem::copy_file(FIXTURES / fixture, folder.path() / name);
    return json::parse(
        ocrFolder(folder.path(), TurboJpegDecoder(), TesseractRecognizer(), workers));
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line, '\n');) lines.push_back(line);
    return lines;
}

bool contains(const std::string& text, const std::string& word) {
    return text.find(word) != std::string::npos;
}

TEST(TesseractRecognition, ReadsAnEnglishStillAsTwoLinesJoinedByOneLineFeed) {
    const json document = recognised({{"t00003.jpg", "english.jpg"}});
    ASSERT_EQ(document.size(), 1u);
    EXPECT_EQ(document[0]["t"], 3);
    const std::string text = document[0]["text"];
    const std::vector<std::string> lines = linesOf(text);
    ASSERT_EQ(lines.size(), 2u) << text;
    EXPECT_TRUE(contains(lines[0], "Quarterly") && contains(lines[0], "budget")) << lines[0];
    EXPECT_TRUE(contains(lines[1], "draft") && contains(lines[1], "Friday")) << lines[1];
    EXPECT_EQ(text, lines[0] + "\n" + lines[1]);  // one line feed, nothing after
}

TEST(TesseractRecognition, ReadsAnArabicStill) {
    const json document = recognised({{"t00001.jpg", "arabic.jpg"}});
    ASSERT_EQ(document.size(), 1u);
    const std::string text = document[0]["text"];
    const std::vector<std::string> lines = linesOf(text);
    ASSERT_EQ(lines.size(), 2u) << text;
    EXPECT_TRUE(contains(lines[0], "مرحبا") && contains(lines[0], "الاجتماع")) << lines[0];
    EXPECT_TRUE(contains(lines[1], "الميزانية")) << lines[1];
}

TEST(TesseractRecognition, StillWithoutTextGivesEmptyText) {
    EXPECT_EQ(recognised({{"t00002.jpg", "blank.jpg"}}),
              json::parse(R"([{"t":2,"file":"t00002.jpg","text":""}])"));
}

struct ProgramRun {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs hc-screen with `arguments` (no shell quoting needed) and collects what it printed.
ProgramRun runProgram(const std::string& arguments) {
    TempDir outputs;
    const std::filesystem::path out = outputs.path() / "out", err = outputs.path() / "err";
    const std::string command = std::string(HC_SCREEN) + " " + arguments + " >" + out.string() +
                                " 2>" + err.string() + " </dev/null";
    const int status = std::system(command.c_str());
    return {readFile(out), readFile(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(OcrProgram, MissingOrEmptyFolderPrintsAnEmptyArray) {
    TempDir folder;
    for (const std::filesystem::path& path : {folder.path(), folder.path() / "missing"}) {
        const ProgramRun run = runProgram("ocr " + path.string());
        EXPECT_EQ(run.out, "[]") << path;
        EXPECT_EQ(run.err, "") << path;
        EXPECT_EQ(run.status, 0) << path;
    }
}

// A folder of real stills, damaged files and a directory named like a still: the program's
// document (one worker per core) is byte for byte the one a single worker produces, is compact
// JSON without a trailing newline, and nothing reaches standard error.
TEST(OcrProgram, PrintsTheBytesOfAOneWorkerRunAndNothingElse) {
    TempDir folder;
    const char* fixtures[] = {"english.jpg", "arabic.jpg", "blank.jpg"};
    for (int i = 0; i < 6; ++i) {
        std::filesystem::copy_file(FIXTURES / fixtures[i % 3],
                                   folder.path() / ("t0000" + std::to_string(i) + ".jpg"));
    }
    writeFile(folder.path() / "t00006.jpg", "not a jpeg");
    writeFile(folder.path() / "t00007.jpg", readFile(FIXTURES / "english.jpg").substr(0, 40));
    std::filesystem::create_directory(folder.path() / "x.jpg");
    writeFile(folder.path() / "notes.txt", "ignored");

    const std::string oneWorker =
        ocrFolder(folder.path(), TurboJpegDecoder(), TesseractRecognizer(), 1);
    EXPECT_EQ(ocrFolder(folder.path(), TurboJpegDecoder(), TesseractRecognizer(), 3), oneWorker);
    const ProgramRun run = runProgram("ocr " + folder.path().string() + " ignored-operand");
    EXPECT_EQ(run.out, oneWorker);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);

    const json document = json::parse(run.out);
    EXPECT_EQ(run.out, document.dump());  // compact: no indentation, nothing after the bracket
    ASSERT_EQ(document.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(document[i]["t"], i);
        EXPECT_EQ(document[i]["text"] == "", i % 3 == 2) << document[i];
    }
}

// With standard error on a terminal, a person sees the progress there, and the document on
// standard output stays byte for byte what a program reading it gets.
TEST(OcrProgram, ShowsProgressOnATerminalAndLeavesTheDocumentAsItIs) {
    TempDir folder, outputs;
    const char* fixtures[] = {"english.jpg", "arabic.jpg", "blank.jpg"};
    for (int i = 0; i < 3; ++i)
        std::filesystem::copy_file(FIXTURES / fixtures[i],
                                   folder.path() / ("t0000" + std::to_string(i) + ".jpg"));
    const ProgramRun plain = runProgram("ocr " + folder.path().string());
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(plain.err, "");

    int master = -1, terminal = -1;
    ASSERT_EQ(::openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    const std::string out = (outputs.path() / "out").string();
    const std::string dir = folder.path().string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(terminal, STDERR_FILENO);
        const int file = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, STDOUT_FILENO);
        ::execl(HC_SCREEN, HC_SCREEN, "ocr", dir.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(terminal);
    // Read the terminal until the program has closed it (EIO once no one holds its other end).
    std::string screen;
    char buffer[4096];
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 120000) <= 0) break;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        screen.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(master);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(readFile(out), plain.out);
    EXPECT_NE(screen.find("hc-screen ocr: 0 of 3 stills read"), std::string::npos) << screen;
    EXPECT_NE(screen.find("hc-screen ocr: 3 of 3 stills read"), std::string::npos) << screen;
    const std::string wipe = "\r\x1b[K";
    ASSERT_GE(screen.size(), wipe.size());
    EXPECT_EQ(screen.substr(screen.size() - wipe.size()), wipe) << screen;
}

}  // namespace
}  // namespace hc::test

namespace hc::test {
namespace {

// Files that lie or are broken, beside a real still: the program leaves out what does not
// decode, reads the rest, ends quickly with valid JSON, and none of them costs it a crash.
TEST(OcrProgram, BrokenAndLyingStillsAreLeftOutQuickly) {
    TempDir folder;
    const std::string english = readFile(FIXTURES / "english.jpg");
    std::string lying = english.substr(0, 1000);  // 1 KB declaring 10000 × 10000
    const std::size_t frame = segment(lying, 0xC0);
    put16(lying, frame + 5, 10000);
    put16(lying, frame + 7, 10000);
    std::string flipped = english;
    for (std::size_t at = 700; at < flipped.size(); at += 997) flipped[at] ^= 0x10;
    writeFile(folder.path() / "t00000.jpg", english);
    writeFile(folder.path() / "t00001.jpg", lying);
    writeFile(folder.path() / "t00002.jpg", withRepeatedScans(5000));
    writeFile(folder.path() / "t00003.jpg", english.substr(0, english.size() / 3));
    writeFile(folder.path() / "t00004.jpg", flipped);
    writeFile(folder.path() / "t00005.jpg", declaring(16000, 16000) + std::string(300000, '\0'));

    const auto begun = std::chrono::steady_clock::now();
    const ProgramRun run = runProgram("ocr " + folder.path().string());
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(20));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const json document = json::parse(run.out);
    std::vector<std::string> files;
    for (const json& element : document) files.push_back(element["file"]);
    // The cut and the bit-flipped still decode (as viewers show them), and so does the large
    // one whose bytes could hold its size, shrunk to a bounded size; the liars do not.
    EXPECT_EQ(files, (std::vector<std::string>{"t00000.jpg", "t00003.jpg", "t00004.jpg",
                                               "t00005.jpg"}));
    EXPECT_TRUE(contains(document[0]["text"], "Quarterly")) << document[0]["text"];
}

}  // namespace
}  // namespace hc::test
