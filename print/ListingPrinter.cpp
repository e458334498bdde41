#include "ListingPrinter.h"

#include "engine/CatalogriumDoc.h"
#include "engine/Format.h"
#include "engine/ListingOptions.h"
#include "engine/Text.h"
#include "engine/TitlePrompter.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

namespace {

// Positions and sizes of one layout, in hundredths of an inch.
struct LayoutGeometry {
    int titleScale = 0;      // the Standard title box is drawn at twice the inserts' scale
    int titleExtraWidth = 0; // extra width of the Standard title box
    int titleFontHeight = 0;
    int outlineEdge = 0; // the insert outline runs from (25, 25) to this corner; 0 for none
    int gridRulesFirstPanel = 0;
    int gridRulesLaterPanel = 0;
    int columnRuleOffset = 0;          // from the outline edge minus 110, one-column mode
    int columnRuleOffsetTwoColumn = 0; // the same in two-column mode
    int listingFontHeight = 0;
    int rowPitch = 0;
    int nameWidth = 0;
    int commentX = 0;
    int sizeRightEdge = 0;
    int sizeFieldWidth = 0;
    int firstRowY = 0;      // of the first page or panel
    int laterFirstRowY = 0; // of later pages or panels, below the panel offset
    int numberWidth = 0;    // the line number's, before ". "
    int firstPanelHeaderX = 0;
    int laterPanelHeaderX = 0;
    int secondColumnX = 0;
    int twoColumnSizeRight = 0;
    int twoColumnExtraRoom = 0;
    int summaryFontHeight = 0;
    int summaryFontWidth = 0;
    int summaryX = 0;
    int summaryScale = 0;
};

constexpr int kRowTextX = 30;
constexpr int kSecondPanelOffset = 500;
constexpr int kTwoColumnSizeField = 16;
constexpr int kSummarySizeField = 26;

constexpr LayoutGeometry kStandard{
    .titleScale = 2,
    .titleExtraWidth = 40,
    .titleFontHeight = 16,
    .listingFontHeight = 10,
    .rowPitch = 12,
    .nameWidth = 468,
    .commentX = 80,
    .sizeRightEdge = 565,
    .sizeFieldWidth = 25,
    .firstRowY = 168,
    .laterFirstRowY = 64,
    .numberWidth = 6,
    .summaryFontHeight = 10,
    .summaryFontWidth = 5,
    .summaryX = 445,
    .summaryScale = 2,
};
constexpr LayoutGeometry kCD{
    .titleScale = 1,
    .titleExtraWidth = 0,
    .titleFontHeight = 14,
    .outlineEdge = 500,
    .gridRulesFirstPanel = 30,
    .gridRulesLaterPanel = 32,
    .columnRuleOffset = 0,
    .columnRuleOffsetTwoColumn = -132,
    .listingFontHeight = 12,
    .rowPitch = 14,
    .nameWidth = 364,
    .commentX = 40,
    .sizeRightEdge = 494,
    .sizeFieldWidth = 16,
    .firstRowY = 95,
    .laterFirstRowY = 42,
    .numberWidth = 3,
    .firstPanelHeaderX = 120,
    .laterPanelHeaderX = 110,
    .secondColumnX = 240,
    .twoColumnSizeRight = 256,
    .twoColumnExtraRoom = 30,
    .summaryFontHeight = 7,
    .summaryFontWidth = 5,
    .summaryX = 305,
    .summaryScale = 1,
};
constexpr LayoutGeometry kZip{
    .titleScale = 1,
    .titleExtraWidth = 0,
    .titleFontHeight = 14,
    .outlineEdge = 380,
    .gridRulesFirstPanel = 20,
    .gridRulesLaterPanel = 24,
    .columnRuleOffset = 16,
    .columnRuleOffsetTwoColumn = -72,
    .listingFontHeight = 11,
    .rowPitch = 14,
    .nameWidth = 260,
    .commentX = 40,
    .sizeRightEdge = 374,
    .sizeFieldWidth = 16,
    .firstRowY = 96,
    .laterFirstRowY = 43,
    .numberWidth = 3,
    .firstPanelHeaderX = 100,
    .laterPanelHeaderX = 90,
    .secondColumnX = 183,
    .twoColumnSizeRight = 196,
    .twoColumnExtraRoom = 40,
    .summaryFontHeight = 7,
    .summaryFontWidth = 3,
    .summaryX = 305,
    .summaryScale = 1,
};

const LayoutGeometry& GeometryOf(int printAs) {
    if (printAs == kPrintCD)
        return kCD;
    if (printAs == kPrintZip)
        return kZip;
    return kStandard;
}

constexpr CanvasColour kShadowGrey{140, 140, 140};
constexpr CanvasColour kGridGrey{160, 160, 160};

std::string FormatLineNumber(int width, long number) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%*ld. ", width, number);
    return buffer;
}

