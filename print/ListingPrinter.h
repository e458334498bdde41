#pragma once

#include "engine/FolderEntry.h"
#include "engine/TitlePrompter.h"
#include "print/Canvas.h"
#include "print/Pagination.h"

#include <string>
#include <vector>

class CCatalogriumDoc;
struct ListingOptions;

// Draws the printed listing of a document, one page (Standard) or sheet (case inserts) per
// OnPrint call, for print, preview and PDF alike.
//
// The form view owns one printer for the life of the window; ctlgrm makes one for each PDF.
// A job runs SizeJob (before the print dialog), BuildPageTable (after it), OnPrint for each
// page shown, then EndJob (also when the dialog is cancelled); a call out of that order fails
// an assertion in debug builds.
class CListingPrinter {
public:
    // Lent by the caller when the printer is made; each must outlive the printer. The options
    // are written once: a listing font that cannot be created switches "Add Size in Bytes" off
    // for good. "Now" of the title's date line is the document's clock.
    struct Lent {
        const CCatalogriumDoc* m_pListingDoc;
        const EntryList* m_pEntryList;
        ListingOptions* m_pOptions;
        ITitlePrompter* m_pTitlePrompter;
    };
    // Kept from one job to the next. Go and Preview clear m_bTitleComposed so that their job
    // composes the title again; the Print command keeps the lines of the last job.
    struct Kept {
        TitleLines m_title;
        bool m_bTitleComposed = false;
        bool m_bTitleFromPath = true;
    };
    // Worked out by one job: SizeJob sets the folder and the counts, BuildPageTable the table,
    // EndJob frees it.
    struct Job {
        enum class Stage { None, Sized, Paged };
        Stage stage = Stage::None;
        std::string m_strFolder;
        int m_nTotalLines = 0;
        int m_nPanels = 0;
        int m_nPageCount = 1;
        std::vector<PageSpan> m_pageTable;
    };

    CListingPrinter(const CCatalogriumDoc& doc, ListingOptions& options,
                    ITitlePrompter& titlePrompter);

    // Starts a job of the lent listing headed by `folder`: its lines (every entry and, with
    // comments on, each comment line) and the pages and panels that placing them takes.
    // Returns the page count for the print dialog.
    int SizeJob(const std::string& folder);
    // Fills the page table for the counts of SizeJob.
    void BuildPageTable();
    // The next job composes its title from the folder path; the page table is freed.
    void EndJob();
    const Job& CurrentJob() const { return m_job; }

    // Draws page `page` (1-based) of a job whose page table is built: the title block, the
    // summary, the insert outlines and the listing rows that belong on it.
    void OnPrint(ICanvas& canvas, int page);

    // Composes the title lines once per job (asking the prompter), then draws the title box.
    void DrawTitleBlock(ICanvas& canvas);
    // One insert outline with its grid, for the upper or the lower panel of a sheet.
    void DrawInsertOutline(ICanvas& canvas, bool bFirstPanelOfJob, bool bSecondPanel);
    // The header and rows of Standard page `page`, or of the upper or lower panel of sheet
    // `page`.
    bool DrawListingPanel(ICanvas& canvas, int page, bool bSecondPanel);
    // The totals of the document, and on the Standard page the legend.
    void DrawSummary(ICanvas& canvas);

    // Whether sheet `page` of a case-insert job carries a second panel.
    bool HasSecondPanel(int page) const;

    Kept m_kept;

private:
    struct PanelState;

    // The folder path as title line 1: upper case, 8 characters of each end when it is long.
    std::string PathTitleLine() const;
    void ComposeTitle();
    void DrawTitleBox(ICanvas& canvas);
    void SelectFontOrDefault(ICanvas& canvas, int height, int averageWidth, int weight);
    void DrawText(ICanvas& canvas, int x, int y, const std::string& text);
    int TextWidth(ICanvas& canvas, const std::string& text);
    void DrawPanelHeader(ICanvas& canvas, PanelState& state);
    void DrawCarriedComments(ICanvas& canvas, PanelState& state);
    void DrawEntry(ICanvas& canvas, PanelState& state, int index);
    void DrawEntryComments(ICanvas& canvas, PanelState& state, int index);
    void DrawEntrySize(ICanvas& canvas, const PanelState& state, const CFolderEntry& entry,
                       const std::string& rowText);
    void DrawEntryDetails(ICanvas& canvas, const PanelState& state, const CFolderEntry& entry);
    void AdvanceColumnRow(PanelState& state);
    void DrawCaseInsertSheet(ICanvas& canvas, int page);
    void DrawStandardPage(ICanvas& canvas, int page);
    SpanCapacity Capacity() const;
    int PrintAs() const;

    const Lent m_lent;
    Job m_job;
};
