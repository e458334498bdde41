// The Go sequence: read the folder when needed, offer the comments, then save the listing
// file or size, confirm and run the print or preview job.
#include "form/CatalogriumView.h"

#include "engine/CatalogriumDoc.h"
#include "engine/OutputFile.h"
#include "engine/Prompter.h"
#include "engine/Text.h"
#include "form/PrintToFile.h"
#include "form/PrintedPages.h"
#include "form/ViewDialogs.h"
#include "print/PageDriver.h"

#include <QLineEdit>

namespace {

// The comments dialog lists at most this many entries.
constexpr std::size_t kMaxCommentedEntries = 64000;

} // namespace

void CCatalogriumView::OnGo() {
    m_listingPrinter.m_kept.m_bTitleComposed = false;
    RunJob(JobKind::Print);
}

void CCatalogriumView::OnFilePrint() {
    RunJob(JobKind::Print);
}

void CCatalogriumView::OnFilePrintPreview() {
    if (!CanPreview())
        return;
    m_listingPrinter.m_kept.m_bTitleComposed = false;
    RunJob(JobKind::Preview);
}

void CCatalogriumView::RunJob(JobKind kind) {
    if (!OnPreparePrinting(kind))
        return;
    if (kind == JobKind::Print)
        PrintPages();
    else
        PreviewPages();
    OnEndPrinting();
}

// The listing of the last Go is reused when the folder is the same, unless auto-refresh is on
// or the comments or the advanced options asked for a fresh reading. False ends the job.
bool CCatalogriumView::OnPreparePrinting(JobKind kind) {
    UpdateData(true);
    const bool reread =
        m_options.m_bAutoRefresh || m_strFolder != m_strLastFolder || m_strFolder.empty();
    if (reread && !ReadListing())
        return false;
    m_strLastFolder = m_strFolder;
    if (m_options.m_nPrintAs == kPrintToFile) {
        OnFileSaveAs();
        return false;
    }
    if (m_doc.m_entryList.empty() && !AskEmptyFolder())
        return false;
    // The job counts every entry and each comment line it carries, also on a reused listing
    // whose comments were written at an earlier Go.
    const int pageCount = m_listingPrinter.SizeJob(m_strFolder);
    if (!DoPreparePrinting(kind, pageCount)) {
        m_listingPrinter.EndJob();
        return false;
    }
    m_listingPrinter.BuildPageTable();
    return true;
}

void CCatalogriumView::OnEndPrinting() {
    m_listingPrinter.EndJob();
}

// The document is emptied first, so until a reading succeeds no folder's listing is there to
// reuse: going back to the last folder after a refused or unreadable one reads it again. A
// fresh reading gets a title of its own, whichever command started the job.
bool CCatalogriumView::ReadListing() {
    ForgetListing();
    m_listingPrinter.m_kept.m_bTitleComposed = false;
    if (!PrepareListing()) {
        SetMainTitle(QString::fromLatin1(kAppTitle));
        return false;
    }
    SetMainTitle(FolderWindowTitle(m_strFolder));
    OfferComments();
    emit listingRead();
    return true;
}

bool CCatalogriumView::PrepareListing() {
    UpdateData(true);
    if (!ReadFolder())
        return false;
    m_doc.SortEntries(m_options.m_bDescend != 0, m_options.m_nSortBy);
    return true;
}

// A recorded folder's path was checked when it was read from the disk.
bool CCatalogriumView::ReadFolder() {
    if (m_recorded)
        return m_recorded->read(m_doc, m_options.m_nFilesAndFolders);
    if (!m_doc.ValidateFolderName(m_strFolder)) {
        UpdateData(false);
        m_editFolder->setFocus();
        return false;
    }
    // The edit shows the path as the check left it.
    UpdateData(false);
    return m_doc.ScanFolder(m_strFolder, m_options.m_nFilesAndFolders);
}

// A comma-delimited file has no room for comments.
void CCatalogriumView::OfferComments() {
    const bool delimitedFile = m_options.m_bDelimited && m_options.m_nPrintAs == kPrintToFile;
    if (!m_options.m_bAddComments || delimitedFile || m_doc.m_entryList.empty())
        return;
    if (m_doc.m_entryList.size() > kMaxCommentedEntries) {
        m_prompter.Prompt("The Listing is to big to add Comments!", kAppTitle, MessageIcon::Warning,
                          MessageButtons::Ok);
        return;
    }
    m_dialogs.EditComments(m_doc.m_entryList);
}

bool CCatalogriumView::AskEmptyFolder() {
    return m_prompter.Prompt("Selected Folder is empty! \nDo you want to proceed anyway?",
                             "Catalogrium", MessageIcon::Question,
                             MessageButtons::YesNo) == MessageAnswer::Yes;
}

bool CCatalogriumView::DoPreparePrinting(JobKind kind, int pageCount) {
    return kind == JobKind::Preview || m_dialogs.AskPrint(m_printer, pageCount);
}

void CCatalogriumView::PrintPages() {
    const std::vector<int> pages =
        PrintedPages(m_printer, m_listingPrinter.CurrentJob().m_nPageCount);
    std::string failure;
    if (PrintsToFile(m_printer)) {
        if (const int error = PrintToFile(m_listingPrinter, m_printer, pages))
            failure = SaveFailureText(error, m_printer.outputFileName().toStdString());
    } else if (!RenderPages(m_listingPrinter, m_printer, pages)) {
        failure = "The listing could not be printed on " +
                  ReplaceControlChars(m_printer.printerName().toStdString()) + ".";
    }
    if (!failure.empty())
        m_prompter.Prompt(failure, kAppTitle, MessageIcon::Error, MessageButtons::Ok);
}

void CCatalogriumView::PreviewPages() {
    m_dialogs.ShowPreview(m_printer, [this](QPrinter& previewPrinter) {
        RenderPages(m_listingPrinter, previewPrinter, 1,
                    m_listingPrinter.CurrentJob().m_nPageCount);
    });
}