std::string FormatCount(const char* label, long count) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%10ld", count);
    return label + std::string(buffer);
}

std::string PageText(const std::string& title, int page, int total) {
    return title + "  page " + std::to_string(page) + " of " + std::to_string(total);
}

} // namespace

// What one DrawListingPanel call works with.
struct CListingPrinter::PanelState {
    const LayoutGeometry& geometry;
    bool caseInsert;
    bool twoColumn;
    int columnDivisor; // 2 in two-column mode, else 1
    int number;        // page (Standard) or panel, from 1
    int total;         // pages (Standard) or panels
    int offset;        // 500 for the lower panel of a sheet
    PageSpan span;
    int carryKind;
    int y = 0;
    int columnTop = 0;
    int columnOffset = 0;
    int rows = 0;
    int columnRows = 0;
};

CListingPrinter::CListingPrinter(const CCatalogriumDoc& doc, ListingOptions& options,
                                 ITitlePrompter& titlePrompter)
    : m_lent{&doc, &doc.m_entryList, &options, &titlePrompter} {}

int CListingPrinter::PrintAs() const {
    return m_lent.m_pOptions->m_nPrintAs;
}

SpanCapacity CListingPrinter::Capacity() const {
    return LayoutCapacity(PrintAs(), m_lent.m_pOptions->m_bTwoColumn);
}

int CListingPrinter::SizeJob(const std::string& folder) {
    const bool addComments = m_lent.m_pOptions->m_bAddComments;
    m_job.m_strFolder = folder;
    m_job.m_nTotalLines = CountListingLines(*m_lent.m_pEntryList, addComments);
    m_job.m_pageTable.clear();
    const int spans = CountSpansToPlace(*m_lent.m_pEntryList, Capacity(), addComments);
    if (IsCaseInsertLayout(PrintAs()))
        m_job.m_nPanels = spans;
    m_job.m_nPageCount = PagesForSpans(spans, PrintAs());
    m_job.stage = Job::Stage::Sized;
    return m_job.m_nPageCount;
}

void CListingPrinter::BuildPageTable() {
    assert(m_job.stage == Job::Stage::Sized && "BuildPageTable before SizeJob");
    const int spans = IsCaseInsertLayout(PrintAs()) ? m_job.m_nPanels : m_job.m_nPageCount;
    m_job.m_pageTable = ::BuildPageTable(*m_lent.m_pEntryList, spans, Capacity(),
                                         m_lent.m_pOptions->m_bAddComments);
    m_job.stage = Job::Stage::Paged;
}

void CListingPrinter::EndJob() {
    m_kept.m_bTitleFromPath = true;
    m_job.stage = Job::Stage::None;
    m_job.m_pageTable.clear();
    m_job.m_pageTable.shrink_to_fit();
}

bool CListingPrinter::HasSecondPanel(int page) const {
    return 2 * page <= m_job.m_nPanels;
}

void CListingPrinter::OnPrint(ICanvas& canvas, int page) {
    assert(m_job.stage == Job::Stage::Paged && "OnPrint before SizeJob and BuildPageTable");
    if (IsCaseInsertLayout(PrintAs()))
        DrawCaseInsertSheet(canvas, page);
    else
        DrawStandardPage(canvas, page);
}

