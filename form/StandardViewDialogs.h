#pragma once

#include "form/ViewDialogs.h"

#include <QPoint>
#include <QRect>
#include <QSize>

// The real dialogs of the form: the folder browser, Advanced options, the comments list, the
// Title dialog, the file dialogs and the print, page setup and preview dialogs.
class CStandardViewDialogs final : public IViewDialogs {
public:
    std::string BrowseForFolder() override;
    bool EditAdvancedOptions(ListingOptions& options) override;
    void EditComments(EntryList& entries) override;
    bool EditTitle(TitleLines& lines) override;
    std::optional<std::string> AskSaveFileName(const std::string& proposed) override;
    std::optional<std::string> AskOpenFileName() override;
    void SetupPrinter(QPrinter& printer) override;
    bool AskPrint(QPrinter& printer, int pageCount) override;
    void ShowPreview(QPrinter& printer, const std::function<void(QPrinter&)>& paint) override;
};

// The preview window's size on a screen `screenWidth` pixels wide: 660 x 470, or 600 x 400 on a
// screen narrower than 700 pixels.
QSize PreviewWindowSize(int screenWidth);
// The top-left corner of a window of `size` centred on `screen` (halves rounded toward zero).
QPoint CentredPosition(const QRect& screen, const QSize& size);
