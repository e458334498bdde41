#pragma once

#include "engine/FolderEntry.h"
#include "engine/TitlePrompter.h"

#include <functional>
#include <optional>
#include <string>

struct ListingOptions;
class QPrinter;

// The modal dialogs that the form opens, behind one seam: the application runs the real
// dialogs, tests answer them without a modal loop. Each call runs its dialog to the end;
// dialogs work on copies and hand values back only when the user accepts.
class IViewDialogs : public ITitlePrompter {
public:
    // The folder picked in the folder browser; empty when none was chosen.
    virtual std::string BrowseForFolder() = 0;
    // Advanced options over the eleven advanced settings of `options`. On OK they are written
    // back (the font only when one is named) and the result is true; otherwise `options` is
    // left alone.
    virtual bool EditAdvancedOptions(ListingOptions& options) = 0;
    // The comments list over the entries of a fresh reading; the user may change the three
    // comment lines of any entry.
    virtual void EditComments(EntryList& entries) = 0;
    // Save As: the file to write, proposing `proposed`; nothing when cancelled. The dialog asks
    // before an existing file is replaced.
    virtual std::optional<std::string> AskSaveFileName(const std::string& proposed) = 0;
    // Open: the file chosen; nothing when cancelled.
    virtual std::optional<std::string> AskOpenFileName() = 0;
    // Print Setup on `printer`.
    virtual void SetupPrinter(QPrinter& printer) = 0;
    // The print dialog for a job of `pageCount` pages; true when the user prints, with the
    // printer, the range and the copies chosen in `printer`.
    virtual bool AskPrint(QPrinter& printer, int pageCount) = 0;
    // The preview of a job on `printer`; `paint` draws every page of the job on the preview's
    // printer, as often as the preview needs.
    virtual void ShowPreview(QPrinter& printer, const std::function<void(QPrinter&)>& paint) = 0;
};