void CListingPrinter::DrawStandardPage(ICanvas& canvas, int page) {
    // Later pages are headed by the full path. It stands in for the title line only when the
    // job prints no title block: a composed line must survive page 2 for a repaint of page 1.
    if (!m_lent.m_pOptions->m_bPrintTitle)
        m_kept.m_title.m_strTitle1 = ToUpperCase(m_job.m_strFolder);
    else if (page == 1)
        DrawTitleBlock(canvas);
    m_kept.m_bTitleFromPath = false;
    if (m_lent.m_pOptions->m_bPrintSummary && page == 1)
        DrawSummary(canvas);
    if (m_job.m_nTotalLines > 0)
        DrawListingPanel(canvas, page, false);
}

void CListingPrinter::DrawCaseInsertSheet(ICanvas& canvas, int page) {
    if (m_lent.m_pOptions->m_bPrintTitle && page == 1)
        DrawTitleBlock(canvas);
    m_kept.m_bTitleFromPath = false;
    if (m_lent.m_pOptions->m_bPrintSummary && page == 1)
        DrawSummary(canvas);
    DrawInsertOutline(canvas, page == 1, false);
    if (m_job.m_nTotalLines == 0)
        return;
    DrawListingPanel(canvas, page, false);
    if (HasSecondPanel(page)) {
        DrawInsertOutline(canvas, false, true);
        DrawListingPanel(canvas, page, true);
    }
}

void CListingPrinter::DrawText(ICanvas& canvas, int x, int y, const std::string& text) {
    if (!text.empty())
        canvas.DrawText(x, y, ReplaceControlChars(text));
}

int CListingPrinter::TextWidth(ICanvas& canvas, const std::string& text) {
    return canvas.TextWidth(ReplaceControlChars(text));
}

void CListingPrinter::SelectFontOrDefault(ICanvas& canvas, int height, int averageWidth,
                                          int weight) {
    if (!canvas.SelectFont({m_lent.m_pOptions->m_strFontName, height, averageWidth, weight}))
        canvas.SelectDeviceDefaultFont();
}

// ---- Title block ----

std::string CListingPrinter::PathTitleLine() const {
    constexpr std::size_t kLongestPath = 19;
    constexpr std::size_t kPathEnds = 8;
    if (CountChars(m_job.m_strFolder) <= kLongestPath)
        return ToUpperCase(m_job.m_strFolder);
    return ToUpperCase(FirstChars(m_job.m_strFolder, kPathEnds) + "..." +
                       LastChars(m_job.m_strFolder, kPathEnds));
}

void CListingPrinter::ComposeTitle() {
    // Appending, not " " + text: GCC's -O3 warns of a false -Wrestrict on that form.
    m_kept.m_title = {PathTitleLine(),
                      std::string(" ").append(FormatLocalTime(m_lent.m_pListingDoc->Now())), ""};
    TitleLines lines = m_kept.m_title;
    if (m_lent.m_pTitlePrompter->EditTitle(lines))
        m_kept.m_title = lines;
}

void CListingPrinter::DrawTitleBlock(ICanvas& canvas) {
    if (!m_kept.m_bTitleComposed) {
        m_kept.m_bTitleComposed = true;
        if (!m_kept.m_bTitleFromPath)
            return;
        ComposeTitle();
    }
    DrawTitleBox(canvas);
}

