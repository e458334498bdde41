// The listing rows of Standard pages and case-insert panels: headings, line numbers, prefixes,
// names, sizes, the two columns and comment lines carried from one span to the next. Where the
// rows of each layout are drawn is in the golden pages of PrintedPagesTests.cpp.
#include "tests/print/PrinterFixture.h"

namespace {

class RowsTest : public PrinterTest {
protected:
    RowsTest() {
        options.m_bPrintTitle = 0;
        options.m_bPrintSummary = 0;
    }
    const CRecordingCanvas::Call& Text(const std::string& text) const {
        const auto* call = canvas.FindText(text);
        if (!call)
            throw std::runtime_error("not drawn: " + text);
        return *call;
    }
    std::pair<int, int> At(const std::string& text) const {
        const auto& call = Text(text);
        return {call.x1, call.y1};
    }
};

TEST_F(RowsTest, StandardHeadingsStayWhenColumnsAreOff) {
    options.m_bAddSize = 0;
    Add("a");
    StartJob(kPrintStandard);
    Print(1);
    EXPECT_EQ(TextsAt(640), std::vector<std::string>{"Last Date Modified"});
    EXPECT_EQ(TextsAt(605), std::vector<std::string>{});
    EXPECT_NE(canvas.FindText("Size "), nullptr);
    EXPECT_EQ(canvas.Texts().size(), 6u); // header, four headings, one row
}

TEST_F(RowsTest, LineNumbersKeepTheirPlacesThenWiden) {
    AddFiles(1000);
    StartJob(kPrintStandard);
    Print(13); // entries 951 to 1000
    EXPECT_EQ(TextsAt(30).back(), "  1000.  file999");
    options.m_bNumberCDLines = 1;
    StartJob(kPrintCD);
    Print(1);
    EXPECT_EQ(TextsAt(30).front(), "  1.  file0");
    Print(16); // panels 31 and 32
    EXPECT_EQ(TextsAt(30).back(), "1000.  file999");
}

TEST_F(RowsTest, CaseInsertsNumberOnlyWithTheirOwnOption) {
    options.m_bNumberStdLines = 1;
    options.m_bNumberCDLines = 0;
    Add("song.mp3");
    Add("Albums", 0, true);
    StartJob(kPrintZip);
    Print(1);
    EXPECT_EQ(TextsAt(30), (std::vector<std::string>{" song.mp3", "[Albums]"}));
}

TEST_F(RowsTest, WideNamesArePrintedAsTheirShortNames) {
    // Prefix "     1. " and a blank, 5 units a character: wider than 478 from 87 characters.
    Add(std::string(86, 'a'));
    Add(std::string(87, 'b')).m_strShortName = std::string(120, 'B');
    Add(std::string(86, 'c'), 0, true); // the closing bracket counts too
    StartJob(kPrintStandard);
    Print(1);
    const auto rows = TextsAt(30);
    EXPECT_EQ(rows[0], "     1.  " + std::string(86, 'a'));
    EXPECT_EQ(rows[1], "     2.  " + std::string(120, 'B'));
    EXPECT_EQ(rows[2], "     3. [" + std::string(11, 'c') + "]");
}

TEST_F(RowsTest, ControlCharactersInNamesPrintAsQuestionMarks) {
    Add("two\nlines\t.txt");
    StartJob(kPrintCD);
    Print(1);
    EXPECT_EQ(TextsAt(30), std::vector<std::string>{" two?lines?.txt"});
}

TEST_F(RowsTest, TwoColumnSizeIsLeftOutWhenItDoesNotFit) {
    // 6 units a character: row text plus "2.0 Kb" must stay within 182 + 30.
    Add(std::string(28, 'a'), 2048);
    Add(std::string(29, 'b'), 2048);
    for (int i = 0; i < 27; ++i)
        Add("x", 2048);
    Add(std::string(28, 'c'), 2048); // row 30: the second column
    StartJob(kPrintCD, true);
    Print(1);
    std::vector<std::pair<int, int>> sizes;
    for (const auto& call : canvas.Texts())
        if (call.text == "2.0 Kb")
            sizes.emplace_back(call.x1, call.y1);
    ASSERT_EQ(sizes.size(), 29u);
    EXPECT_EQ(sizes.front(), std::pair(256 - 36, 95));
    EXPECT_EQ(sizes[1].second, 95 + 2 * 14); // row 2 has none
    EXPECT_EQ(sizes.back(), std::pair(240 + 256 - 36, 95));
}

TEST_F(RowsTest, TwoColumnSizesAreNeverInBytes) {
    options.m_bSizeInBytes = 1;
    Add("a", 5000000000ULL);
    StartJob(kPrintZip, true);
    Print(1);
    EXPECT_NE(canvas.FindText("4.6 Gb"), nullptr);
    EXPECT_EQ(options.m_bSizeInBytes, 1);
}

TEST_F(RowsTest, ListingFontFailureSwitchesBytesOffForGood) {
    options.m_bSizeInBytes = 1;
    Add("a", 1024);
    StartJob(kPrintStandard);
    canvas.failFonts = true;
    printer.DrawListingPanel(canvas, 1, false);
    EXPECT_EQ(options.m_bSizeInBytes, 0);
    EXPECT_EQ(canvas.FindText("     1.  a")->font, CanvasFont{});
    EXPECT_NE(canvas.FindText("           1.0 Kb"), nullptr);
}

TEST_F(RowsTest, SpanOutsideThePageTableDrawsNothing) {
    Add("a");
    StartJob(kPrintStandard);
    EXPECT_FALSE(printer.DrawListingPanel(canvas, 2, false));
    EXPECT_TRUE(canvas.calls.empty());
}

class CommentRowsTest : public RowsTest {
protected:
    CommentRowsTest() { options.m_bAddComments = 1; }
};

TEST_F(CommentRowsTest, CommentsFollowTheirEntry) {
    auto& entry = Add("a");
    entry.m_comments.m_strComment1 = "one";
    entry.m_comments.m_strComment3 = "three";
    Add("b");
    StartJob(kPrintCD);
    Print(1);
    EXPECT_EQ(At("one"), std::pair(40, 109));
    EXPECT_EQ(At("three"), std::pair(40, 123));
    EXPECT_EQ(At(" b"), std::pair(30, 137));
}

TEST_F(CommentRowsTest, FirstCommentOfTheLastRowContinuesOnTheNextPage) {
    AddFiles(100);
    doc.m_entryList[69]->m_comments.m_strComment1 = "carried";
    StartJob(kPrintStandard);
    Print(1);
    EXPECT_EQ(TextsAt(30).back(), "    70.  file69");
    EXPECT_TRUE(TextsAt(80).empty());
    Print(2);
    EXPECT_EQ(At("carried"), std::pair(80, 64));
    EXPECT_EQ(At("    71.  file70"), std::pair(30, 76));
}

TEST_F(CommentRowsTest, SecondCommentOverflowSplitsTheEntrysComments) {
    AddFiles(100);
    doc.m_entryList[68]->m_comments.m_strComment1 = "first";
    doc.m_entryList[68]->m_comments.m_strComment2 = "second";
    doc.m_entryList[68]->m_comments.m_strComment3 = "third";
    StartJob(kPrintStandard);
    Print(1);
    EXPECT_EQ(At("    69.  file68"), std::pair(30, 168 + 68 * 12));
    EXPECT_EQ(At("first"), std::pair(80, 168 + 69 * 12));
    EXPECT_EQ(TextsAt(80).size(), 1u);
    Print(2);
    EXPECT_EQ(TextsAt(80), (std::vector<std::string>{"second", "third"}));
    EXPECT_EQ(RowsAt(80), (std::vector<int>{64, 76}));
    EXPECT_EQ(At("    70.  file69"), std::pair(30, 88));
}

TEST_F(CommentRowsTest, ThirdCommentAloneContinuesOnTheNextPanel) {
    AddFiles(40);
    doc.m_entryList[27]->m_comments.m_strComment1 = "stays";
    doc.m_entryList[27]->m_comments.m_strComment3 = "moves";
    StartJob(kPrintCD);
    Print(1);
    EXPECT_EQ(At("stays"), std::pair(40, 95 + 28 * 14));
    EXPECT_EQ(At("moves"), std::pair(40, 542));
    EXPECT_EQ(At(" file28"), std::pair(30, 556));
}

TEST_F(CommentRowsTest, CarriedCommentsCountAsRowsOfTheFirstColumn) {
    // Panel 1 of a two-column CD insert: 57 rows, then an entry whose comments run over.
    AddFiles(120);
    doc.m_entryList[57]->m_comments.m_strComment2 = "second";
    doc.m_entryList[57]->m_comments.m_strComment3 = "third";
    StartJob(kPrintCD, true);
    Print(1);
    EXPECT_EQ(At("second"), std::pair(40, 542));
    EXPECT_EQ(At("third"), std::pair(40, 556));
    // 32 rows a column on panel 2: the two comments and 30 entries fill column one.
    EXPECT_EQ(At(" file58"), std::pair(30, 570));
    EXPECT_EQ(At(" file87"), std::pair(30, 542 + 31 * 14));
    EXPECT_EQ(At(" file88"), std::pair(270, 542));
}

TEST_F(CommentRowsTest, CommentUnderTheLastRowOfColumnOneOpensColumnTwo) {
    AddFiles(40);
    doc.m_entryList[28]->m_comments.m_strComment1 = "crosses";
    StartJob(kPrintCD, true);
    Print(1);
    EXPECT_EQ(At(" file28"), std::pair(30, 95 + 28 * 14));
    EXPECT_EQ(At("crosses"), std::pair(280, 95));
    EXPECT_EQ(At(" file29"), std::pair(270, 109));
}

TEST_F(CommentRowsTest, CommentsOffHidesCommentsTheEntriesHold) {
    options.m_bAddComments = 0;
    Add("a").m_comments.m_strComment1 = "hidden";
    StartJob(kPrintStandard);
    Print(1);
    EXPECT_EQ(canvas.FindText("hidden"), nullptr);
}

TEST_F(CommentRowsTest, ShortLineCountStillPrintsEveryEntry) {
    // The comment carried from page 1 takes three lines of page 2, so 149 entries and one
    // comment (150 lines) need a third page.
    AddFiles(149);
    doc.m_entryList[69]->m_comments.m_strComment1 = "note";
    EXPECT_EQ(StartJob(kPrintStandard), 3);
    Print(3);
    EXPECT_EQ(TextsAt(30), (std::vector<std::string>{"   148.  file147", "   149.  file148"}));
    EXPECT_NE(canvas.FindText("/HOME/USER/MUSIC  page 3 of 3"), nullptr);
}

} // namespace
