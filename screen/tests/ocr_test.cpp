// The OCR logic with fake decoding and recognition: which files, in which order, their "t",
// the languages, the document, and the workers' ordering.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ocr/languages.h"
#include "ocr/ocr.h"
#include "ocr/stills.h"
#include "ocr_test_support.h"

namespace hc::test {
namespace {

using Names = std::vector<std::string>;
using nlohmann::json;

struct SelectCase {
    const char* name;
    Names entries;
    Names stills;
};

class SelectStills : public testing::TestWithParam<SelectCase> {};

TEST_P(SelectStills, KeepsLowerCaseJpgInByteOrder) {
    EXPECT_EQ(selectStills(GetParam().entries), GetParam().stills);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, SelectStills,
    testing::Values(
        SelectCase{"mixed",
                   {"t00010.jpg", "t00002.jpg", "t00003.JPG", "readme.txt"},
                   {"t00002.jpg", "t00010.jpg"}},
        SelectCase{"six_digits", {"t99999.jpg", "t100000.jpg"}, {"t100000.jpg", "t99999.jpg"}},
        SelectCase{"other_extensions", {"a.jpeg", "b.jpg.txt", "c.Jpg", "d", "e.jpg"}, {"e.jpg"}},
        // Bytes, not signed chars: 'Z' (0x5A) < 'z' (0x7A) < 'é' (0xC3 0xA9).
        SelectCase{"bytes", {"\xC3\xA9.jpg", "z.jpg", "Z.jpg"}, {"Z.jpg", "z.jpg", "\xC3\xA9.jpg"}},
        SelectCase{"hidden", {".t1.jpg", "t0.jpg"}, {".t1.jpg", "t0.jpg"}},
        SelectCase{"none", {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct SecondCase {
    const char* file;
    std::int64_t t;
};

class SecondFromName : public testing::TestWithParam<SecondCase> {};

TEST_P(SecondFromName, ReadsTheNumberAfterTheFirstCharacter) {
    EXPECT_EQ(secondFromName(GetParam().file), GetParam().t) << GetParam().file;
}

INSTANTIATE_TEST_SUITE_P(Names, SecondFromName,
                         testing::Values(SecondCase{"t00012.jpg", 12}, SecondCase{"x-7.jpg", -7},
                                         SecondCase{"t12a.jpg", 0}, SecondCase{"t+5.jpg", 5},
                                         SecondCase{"t100000.jpg", 100000},
                                         SecondCase{"cover.jpg", 0}, SecondCase{"t.jpg", 0},
                                         SecondCase{"t-.jpg", 0}, SecondCase{"t+-5.jpg", 0},
                                         SecondCase{"t-+5.jpg", 0}, SecondCase{"t 5.jpg", 0},
                                         SecondCase{"t9223372036854775807.jpg", INT64_MAX},
                                         SecondCase{"t-9223372036854775808.jpg", INT64_MIN},
                                         SecondCase{"t9223372036854775808.jpg", 0},
                                         SecondCase{"t99999999999999999999999.jpg", 0},
                                         // The first character is a whole UTF-8 sequence.
                                         SecondCase{"\xC3\xA9"
                                                    "5.jpg",
                                                    5}));

struct LanguageCase {
    const char* name;
    std::optional<Names> supported;
    Names chosen;
};

class ChooseLanguages : public testing::TestWithParam<LanguageCase> {};

TEST_P(ChooseLanguages, PrefersArabicThenEnglish) {
    EXPECT_EQ(chooseLanguages(GetParam().supported), GetParam().chosen);
}

INSTANTIATE_TEST_SUITE_P(Recognisers, ChooseLanguages,
                         testing::Values(LanguageCase{"cannot_tell", std::nullopt, {"eng"}},
                                         LanguageCase{"nothing", Names{}, {"eng"}},
                                         LanguageCase{"neither", Names{"fra", "osd"}, {"eng"}},
                                         LanguageCase{"english_only", Names{"eng", "osd"}, {"eng"}},
                                         LanguageCase{"arabic_only", Names{"ara"}, {"ara"}},
                                         LanguageCase{
                                             "both", Names{"eng", "fra", "ara"}, {"ara", "eng"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OcrDocument, IsCompactJsonWithNothingAfterIt) {
    const std::string document =
        ocrDocument({{0, "t00000.jpg", "A\nB"}, {4, "t00004.jpg", ""}, {-7, "x-7.jpg", "\"/\\"}});
    EXPECT_EQ(document, R"([{"file":"t00000.jpg","t":0,"text":"A\nB"},)"
                        R"({"file":"t00004.jpg","t":4,"text":""},)"
                        R"({"file":"x-7.jpg","t":-7,"text":"\"/\\"}])");
    EXPECT_EQ(ocrDocument({}), "[]");
}

TEST(OcrDocument, StaysValidUtf8WhenANameIsNot) {
    const std::string document = ocrDocument({{1,
                                               "t\xFF"
                                               "1.jpg",
                                               "caf\xC3\xA9"}});
    const json parsed = json::parse(document);  // throws on invalid UTF-8
    EXPECT_EQ(parsed[0]["file"],
              "t\xEF\xBF\xBD"
              "1.jpg");  // U+FFFD
    EXPECT_EQ(parsed[0]["text"], "caf\xC3\xA9");
}

class OcrFolder : public testing::Test {
  protected:
    std::string run(unsigned workers = 2) {
        return ocrFolder(folder.path(), decoder, recognizer, workers);
    }

    TempDir folder;
    FakeDecoder decoder;
    FakeRecognizer recognizer;
};

TEST_F(OcrFolder, GivesOneElementPerReadableStillInNameOrder) {
    writeFile(folder.path() / "t00004.jpg", "image:");
    writeFile(folder.path() / "t00000.jpg", "image:A|B");
    writeFile(folder.path() / "notes.txt", "image:C");
    writeFile(folder.path() / "t00003.JPG", "image:D");
    EXPECT_EQ(json::parse(run()), json::parse(R"([{"t":0,"file":"t00000.jpg","text":"A\nB"},
                                                  {"t":4,"file":"t00004.jpg","text":""}])"));
}

TEST_F(OcrFolder, LeavesOutFilesThatDoNotDecode) {
    writeFile(folder.path() / "t1.jpg", "damaged");
    writeFile(folder.path() / "t2.jpg", "");
    std::filesystem::create_directory(folder.path() / "x.jpg");
    writeFile(folder.path() / "t3.jpg", "image:kept");
    EXPECT_EQ(json::parse(run()), json::parse(R"([{"t":3,"file":"t3.jpg","text":"kept"}])"));
}

TEST_F(OcrFolder, MissingOrEmptyFolderGivesAnEmptyArrayWithoutLoadingAnything) {
    EXPECT_EQ(run(), "[]");
    EXPECT_EQ(ocrFolder(folder.path() / "missing", decoder, recognizer, 2), "[]");
    writeFile(folder.path() / "t1.jpg.txt", "image:A");
    EXPECT_EQ(run(), "[]");
    EXPECT_EQ(recognizer.queries, 0);
    EXPECT_TRUE(recognizer.loads.empty());
}

TEST_F(OcrFolder, FailedRecognitionKeepsTheStillWithEmptyText) {
    writeFile(folder.path() / "t1.jpg", "image:fail");
    writeFile(folder.path() / "t2.jpg", "image:after");
    EXPECT_EQ(json::parse(run(1)), json::parse(R"([{"t":1,"file":"t1.jpg","text":""},
                                                   {"t":2,"file":"t2.jpg","text":"after"}])"));
}

TEST_F(OcrFolder, RecogniserThatCannotLoadGivesEmptyTextsAndIsNotRetried) {
    recognizer.loadable = false;
    for (int i = 0; i < 6; ++i)
        writeFile(folder.path() / ("t" + std::to_string(i) + ".jpg"), "image:A");
    const json document = json::parse(run(2));
    ASSERT_EQ(document.size(), 6u);
    for (const json& still : document) EXPECT_EQ(still["text"], "");
    EXPECT_LE(recognizer.loads.size(), 2u);
}

TEST_F(OcrFolder, LoadsTheChosenLanguagesOncePerWorker) {
    struct Case {
        std::optional<Names> supported;
        Names loaded;
    };
    for (const Case& c : {Case{Names{"eng", "ara", "osd"}, {"ara", "eng"}},
                          Case{Names{"eng"}, {"eng"}}, Case{std::nullopt, {"eng"}}}) {
        FakeRecognizer fresh;
        fresh.supported = c.supported;
        for (int i = 0; i < 8; ++i)
            writeFile(folder.path() / ("t" + std::to_string(i) + ".jpg"), "image:A");
        ocrFolder(folder.path(), decoder, fresh, 3);
        EXPECT_EQ(fresh.queries, 1);
        ASSERT_GE(fresh.loads.size(), 1u);
        EXPECT_LE(fresh.loads.size(), 3u);
        for (const Names& languages : fresh.loads) EXPECT_EQ(languages, c.loaded);
    }
}

TEST_F(OcrFolder, TakesTheLargestFilesFirstAndKeepsNameOrderInTheDocument) {
    writeFile(folder.path() / "t1.jpg", "image:x");
    writeFile(folder.path() / "t2.jpg", "image:the largest");
    writeFile(folder.path() / "t3.jpg", "broken file, larger than any still");
    writeFile(folder.path() / "t4.jpg", "image:medium");
    writeFile(folder.path() / "t5.jpg", "image:tie-a");
    writeFile(folder.path() / "t6.jpg", "image:tie-b");
    std::filesystem::create_directory(folder.path() / "t7.jpg");
    EXPECT_EQ(json::parse(run(1)), json::parse(R"([{"t":1,"file":"t1.jpg","text":"x"},
                                                   {"t":2,"file":"t2.jpg","text":"the largest"},
                                                   {"t":4,"file":"t4.jpg","text":"medium"},
                                                   {"t":5,"file":"t5.jpg","text":"tie-a"},
                                                   {"t":6,"file":"t6.jpg","text":"tie-b"}])"));
    EXPECT_EQ(recognizer.recognised, Names({"the largest", "medium", "tie-a", "tie-b", "x"}));
}

TEST_F(OcrFolder, ParallelRunGivesTheBytesOfAOneWorkerRun) {
    // Stills of varying recognition time, some unreadable, so workers finish out of order.
    for (int i = 0; i < 60; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "t%05d.jpg", i * 7 % 60);
        writeFile(folder.path() / name,
                  i % 9 == 4 ? "broken" : "image:line " + std::to_string(i) + "|more");
    }
    const std::string one = run(1);
    ASSERT_EQ(recognizer.loads.size(), 1u);
    for (unsigned workers : {2u, 4u, 16u}) EXPECT_EQ(run(workers), one) << workers << " workers";
    EXPECT_EQ(recognizer.overlappingUses, 0);

    const json document = json::parse(one);
    ASSERT_EQ(document.size(), 60u - 7u);
    for (std::size_t k = 1; k < document.size(); ++k)
        EXPECT_LT(document[k - 1]["t"].get<int>(), document[k]["t"].get<int>());
}

}  // namespace
}  // namespace hc::test