void CListingPrinter::DrawTitleBox(ICanvas& canvas) {
    const LayoutGeometry& g = GeometryOf(PrintAs());
    const int s = g.titleScale;
    const int right = 32 * s + g.titleExtraWidth + 265;
    CanvasObjectsGuard guard(canvas);
    if (!canvas.SelectPen({s, kBlack}) || !canvas.SelectSolidBrush(kShadowGrey))
        return;
    canvas.DrawRoundRect(40 * s, 40, 40 * s + g.titleExtraWidth + 265, 31 * s + 40, 40 * s, 40);
    if (!canvas.SelectSolidBrush(kWhite))
        return;
    canvas.DrawRoundRect(32 * s, 32, right, 31 * s + 35, 40 * s, 40);

    SelectFontOrDefault(canvas, g.titleFontHeight, 0, 700);
    DrawText(canvas, 47 * s, 35, m_kept.m_title.m_strTitle1);
    SelectFontOrDefault(canvas, 8 * s, 6, 400);
    DrawText(canvas, 47 * s, 8 * (s + 5), m_kept.m_title.m_strTitle2);
    DrawText(canvas, 47 * s, 17 * s + 38, m_kept.m_title.m_strTitle3);
}

// ---- Insert outline ----

void CListingPrinter::DrawInsertOutline(ICanvas& canvas, bool bFirstPanelOfJob, bool bSecondPanel) {
    const LayoutGeometry& g = GeometryOf(PrintAs());
    const int edge = g.outlineEdge;
    const int v = bSecondPanel ? kSecondPanelOffset : 0;
    CanvasObjectsGuard guard(canvas);
    if (edge == 0 || !canvas.SelectPen({1, kGridGrey}))
        return;
    canvas.DrawLine(25, v + 25, edge, v + 25);
    canvas.DrawLine(edge, v + 25, edge, v + edge);
    canvas.DrawLine(edge, v + edge, 25, v + edge);
    canvas.DrawLine(25, v + edge, 25, v + 25);
    if (m_lent.m_pOptions->m_bNoGrid)
        return;
    // The first panel keeps a band below the title block for the title, summary and header.
    const int band = bFirstPanelOfJob ? 55 : 2;
    const int rules = bFirstPanelOfJob ? g.gridRulesFirstPanel : g.gridRulesLaterPanel;
    const int top = v + 39 + band;
    for (int j = 0; j < rules; ++j)
        canvas.DrawLine(25, top + 14 * j, edge, top + 14 * j);
    const int rule =
        edge - 110 +
        (m_lent.m_pOptions->m_bTwoColumn ? g.columnRuleOffsetTwoColumn : g.columnRuleOffset);
    canvas.DrawLine(rule, top, rule, v + edge);
}

// ---- Listing rows ----

bool CListingPrinter::DrawListingPanel(ICanvas& canvas, int page, bool bSecondPanel) {
    const LayoutGeometry& g = GeometryOf(PrintAs());
    const bool caseInsert = IsCaseInsertLayout(PrintAs());
    const int number = caseInsert ? 2 * page - (bSecondPanel ? 0 : 1) : page;
    if (number < 1 || number > static_cast<int>(m_job.m_pageTable.size()))
        return false;
    const auto index = static_cast<std::size_t>(number - 1);
    const bool twoColumn = caseInsert && m_lent.m_pOptions->m_bTwoColumn;
    PanelState state{g,
                     caseInsert,
                     twoColumn,
                     twoColumn ? 2 : 1,
                     number,
                     caseInsert ? m_job.m_nPanels : m_job.m_nPageCount,
                     bSecondPanel ? kSecondPanelOffset : 0,
                     m_job.m_pageTable[index],
                     index == 0 ? 0 : m_job.m_pageTable[index - 1].overflowKind};
    const SpanCapacity column = LayoutCapacity(PrintAs(), false);
    state.columnRows = number == 1 ? column.first : column.later;

    CanvasObjectsGuard guard(canvas);
    if (!canvas.SelectFont({m_lent.m_pOptions->m_strFontName, g.listingFontHeight, 0, 400})) {
        canvas.SelectDeviceDefaultFont();
        m_lent.m_pOptions->m_bSizeInBytes = 0;
    }
    DrawPanelHeader(canvas, state);
    DrawCarriedComments(canvas, state);
    // The table was built from this entry list; never read past its end.
    const int entries = static_cast<int>(m_lent.m_pEntryList->size());
    for (int i = state.span.first; i <= std::min(state.span.last, entries - 1); ++i)
        DrawEntry(canvas, state, i);
    return true;
}

