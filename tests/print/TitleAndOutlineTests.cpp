// The title block (composition once per job, the lines it proposes, drawing failures) and the
// case-insert outline without its pen. Where each is drawn in each layout is in the golden pages
// of PrintedPagesTests.cpp.
#include "tests/print/PrinterFixture.h"

namespace {

using Kind = CRecordingCanvas::Kind;

class TitleBlockTest : public PrinterTest {
protected:
    TitleBlockTest() {
        options.m_bPrintSummary = 0;
        title.confirm = true;
        title.answer = {"LINE ONE", "LINE TWO", "LINE THREE"};
        AddFiles(3);
    }
};

TEST_F(TitleBlockTest, ProposesPathAndDateAndKeepsThemWhenCancelled) {
    title.confirm = false;
    StartJob(kPrintCD);
    Print(1);
    ASSERT_EQ(title.shown.size(), 1u);
    const TitleLines proposed{"/HOME/USER/MUSIC", " 12/07/26 17:05:09", ""};
    EXPECT_EQ(title.shown[0], proposed);
    EXPECT_NE(canvas.FindText("/HOME/USER/MUSIC"), nullptr);
    EXPECT_NE(canvas.FindText(" 12/07/26 17:05:09"), nullptr);
}

TEST_F(TitleBlockTest, LongPathsKeepEightCharactersAtEachEnd) {
    title.confirm = false;
    const std::vector<std::pair<std::string, std::string>> cases{
        {"/home/user/music/ab", "/HOME/USER/MUSIC/AB"},
        {"/home/user/music/abc", "/HOME/US...USIC/ABC"},
        {"/srv/übersicht/äpfe", "/SRV/ÜBERSICHT/ÄPFE"},
        {"/srv/übersicht/äpfel", "/SRV/ÜBE...HT/ÄPFEL"},
    };
    for (const auto& [path, expected] : cases) {
        folder = path;
        printer.m_kept.m_bTitleComposed = false;
        StartJob(kPrintCD);
        Print(1);
        printer.EndJob();
        EXPECT_NE(canvas.FindText(expected), nullptr) << path;
    }
}

// A preview painting page 1 again draws the lines kept for the job. (That the Print command
// keeps them and Go composes them afresh is checked where the user starts them: GoTests'
// TitleIsComposedOncePerGoAndKeptByThePrintCommand and SecondJobTest.)
TEST_F(TitleBlockTest, ComposedOncePerJob) {
    StartJob(kPrintCD);
    Print(1);
    printer.m_kept.m_title.m_strTitle1 = "CHANGED";
    Print(1); // a preview showing page 1 again
    EXPECT_EQ(title.shown.size(), 1u);
    EXPECT_NE(canvas.FindText("CHANGED"), nullptr);
}

TEST_F(TitleBlockTest, NotFromPathDrawsNothingOnItsFirstCall) {
    StartJob(kPrintCD);
    printer.m_kept.m_bTitleFromPath = false;
    Print(1);
    EXPECT_TRUE(printer.m_kept.m_bTitleComposed);
    EXPECT_TRUE(canvas.Of(Kind::RoundRect).empty());
    EXPECT_TRUE(title.shown.empty());
}

TEST_F(TitleBlockTest, PenOrShadowBrushFailureLeavesOutTheWholeBlock) {
    StartJob(kPrintCD);
    canvas.failPens = true;
    printer.DrawTitleBlock(canvas);
    EXPECT_TRUE(canvas.calls.empty());

    canvas = CRecordingCanvas();
    canvas.failBrush = true;
    canvas.failingBrush = {140, 140, 140};
    printer.DrawTitleBlock(canvas);
    EXPECT_TRUE(canvas.calls.empty());
}

TEST_F(TitleBlockTest, WhiteBrushFailureLeavesTheShadowAlone) {
    StartJob(kPrintCD);
    canvas.failBrush = true;
    canvas.failingBrush = kWhite;
    printer.DrawTitleBlock(canvas);
    ASSERT_EQ(canvas.calls.size(), 1u);
    EXPECT_EQ(canvas.calls[0].kind, Kind::RoundRect);
}

TEST_F(TitleBlockTest, FontFailureFallsBackToTheDeviceFont) {
    StartJob(kPrintCD);
    canvas.failFonts = true;
    printer.DrawTitleBlock(canvas);
    const auto* line1 = canvas.FindText("LINE ONE");
    ASSERT_NE(line1, nullptr);
    EXPECT_EQ(line1->font, CanvasFont{});
}

TEST_F(TitleBlockTest, DrawingLeavesTheSelectionAsItFoundIt) {
    StartJob(kPrintCD);
    canvas.current.pen = {3, {1, 2, 3}};
    printer.DrawTitleBlock(canvas);
    printer.DrawInsertOutline(canvas, true, false);
    printer.DrawSummary(canvas);
    printer.DrawListingPanel(canvas, 1, false);
    EXPECT_EQ(canvas.saveDepth, 0);
    EXPECT_EQ(canvas.current.pen, (CanvasPen{3, {1, 2, 3}}));
    EXPECT_EQ(canvas.current.brush, kWhite);
    EXPECT_EQ(canvas.current.font, CanvasFont{});
}

class OutlineTest : public PrinterTest {
protected:
    OutlineTest() {
        options.m_bPrintTitle = 0;
        options.m_bPrintSummary = 0;
    }
};

TEST_F(OutlineTest, PenFailureLeavesOutOutlineAndGrid) {
    StartJob(kPrintCD);
    canvas.failPens = true;
    printer.DrawInsertOutline(canvas, true, false);
    EXPECT_TRUE(canvas.calls.empty());
}

} // namespace
