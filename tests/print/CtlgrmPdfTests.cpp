// ctlgrm writing the printed listing of a generated folder as a PDF, read back with poppler:
// pages, paper, rows that keep the layout's pitch, text widths and names in every script.
#include "tests/print/FontReference.h"
#include "tests/print/PdfTools.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

namespace {

constexpr double kPointsPerUnit = 0.72; // a hundredth of an inch in points

class CtlgrmPdfTest : public testing::Test {
protected:
    void SetUp() override {
        if (!PdfToolsAvailable())
            GTEST_SKIP() << "poppler-utils not installed";
        for (int i = 0; i < 100; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "file%03d", i);
            dir.WriteFile(std::string("list/") + name,
                          std::string(static_cast<std::size_t>(i) * 37, 'x'));
        }
    }

    // Runs ctlgrm on the generated folder with a fresh profile; returns its exit status.
    int Run(std::vector<std::string> options, const std::string& pdf = "out.pdf",
            const std::string& folder = "list") {
        options.insert(options.begin(),
                       {CTLGRM_PATH, "--profile", Path("profile.ini"), "--sort", "name"});
        options.insert(options.end(), {"-o", Path(pdf), Path(folder)});
        last = RunToEnd(scratch.path(), options, EnvironmentWith({"SOURCE_DATE_EPOCH=1796663109"}));
        return last.status;
    }
    std::string Path(const std::string& name) const { return (dir.path() / name).string(); }

    // yMin of each word "fileNNN" on `page`, by name.
    std::map<std::string, PdfWord> Rows(int page) const {
        std::map<std::string, PdfWord> rows;
        for (const auto& word : PdfWords(Path("out.pdf")))
            if (word.page == page && word.text.rfind("file", 0) == 0)
                rows[word.text] = word;
        return rows;
    }
    static void ExpectPitch(const std::map<std::string, PdfWord>& rows, const std::string& from,
                            const std::string& to, int pitchUnits) {
        ASSERT_TRUE(rows.count(from) && rows.count(to)) << from << " " << to;
        const auto first = rows.find(from);
        const auto last = rows.find(to);
        const int steps = static_cast<int>(std::distance(first, last));
        for (auto it = first; it != last; ++it)
            EXPECT_NEAR(std::next(it)->second.yMin - it->second.yMin, pitchUnits * kPointsPerUnit,
                        0.05)
                << it->first;
        EXPECT_NEAR(last->second.yMin - first->second.yMin, steps * pitchUnits * kPointsPerUnit,
                    0.1);
    }

    TempDir dir;
    TempDir scratch;
    FinishedCommand last;
};

TEST_F(CtlgrmPdfTest, StandardLayoutOnLetterPaper) {
    ASSERT_EQ(Run({"--layout", "standard"}), 0);
    EXPECT_EQ(PdfInfoField(Path("out.pdf"), "Pages"), "2");
    EXPECT_EQ(PdfInfoField(Path("out.pdf"), "Page size"), "612 x 792 pts (letter)");
    const auto page1 = Rows(1);
    EXPECT_EQ(page1.size(), 70u);
    ExpectPitch(page1, "file000", "file069", 12);
    const auto page2 = Rows(2);
    EXPECT_EQ(page2.size(), 30u);
    ExpectPitch(page2, "file070", "file099", 12);
    // Page 2 starts its rows 104 hundredths higher than page 1 (64 against 168).
    EXPECT_NEAR(page1.at("file000").yMin - page2.at("file070").yMin, 104 * kPointsPerUnit, 0.1);
}

TEST_F(CtlgrmPdfTest, CDInsertFromTheProfileOnA4) {
    ASSERT_EQ(Run({"--paper", "a4"}), 0); // a fresh profile prints CD inserts
    EXPECT_EQ(PdfInfoField(Path("out.pdf"), "Pages"), "2");
    EXPECT_EQ(PdfInfoField(Path("out.pdf"), "Page size"), "595 x 842 pts (A4)");
    const auto sheet1 = Rows(1);
    ExpectPitch(sheet1, "file000", "file028", 14);
    ExpectPitch(sheet1, "file029", "file060", 14);
    // The lower panel's rows start at 542 against 95 on the upper one.
    EXPECT_NEAR(sheet1.at("file029").yMin - sheet1.at("file000").yMin, 447 * kPointsPerUnit, 0.1);
    EXPECT_EQ(Rows(2).size(), 100u - 61u);
}

TEST_F(CtlgrmPdfTest, TwoColumnZipInsertWithTheGivenTitle) {
    ASSERT_EQ(Run({"--layout", "zip", "--two-column", "--no-grid", "--title", "MY DISC|volume 1|"}),
              0);
    EXPECT_EQ(PdfInfoField(Path("out.pdf"), "Pages"), "2"); // panels of 40, 48 and 12 lines
    const auto sheet1 = Rows(1);
    ExpectPitch(sheet1, "file000", "file019", 14);
    ExpectPitch(sheet1, "file020", "file039", 14);
    // The second column starts 183 hundredths to the right, at the top of the first.
    EXPECT_NEAR(sheet1.at("file020").xMin - sheet1.at("file000").xMin, 183 * kPointsPerUnit, 0.1);
    EXPECT_NEAR(sheet1.at("file020").yMin, sheet1.at("file000").yMin, 0.05);
    const auto words = PdfWords(Path("out.pdf"));
    EXPECT_TRUE(std::any_of(words.begin(), words.end(),
                            [](const PdfWord& w) { return w.page == 1 && w.text == "DISC"; }));
}

