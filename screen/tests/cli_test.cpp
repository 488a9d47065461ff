// The command line: which forms are usage errors, and what each command takes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "cli.h"

namespace {

struct Case {
    const char* name;
    std::vector<std::string> args;
    int kind;  // 0 usage, 1 ocr, 2 record, 3 help, 4 version
    std::string first, second;
};

class Parse : public testing::TestWithParam<Case> {};

TEST_P(Parse, ChoosesTheCommand) {
    const Case& c = GetParam();
    const hc::Command command = hc::parseCommand(c.args);
    ASSERT_EQ(static_cast<int>(command.index()), c.kind);
    if (const auto* ocr = std::get_if<hc::OcrCommand>(&command)) {
        EXPECT_EQ(ocr->folder, c.first);
    }
    if (const auto* rec = std::get_if<hc::RecordCommand>(&command)) {
        EXPECT_EQ(rec->video, c.first);
        EXPECT_EQ(rec->frames, c.second);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Parse,
    testing::Values(
        Case{"nothing", {"hc-screen"}, 0, "", ""},
        Case{"only_ocr", {"hc-screen", "ocr"}, 0, "", ""},
        Case{"only_record", {"hc-screen", "record"}, 0, "", ""},
        Case{"record_without_folder", {"hc-screen", "record", "v.mp4"}, 0, "", ""},
        Case{"capitalised", {"hc-screen", "Record", "v.mp4", "f"}, 0, "", ""},
        Case{"capitalised_ocr", {"hc-screen", "OCR", "f"}, 0, "", ""},
        Case{"other_word", {"hc-screen", "play", "v.mp4", "f"}, 0, "", ""},
        Case{"ocr", {"hc-screen", "ocr", "frames"}, 1, "frames", ""},
        Case{"ocr_extra", {"hc-screen", "ocr", "frames", "x", "y"}, 1, "frames", ""},
        Case{"record", {"hc-screen", "record", "v.mp4", "f"}, 2, "v.mp4", "f"},
        Case{"record_extra", {"hc-screen", "record", "v.mp4", "f", "x"}, 2, "v.mp4", "f"},
        Case{"help", {"hc-screen", "--help"}, 3, "", ""},
        Case{"version", {"hc-screen", "--version"}, 4, "", ""},
        // Only alone: with anything after them, or spelt otherwise, they are usage errors.
        Case{"help_extra", {"hc-screen", "--help", "x"}, 0, "", ""},
        Case{"version_extra", {"hc-screen", "--version", "x"}, 0, "", ""},
        Case{"short_help", {"hc-screen", "-h"}, 0, "", ""},
        Case{"help_word", {"hc-screen", "help"}, 0, "", ""},
        Case{"ocr_of_help", {"hc-screen", "ocr", "--help"}, 1, "--help", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs the real program with `args` through the shell, and gives what `redirect` sends to the
// pipe, and the exit status (-1 when it did not exit).
struct ProgramRun {
    std::string text;
    int status = -1;
};
ProgramRun runProgram(const std::string& args, const std::string& redirect) {
    const std::string cmd = std::string(HC_SCREEN) + " " + args + " " + redirect;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return {};
    ProgramRun run;
    std::array<char, 256> buf;
    while (size_t n = fread(buf.data(), 1, buf.size(), p)) run.text.append(buf.data(), n);
    const int status = pclose(p);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The real program: usage text on standard error, nothing on standard output, status 1.
TEST(Program, UsageErrorsPrintTheUsageAndExitWithOne) {
    const char* forms[] = {"",         "ocr", "record v.mp4", "Record v.mp4 f", "stop v.mp4 f",
                           "--help x", "-h",  "--Version"};
    for (const char* form : forms) {
        const ProgramRun run = runProgram(form, "2>&1 1>/dev/null");
        EXPECT_EQ(run.text, std::string(hc::USAGE) + "\n") << form;
        EXPECT_EQ(run.status, 1) << form;
    }
}

// The real program: --help and --version print on standard output, nothing on standard error,
// status 0.
TEST(Program, HelpAndVersionPrintOnStandardOutputAndExitWithZero) {
    struct Form {
        const char* args;
        std::string out;
    };
    const Form forms[] = {{"--help", hc::helpText()}, {"--version", "hc-screen " QV_VERSION "\n"}};
    for (const Form& form : forms) {
        const ProgramRun run = runProgram(form.args, "2>&1");
        EXPECT_EQ(run.text, form.out) << form.args;
        EXPECT_EQ(run.status, 0) << form.args;
    }
    EXPECT_EQ(hc::helpText().rfind(std::string(hc::USAGE) + "\n", 0), 0u);
}

}  // namespace
