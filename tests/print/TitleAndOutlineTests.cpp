// The title block (composition once per job, the box at both scales, drawing failures) and the
// case-insert outline with its grid.
#include "tests/print/PrinterFixture.h"

namespace {

using Kind = CRecordingCanvas::Kind;

struct Box {
    int left, top, right, bottom, ellipseWidth, ellipseHeight;
    bool operator==(const Box&) const = default;
};

Box BoxOf(const CRecordingCanvas::Call& call) {
    return {call.x1, call.y1, call.x2, call.y2, call.ellipseWidth, call.ellipseHeight};
}

struct Line {
    int x1, y1, x2, y2;
    bool operator==(const Line&) const = default;
};

std::vector<Line> LinesOf(const CRecordingCanvas& canvas) {
    std::vector<Line> lines;
    for (const auto& call : canvas.Of(Kind::Line))
        lines.push_back({call.x1, call.y1, call.x2, call.y2});
    return lines;
}

// The four sides and the grid of one outline, as they should be drawn.
std::vector<Line> ExpectedOutline(int edge, int v, int firstRule, int rules, int columnX) {
    std::vector<Line> lines{{25, v + 25, edge, v + 25},
                            {edge, v + 25, edge, v + edge},
                            {edge, v + edge, 25, v + edge},
                            {25, v + edge, 25, v + 25}};
    for (int j = 0; j < rules; ++j)
        lines.push_back({25, firstRule + 14 * j, edge, firstRule + 14 * j});
    if (rules > 0)
        lines.push_back({columnX, firstRule, columnX, v + edge});
    return lines;
}

std::vector<Line> Concat(std::vector<Line> a, const std::vector<Line>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class TitleBlockTest : public PrinterTest {
protected:
    TitleBlockTest() {
        options.m_bPrintSummary = 0;
        title.confirm = true;
        title.answer = {"LINE ONE", "LINE TWO", "LINE THREE"};
        AddFiles(3);
    }
};

TEST_F(TitleBlockTest, StandardBoxIsDrawnAtDoubleScale) {
    StartJob(kPrintStandard);
    Print(1);
    const auto boxes = canvas.Of(Kind::RoundRect);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(BoxOf(boxes[0]), (Box{80, 40, 385, 102, 80, 40}));
    EXPECT_EQ(boxes[0].brush, (CanvasColour{140, 140, 140}));
    EXPECT_EQ(boxes[0].pen, (CanvasPen{2, kBlack}));
    EXPECT_EQ(BoxOf(boxes[1]), (Box{64, 32, 369, 97, 80, 40}));
    EXPECT_EQ(boxes[1].brush, kWhite);

    const auto* line1 = canvas.FindText("LINE ONE");
    const auto* line2 = canvas.FindText("LINE TWO");
    const auto* line3 = canvas.FindText("LINE THREE");
    ASSERT_TRUE(line1 && line2 && line3);
    EXPECT_EQ(std::pair(line1->x1, line1->y1), std::pair(94, 35));
    EXPECT_EQ(line1->font, (CanvasFont{"Arial", 16, 0, 700}));
    EXPECT_EQ(std::pair(line2->x1, line2->y1), std::pair(94, 56));
    EXPECT_EQ(line2->font, (CanvasFont{"Arial", 16, 6, 400}));
    EXPECT_EQ(std::pair(line3->x1, line3->y1), std::pair(94, 72));
}

TEST_F(TitleBlockTest, CaseInsertBoxIsDrawnAtSingleScale) {
    options.m_strFontName = "Times New Roman";
    StartJob(kPrintZip);
    Print(1);
    const auto boxes = canvas.Of(Kind::RoundRect);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(BoxOf(boxes[0]), (Box{40, 40, 305, 71, 40, 40}));
    EXPECT_EQ(boxes[0].pen, (CanvasPen{1, kBlack}));
    EXPECT_EQ(BoxOf(boxes[1]), (Box{32, 32, 297, 66, 40, 40}));
    const auto* line1 = canvas.FindText("LINE ONE");
    const auto* line3 = canvas.FindText("LINE THREE");
    ASSERT_TRUE(line1 && line3);
    EXPECT_EQ(std::pair(line1->x1, line1->y1), std::pair(47, 35));
    EXPECT_EQ(line1->font, (CanvasFont{"Times New Roman", 14, 0, 700}));
    EXPECT_EQ(std::pair(canvas.FindText("LINE TWO")->y1, line3->y1), std::pair(48, 55));
    EXPECT_EQ(line3->font, (CanvasFont{"Times New Roman", 8, 6, 400}));
}

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

TEST_F(TitleBlockTest, ComposedOncePerJobAndAgainAfterGo) {
    StartJob(kPrintCD);
    Print(1);
    printer.m_kept.m_title.m_strTitle1 = "CHANGED";
    Print(1); // a preview showing page 1 again
    EXPECT_EQ(title.shown.size(), 1u);
    EXPECT_NE(canvas.FindText("CHANGED"), nullptr);

    printer.EndJob();
    StartJob(kPrintCD); // the Print command keeps the composed lines
    Print(1);
    EXPECT_EQ(title.shown.size(), 1u);

    printer.EndJob();
    printer.m_kept.m_bTitleComposed = false; // Go and Preview clear it
    StartJob(kPrintCD);
    Print(1);
    EXPECT_EQ(title.shown.size(), 2u);
    EXPECT_NE(canvas.FindText("LINE ONE"), nullptr);
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

TEST_F(OutlineTest, CDFirstAndSecondPanelGrids) {
    AddFiles(30);
    StartJob(kPrintCD);
    Print(1);
    const auto first = ExpectedOutline(500, 0, 94, 30, 390);
    EXPECT_EQ(first[33].y1, 500); // the last rule of the first panel is its bottom edge
    EXPECT_EQ(LinesOf(canvas), Concat(first, ExpectedOutline(500, 500, 541, 32, 390)));
    for (const auto& call : canvas.Of(Kind::Line))
        EXPECT_EQ(call.pen, (CanvasPen{1, {160, 160, 160}}));
}

TEST_F(OutlineTest, ZipFirstPanelGridEndsAboveTheBottomEdge) {
    AddFiles(5);
    StartJob(kPrintZip);
    Print(1);
    const auto expected = ExpectedOutline(380, 0, 94, 20, 286);
    EXPECT_EQ(expected[23].y1, 360);
    EXPECT_EQ(LinesOf(canvas), expected);
}

TEST_F(OutlineTest, LaterSheetsUseTheLaterGridOnBothPanels) {
    AddFiles(24 + 20 + 24 + 1);
    StartJob(kPrintZip);
    Print(2);
    EXPECT_EQ(LinesOf(canvas), Concat(ExpectedOutline(380, 0, 41, 24, 286),
                                      ExpectedOutline(380, 500, 541, 24, 286)));
}

TEST_F(OutlineTest, TwoColumnRuleSeparatesTheColumns) {
    AddFiles(1);
    StartJob(kPrintCD, true);
    Print(1);
    EXPECT_EQ(LinesOf(canvas).back(), (Line{258, 94, 258, 500}));
    StartJob(kPrintZip, true);
    Print(1);
    EXPECT_EQ(LinesOf(canvas).back(), (Line{198, 94, 198, 380}));
}

TEST_F(OutlineTest, NoGridKeepsTheOutlineSquares) {
    options.m_bNoGrid = 1;
    AddFiles(30);
    StartJob(kPrintCD);
    Print(1);
    EXPECT_EQ(LinesOf(canvas),
              Concat(ExpectedOutline(500, 0, 0, 0, 0), ExpectedOutline(500, 500, 0, 0, 0)));
}

TEST_F(OutlineTest, PenFailureLeavesOutOutlineAndGrid) {
    StartJob(kPrintCD);
    canvas.failPens = true;
    printer.DrawInsertOutline(canvas, true, false);
    EXPECT_TRUE(canvas.calls.empty());
}

TEST_F(OutlineTest, StandardPageHasNoOutline) {
    AddFiles(3);
    StartJob(kPrintStandard);
    Print(1);
    EXPECT_EQ(LinesOf(canvas), (std::vector<Line>{{40, 160, 750, 160}}));
    EXPECT_EQ(canvas.Of(Kind::Line)[0].pen, CanvasPen{}); // the canvas's default pen
}

} // namespace