// The title box holds what the Title dialog accepts: 19, 21 and 21 characters.
TEST_F(CtlgrmPdfTest, TitleLinesLongerThanTheBoxAreRefused) {
    EXPECT_EQ(Run({"--layout", "cd", "--title", "TWENTY CHARACTERS OK|x|"}), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("out.pdf")));
    EXPECT_NE(last.err.find("title line 1 has more than 19 characters"), std::string::npos)
        << last.err;
    EXPECT_EQ(Run({"--layout", "cd", "--title", "a|b|c|d"}), 1);
    EXPECT_EQ(Run({"--layout", "cd", "--title", "NINETEEN CHARACTERS|twenty-one characters|"}), 0);
}

// The summary's font is given an average character width of 5 hundredths of an inch: each of
// its words is 5 x (its advances) / (the face's weighted lower-case average) wide, by the
// advances in the font file itself.
TEST_F(CtlgrmPdfTest, SummaryTextHasTheWidthOfItsAverageCharacters) {
    if (!FontToolsAvailable())
        GTEST_SKIP() << "python3-fonttools or fontconfig not installed";
    const std::vector<std::string> texts = {"ATTRIBUTES:", "Subfolders:", "(kilobyte)"};
    for (const char* face : {"Arial", "Times New Roman", "Bookman Old Style"}) {
        ASSERT_EQ(Run({"--layout", "standard", "--set", "current Font=" + std::string(face)}), 0);
        const auto words = PdfWords(Path("out.pdf"));
        const FontFileWidths reference = ReadFontFileWidths(face, 100, texts);
        ASSERT_EQ(reference.widths.size(), texts.size()) << face;
        EXPECT_NE(EmbeddedFonts(Path("out.pdf")).find(reference.postScriptName + " "),
                  std::string::npos)
            << reference.postScriptName;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const auto word = std::find_if(words.begin(), words.end(),
                                           [&](const PdfWord& w) { return w.text == texts[i]; });
            ASSERT_NE(word, words.end()) << face << " " << texts[i];
            const double expected = 5 * reference.widths[i];
            EXPECT_NEAR((word->xMax - word->xMin) / kPointsPerUnit, expected, 0.001 * expected)
                << face << " " << texts[i];
        }
    }
}

// Names in Chinese, Japanese and Korean print with a font that has their glyphs, embedded in
// the PDF, and the text of the page gives them back. (Some ideographs come back as the Kangxi
// radicals of the same shape, which Unicode's compatibility normalisation maps back.)
TEST_F(CtlgrmPdfTest, NamesInChineseJapaneseAndKoreanPrintWithTheirGlyphs) {
    if (std::system("fc-list -q 'Noto Sans CJK JP' 2>/dev/null") != 0)
        GTEST_SKIP() << "fonts-noto-cjk not installed";
    const std::vector<std::string> names = {"中文名.txt", "日本語の名前.txt", "한국어이름.txt"};
    for (const std::string& name : names)
        dir.WriteFile("cjk/" + name, "");
    ASSERT_EQ(Run({"--layout", "standard"}, "out.pdf", "cjk"), 0);
    EXPECT_NE(EmbeddedFonts(Path("out.pdf")).find("CJK"), std::string::npos)
        << RunCommand({"pdffonts", Path("out.pdf")}).out;
    const QString text = QString::fromStdString(RunCommand({"pdftotext", Path("out.pdf"), "-"}).out)
                             .normalized(QString::NormalizationForm_KC);
    for (const std::string& name : names)
        EXPECT_TRUE(text.contains(QString::fromStdString(name))) << name << " not in\n"
                                                                 << text.toStdString();
}

// Names too wide for a two-column insert's column print as their short names: sixty names
// that differ only near their end give sixty different rows.
TEST_F(CtlgrmPdfTest, LongNamesPrintAsDistinctShortNames) {
    for (int i = 1; i <= 60; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "long/entry_with_a_really_much_longer_name_%04d.dat", i);
        dir.WriteFile(name, "");
    }
    ASSERT_EQ(Run({"--layout", "cd", "--two-column"}, "out.pdf", "long"), 0);
    std::multiset<std::string> rows;
    for (const auto& word : PdfWords(Path("out.pdf")))
        if (word.text.rfind("entry", 0) == 0)
            rows.insert(word.text);
    std::multiset<std::string> expected;
    for (int i = 1; i <= 60; ++i)
        expected.insert((i < 10 ? "entry_~" : "entry~") + std::to_string(i) + ".dat");
    EXPECT_EQ(rows, expected);
}

TEST_F(CtlgrmPdfTest, BadPaperIsAUsageError) {
    EXPECT_EQ(Run({"--paper", "legal"}), 2);
}

TEST_F(CtlgrmPdfTest, UnwritableFileFailsAndLeavesNoFile) {
    EXPECT_EQ(Run({}, "missing/out.pdf"), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("missing")));
}

} // namespace