void CListingPrinter::DrawPanelHeader(ICanvas& canvas, PanelState& state) {
    const LayoutGeometry& g = state.geometry;
    const bool first = state.number == 1;
    if (!state.caseInsert) {
        const int headingY = first ? 145 : 35;
        const int ruleY = first ? 160 : 50;
        if (first)
            DrawText(canvas, 50, 130, " Listing: page 1 of " + std::to_string(state.total));
        else
            DrawText(canvas, 40, 25,
                     PageText(ToUpperCase(m_job.m_strFolder), state.number, state.total));
        canvas.DrawLine(40, ruleY, 750, ruleY);
        DrawText(canvas, 100, headingY, "Name");
        DrawText(canvas, 530, headingY, "Size ");
        DrawText(canvas, 585, headingY, "Attribute");
        DrawText(canvas, 640, headingY, "Last Date Modified");
    } else if (first) {
        if (state.total > 1)
            DrawText(canvas, g.firstPanelHeaderX, 73, " page 1 of " + std::to_string(state.total));
    } else {
        // Without a title block the job composed no title line, and an earlier job's line
        // would name another folder.
        const std::string title =
            m_lent.m_pOptions->m_bPrintTitle ? m_kept.m_title.m_strTitle1 : PathTitleLine();
        DrawText(canvas, g.laterPanelHeaderX, state.offset + 28,
                 PageText(title, state.number, state.total));
    }
    state.y = first ? g.firstRowY : state.offset + g.laterFirstRowY;
    state.columnTop = state.y;
}

void CListingPrinter::DrawCarriedComments(ICanvas& canvas, PanelState& state) {
    const int previous = state.span.first - 1;
    if (!m_lent.m_pOptions->m_bAddComments || state.carryKind == 0 || previous < 0 ||
        previous >= static_cast<int>(m_lent.m_pEntryList->size()))
        return;
    const CFolderEntry& entry = *(*m_lent.m_pEntryList)[static_cast<std::size_t>(previous)];
    for (int j = state.carryKind; j <= 3; ++j) {
        const std::string& comment = entry.m_comments.Line(j);
        if (comment.empty())
            continue;
        DrawText(canvas, state.geometry.commentX, state.y, comment);
        state.y += state.geometry.rowPitch;
        if (state.twoColumn)
            AdvanceColumnRow(state);
    }
}

void CListingPrinter::DrawEntry(ICanvas& canvas, PanelState& state, int index) {
    const LayoutGeometry& g = state.geometry;
    const CFolderEntry& entry = *(*m_lent.m_pEntryList)[static_cast<std::size_t>(index)];
    const bool numbered = state.caseInsert ? m_lent.m_pOptions->m_bNumberCDLines
                                           : m_lent.m_pOptions->m_bNumberStdLines;
    std::string prefix = numbered ? FormatLineNumber(g.numberWidth, index + 1L) : std::string();
    prefix += entry.IsFolder() ? "[" : " ";
    const std::string close = entry.IsFolder() ? "]" : "";

    // A name too wide for its column is printed as its short name, uncut.
    const std::string& name =
        TextWidth(canvas, prefix + entry.m_strName + close) > g.nameWidth / state.columnDivisor + 10
            ? entry.m_strShortName
            : entry.m_strName;
    const std::string rowText = prefix + name + close;
    DrawText(canvas, state.columnOffset + kRowTextX, state.y, rowText);
    if (m_lent.m_pOptions->m_bAddSize)
        DrawEntrySize(canvas, state, entry, rowText);
    if (!state.caseInsert)
        DrawEntryDetails(canvas, state, entry);
    state.y += g.rowPitch;
    DrawEntryComments(canvas, state, index);
    if (state.twoColumn)
        AdvanceColumnRow(state);
}

