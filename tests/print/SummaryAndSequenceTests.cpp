// The summary block and what each page or sheet of a job carries.
#include "tests/print/PrinterFixture.h"

#include <algorithm>

namespace {

using Kind = CRecordingCanvas::Kind;

// The summary's texts are the only ones drawn in a thin font.
bool DrawsSummary(const CRecordingCanvas& canvas) {
    const auto texts = canvas.Texts();
    return std::any_of(texts.begin(), texts.end(),
                       [](const CRecordingCanvas::Call& call) { return call.font.weight == 100; });
}

class SummaryTest : public PrinterTest {
protected:
    SummaryTest() { options.m_bPrintTitle = 0; }
};

TEST_F(SummaryTest, OnlyOnTheFirstPageAndOnlyWhenAsked) {
    AddFiles(200);
    StartJob(kPrintStandard);
    Print(1);
    EXPECT_TRUE(DrawsSummary(canvas));
    Print(2);
    EXPECT_FALSE(DrawsSummary(canvas));
    StartJob(kPrintCD);
    Print(2);
    EXPECT_FALSE(DrawsSummary(canvas));
    options.m_bPrintSummary = 0;
    Print(1);
    EXPECT_FALSE(DrawsSummary(canvas));
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

// A job of one page or panel carries no page text: the Standard page's header is its only text
// with "page" in it.
TEST_F(SequenceTest, OnePanelJobsCarryNoPageText) {
    options.m_bPrintTitle = 0;
    options.m_bPrintSummary = 0;
    const struct {
        int printAs;
        bool twoColumn;
        int files;
    } onePanel[] = {
        {kPrintCD, false, 29}, {kPrintCD, true, 58}, {kPrintZip, false, 20}, {kPrintZip, true, 40}};
    for (const auto& c : onePanel) {
        doc.m_entryList.clear();
        AddFiles(c.files);
        ASSERT_EQ(StartJob(c.printAs, c.twoColumn), 1);
        Print(1);
        for (const auto& call : canvas.Texts())
            EXPECT_EQ(call.text.find("page"), std::string::npos)
                << call.text << " in a job of " << c.files << " files";
    }
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
