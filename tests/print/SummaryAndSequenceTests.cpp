// The summary block and what each page or sheet of a job carries.
#include "tests/print/PrinterFixture.h"

namespace {

using Kind = CRecordingCanvas::Kind;

class SummaryTest : public PrinterTest {
protected:
    SummaryTest() {
        options.m_bPrintTitle = 0;
        doc.m_nTotalSize = 734003200;
        doc.m_nFiles = 1234;
        doc.m_nSubFolders = 56;
    }
    std::vector<std::tuple<int, int, std::string>> SummaryTexts(int fromX) const {
        std::vector<std::tuple<int, int, std::string>> texts;
        for (const auto& call : canvas.Texts())
            if (call.font.weight == 100 && call.x1 >= fromX)
                texts.emplace_back(call.x1, call.y1, call.text);
        return texts;
    }
};

TEST_F(SummaryTest, StandardBlockWithLegend) {
    StartJob(kPrintStandard);
    Print(1);
    using T = std::tuple<int, int, std::string>;
    EXPECT_EQ(
        SummaryTexts(0),
        (std::vector<T>{{445, 30, "Summary:"},
                        {445, 44, "Size (data only): ..."},
                        {445, 60, "         700.0 Mb"},
                        {445, 76, "Files:           1234"},
                        {445, 90, "Subfolders:        56"},
                        {390, 132, "kb (kilobyte) = 1024 bytes; Mb (megabyte) = 1048576 bytes"},
                        {640, 44, "ATTRIBUTES:"},
                        {640, 60, "A - ARCHIVE"},
                        {640, 76, "H - HIDDEN"},
                        {640, 90, "R - READ ONLY"},
                        {640, 108, "S - SYSTEM"}}));
    EXPECT_EQ(canvas.FindText("Summary:")->font, (CanvasFont{"Arial", 10, 5, 100}));
}

TEST_F(SummaryTest, CaseInsertBlockHasFiveLinesAndNoLegend) {
    doc.m_nFiles = 0;
    doc.m_nSubFolders = 0;
    StartJob(kPrintCD);
    Print(1);
    using T = std::tuple<int, int, std::string>;
    const std::vector<T> expected{{305, 30, "Summary:"},
                                  {305, 36, "Size (data only): ..."},
                                  {305, 44, "         700.0 Mb"},
                                  {305, 52, "Files:              0"},
                                  {305, 59, "Subfolders:         0"}};
    EXPECT_EQ(SummaryTexts(0), expected);
    EXPECT_EQ(canvas.FindText("Summary:")->font, (CanvasFont{"Arial", 7, 5, 100}));
    StartJob(kPrintZip);
    Print(1);
    EXPECT_EQ(SummaryTexts(0), expected);
    EXPECT_EQ(canvas.FindText("Summary:")->font, (CanvasFont{"Arial", 7, 3, 100}));
}

TEST_F(SummaryTest, OnlyOnTheFirstPageAndOnlyWhenAsked) {
    AddFiles(200);
    StartJob(kPrintStandard);
    Print(2);
    EXPECT_EQ(canvas.FindText("Summary:"), nullptr);
    StartJob(kPrintCD);
    Print(2);
    EXPECT_EQ(canvas.FindText("Summary:"), nullptr);
    options.m_bPrintSummary = 0;
    Print(1);
    EXPECT_TRUE(SummaryTexts(0).empty());
    EXPECT_EQ(canvas.FindText("ATTRIBUTES:"), nullptr);
}

class SequenceTest : public PrinterTest {};

TEST_F(SequenceTest, EmptyStandardListingPrintsTitleAndSummaryOnly) {
    EXPECT_EQ(StartJob(kPrintStandard), 1);
    Print(1);
    EXPECT_EQ(canvas.Of(Kind::RoundRect).size(), 2u);
    EXPECT_NE(canvas.FindText("Summary:"), nullptr);
    EXPECT_EQ(canvas.FindText(" Listing: page 1 of 1"), nullptr);
    EXPECT_EQ(canvas.FindText("Name"), nullptr);
    EXPECT_TRUE(canvas.Of(Kind::Line).empty());
}

TEST_F(SequenceTest, EmptyCaseInsertPrintsOneOutlineWithItsGrid) {
    EXPECT_EQ(StartJob(kPrintCD), 1);
    Print(1);
    EXPECT_EQ(canvas.Of(Kind::Line).size(), 4u + 30u + 1u);
    EXPECT_NE(canvas.FindText("Summary:"), nullptr);
    EXPECT_TRUE(RowsAt(30).empty());
}

TEST_F(SequenceTest, TitleOffLeavesTheTitleAreaEmptyAndHeadsLaterPagesWithThePath) {
    options.m_bPrintTitle = 0;
    options.m_bPrintSummary = 0;
    folder = "/home/user/Music";
    AddFiles(80);
    StartJob(kPrintStandard);
    Print(1);
    EXPECT_TRUE(canvas.Of(Kind::RoundRect).empty());
    Print(2);
    EXPECT_NE(canvas.FindText("/HOME/USER/MUSIC  page 2 of 2"), nullptr);
}

TEST_F(SequenceTest, StandardPagesAfterTheFirstCarryTheFullUpperCasePath) {
    folder = "/home/user/a rather long folder name";
    AddFiles(71);
    StartJob(kPrintStandard);
    Print(1);
    Print(2);
    EXPECT_NE(canvas.FindText("/HOME/USER/A RATHER LONG FOLDER NAME  page 2 of 2"), nullptr);
    EXPECT_EQ(canvas.Of(Kind::RoundRect).size(), 0u);
}

// The preview paints every page again when it prints or changes the page setup: page 1 must
// still carry the title the user confirmed, and so must the next Print command.
TEST_F(SequenceTest, StandardRepaintOfPageOneKeepsTheConfirmedTitle) {
    title.confirm = true;
    title.answer = {"MY LISTING", "", ""};
    AddFiles(71);
    StartJob(kPrintStandard);
    Print(1);
    Print(2);
    EXPECT_NE(canvas.FindText("/HOME/USER/MUSIC  page 2 of 2"), nullptr);
    Print(1);
    EXPECT_NE(canvas.FindText("MY LISTING"), nullptr);
    printer.EndJob();
    StartJob(kPrintStandard);
    Print(1);
    EXPECT_NE(canvas.FindText("MY LISTING"), nullptr);
    EXPECT_EQ(title.shown.size(), 1u);
}

TEST_F(SequenceTest, CaseInsertPagesKeepTheComposedTitle) {
    title.confirm = true;
    title.answer = {"MY CD", "", ""};
    AddFiles(62);
    StartJob(kPrintCD);
    Print(1);
    Print(2);
    EXPECT_NE(canvas.FindText("MY CD  page 3 of 3"), nullptr);
}

TEST_F(SequenceTest, CaseInsertWithoutTitleIsHeadedByItsOwnFolder) {
    title.confirm = true;
    title.answer = {"OLD DISC", "", ""};
    AddFiles(30);
    StartJob(kPrintCD);
    Print(1);
    printer.EndJob();

    options.m_bPrintTitle = 0;
    printer.m_kept.m_bTitleComposed = false;
    folder = "/media/user/holiday-photos-2026";
    StartJob(kPrintZip);
    Print(1);
    EXPECT_NE(canvas.FindText("/MEDIA/U...TOS-2026  page 2 of 2"), nullptr);
    EXPECT_EQ(printer.m_kept.m_title.m_strTitle1, "OLD DISC");
}

// The lower panel of sheet p is drawn only when the job has panel 2p.
TEST_F(SequenceTest, SecondPanelOfEachSheet) {
    options.m_bPrintTitle = 0;
    options.m_bPrintSummary = 0;
    struct Case {
        int printAs;
        bool twoColumn;
        int lines;
        int sheet;
        bool second;
    };
    const std::vector<Case> cases{
        {kPrintCD, false, 29, 1, false},  {kPrintCD, false, 30, 1, true},
        {kPrintCD, false, 93, 2, false},  {kPrintCD, false, 94, 2, true},
        {kPrintCD, false, 157, 3, false}, {kPrintCD, false, 158, 3, true},
        {kPrintCD, true, 58, 1, false},   {kPrintCD, true, 186, 2, false},
        {kPrintCD, true, 187, 2, true},   {kPrintCD, true, 314, 3, false},
        {kPrintZip, false, 20, 1, false}, {kPrintZip, false, 68, 2, false},
        {kPrintZip, false, 69, 2, true},  {kPrintZip, false, 116, 3, false},
        {kPrintZip, true, 40, 1, false},  {kPrintZip, true, 41, 1, true},
        {kPrintZip, true, 136, 2, false}, {kPrintZip, true, 137, 2, true},
        {kPrintZip, true, 232, 3, false}, {kPrintZip, true, 233, 3, true},
    };
    for (const auto& c : cases) {
        doc.m_entryList.clear();
        AddFiles(c.lines);
        StartJob(c.printAs, c.twoColumn);
        Print(c.sheet);
        bool lower = false;
        for (const auto& call : canvas.Of(Kind::Line))
            lower = lower || call.y1 > 500;
        EXPECT_EQ(lower, c.second) << c.printAs << (c.twoColumn ? " two-column " : " ") << c.lines
                                   << " lines, sheet " << c.sheet;
    }
}

TEST_F(SequenceTest, TwoColumnZipOfFortyLinesIsOnePanel) {
    AddFiles(40);
    EXPECT_EQ(StartJob(kPrintZip, true), 1);
    Print(1);
    EXPECT_EQ(canvas.FindText(" page 1 of 1"), nullptr);
}

// A page is drawn only between BuildPageTable and EndJob.
TEST_F(SequenceTest, PagesOutsideAPagedJobFailInDebugBuilds) {
    AddFiles(3);
    EXPECT_DEBUG_DEATH(Print(1), "OnPrint before SizeJob");
    printer.SizeJob(folder);
    EXPECT_DEBUG_DEATH(Print(1), "OnPrint before SizeJob");
    printer.BuildPageTable();
    Print(1);
    EXPECT_NE(canvas.FindText(" file0"), nullptr);
    printer.EndJob();
    EXPECT_DEBUG_DEATH(Print(1), "OnPrint before SizeJob");
    EXPECT_DEBUG_DEATH(printer.BuildPageTable(), "BuildPageTable before SizeJob");
}

} // namespace