void CListingPrinter::DrawEntrySize(ICanvas& canvas, const PanelState& state,
                                    const CFolderEntry& entry, const std::string& rowText) {
    const LayoutGeometry& g = state.geometry;
    std::string size;
    if (!state.twoColumn) {
        m_lent.m_pListingDoc->FormatSize(size, entry.m_nSize, g.sizeFieldWidth);
        DrawText(canvas, g.sizeRightEdge - TextWidth(canvas, size), state.y, size);
        return;
    }
    m_lent.m_pListingDoc->FormatSize(size, entry.m_nSize, kTwoColumnSizeField);
    size = TrimWhiteSpace(size);
    const int sizeWidth = TextWidth(canvas, size);
    // A size that does not fit beside its name is left out for that row.
    if (TextWidth(canvas, rowText) + sizeWidth >
        g.nameWidth / state.columnDivisor + g.twoColumnExtraRoom)
        return;
    DrawText(canvas, state.columnOffset + g.twoColumnSizeRight - sizeWidth, state.y, size);
}

void CListingPrinter::DrawEntryDetails(ICanvas& canvas, const PanelState& state,
                                       const CFolderEntry& entry) {
    if (m_lent.m_pOptions->m_bAddAttribute)
        DrawText(canvas, 605, state.y, FormatAttributes(entry.m_dwAttributes));
    if (m_lent.m_pOptions->m_bAddDate)
        DrawText(canvas, 640, state.y, FormatFileTime(entry.m_ftLastWrite));
}

void CListingPrinter::DrawEntryComments(ICanvas& canvas, PanelState& state, int index) {
    if (!m_lent.m_pOptions->m_bAddComments)
        return;
    const CFolderEntry& entry = *(*m_lent.m_pEntryList)[static_cast<std::size_t>(index)];
    const int kind = state.span.overflowKind;
    for (int j = 1; j <= 3; ++j) {
        const std::string& comment = entry.m_comments.Line(j);
        // Comments from the overflow kind on continue at the top of the next span.
        const bool carried = index == state.span.last && kind >= 1 && kind <= j;
        if (comment.empty() || carried)
            continue;
        if (state.twoColumn)
            AdvanceColumnRow(state);
        DrawText(canvas, state.columnOffset + state.geometry.commentX, state.y, comment);
        state.y += state.geometry.rowPitch;
    }
}

void CListingPrinter::AdvanceColumnRow(PanelState& state) {
    ++state.rows;
    if (state.rows == state.columnRows) {
        state.y = state.columnTop;
        state.columnOffset = state.geometry.secondColumnX;
    }
}

// ---- Summary ----

void CListingPrinter::DrawSummary(ICanvas& canvas) {
    const LayoutGeometry& g = GeometryOf(PrintAs());
    const int a = g.summaryScale;
    const int x = g.summaryX;
    CanvasObjectsGuard guard(canvas);
    SelectFontOrDefault(canvas, g.summaryFontHeight, g.summaryFontWidth, 100);
    std::string size;
    m_lent.m_pListingDoc->FormatSize(size, m_lent.m_pListingDoc->m_nTotalSize, kSummarySizeField);
    DrawText(canvas, x, 30, "Summary:");
    DrawText(canvas, x, 8 * a + 28, "Size (data only): ...");
    DrawText(canvas, x, 16 * a + 28, size);
    DrawText(canvas, x, 24 * a + 28, FormatCount("Files:     ", m_lent.m_pListingDoc->m_nFiles));
    DrawText(canvas, x, 31 * a + 28,
             FormatCount("Subfolders:", m_lent.m_pListingDoc->m_nSubFolders));
    if (IsCaseInsertLayout(PrintAs()))
        return;
    DrawText(canvas, 390, 52 * a + 28, "kb (kilobyte) = 1024 bytes; Mb (megabyte) = 1048576 bytes");
    DrawText(canvas, 640, 8 * a + 28, "ATTRIBUTES:");
    DrawText(canvas, 640, 16 * a + 28, "A - ARCHIVE");
    DrawText(canvas, 640, 24 * a + 28, "H - HIDDEN");
    DrawText(canvas, 640, 31 * a + 28, "R - READ ONLY");
    DrawText(canvas, 640, 40 * a + 28, "S - SYSTEM");
}
