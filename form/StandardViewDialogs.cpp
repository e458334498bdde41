#include "StandardViewDialogs.h"

#include "dialogs/AdvancedOptionsDlg.h"
#include "dialogs/BrowserDlg.h"
#include "dialogs/CommentDlgs.h"
#include "dialogs/TitleDlg.h"
#include "engine/ListingOptions.h"

#include <QApplication>
#include <QFileDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QStyle>
#include <QToolBar>

namespace {

const QStringList kListingFileFilters{QStringLiteral("Folder Files (*.txt)"),
                                      QStringLiteral("All Files (*)")};

// Dialogs open over the main window.
QWidget* DialogParent() {
    return QApplication::activeWindow();
}

// Every command of the preview's tool bar shows at the preview's size, Print and the added
// Close last, with no overflow menu: the tool bar takes small icons.
void FitPreviewToolBar(QPrintPreviewDialog& preview) {
    auto* bar = preview.findChild<QToolBar*>();
    if (!bar)
        return;
    const int small = bar->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, bar);
    bar->setIconSize(QSize(small, small));
    QAction* close = bar->addAction(bar->style()->standardIcon(QStyle::SP_DialogCloseButton),
                                    QObject::tr("Close"));
    QObject::connect(close, &QAction::triggered, &preview, &QDialog::reject);
}

} // namespace

QSize PreviewWindowSize(int screenWidth) {
    return screenWidth >= 700 ? QSize(660, 470) : QSize(600, 400);
}

QPoint CentredPosition(const QRect& screen, const QSize& size) {
    return {screen.x() + (screen.width() - size.width()) / 2,
            screen.y() + (screen.height() - size.height()) / 2};
}

std::string CStandardViewDialogs::BrowseForFolder() {
    CBrowserDlg browser(DialogParent());
    browser.DoModal();
    return browser.m_strPath;
}

bool CStandardViewDialogs::EditAdvancedOptions(ListingOptions& options) {
    CAdvancedOptionsDlg dialog(DialogParent());
    dialog.CopyFromOptions(options);
    if (dialog.DoModal() != QDialog::Accepted)
        return false;
    dialog.CopyToOptions(options);
    return true;
}

void CStandardViewDialogs::EditComments(EntryList& entries) {
    CCommentListDlg dialog;
    dialog.m_pList = &entries;
    dialog.DoModal();
}

bool CStandardViewDialogs::EditTitle(TitleLines& lines) {
    return CTitleDialogPrompter(DialogParent()).EditTitle(lines);
}

std::optional<std::string> CStandardViewDialogs::AskSaveFileName(const std::string& proposed) {
    QFileDialog dialog(DialogParent(), QObject::tr("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(kListingFileFilters);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(QString::fromStdString(proposed));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

std::optional<std::string> CStandardViewDialogs::AskOpenFileName() {
    const QString file = QFileDialog::getOpenFileName(
        DialogParent(), QObject::tr("Open"), {}, kListingFileFilters.join(QStringLiteral(";;")));
    if (file.isEmpty())
        return std::nullopt;
    return file.toStdString();
}

void CStandardViewDialogs::SetupPrinter(QPrinter& printer) {
    QPageSetupDialog dialog(&printer, DialogParent());
    dialog.exec();
}

bool CStandardViewDialogs::AskPrint(QPrinter& printer, int pageCount) {
    QPrintDialog dialog(&printer, DialogParent());
    dialog.setMinMax(1, pageCount);
    dialog.setFromTo(1, pageCount);
    printer.setPrintRange(QPrinter::AllPages);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

// The preview is a window of its own, centred on the screen; the main window stays.
void CStandardViewDialogs::ShowPreview(QPrinter& printer,
                                       const std::function<void(QPrinter&)>& paint) {
    QPrintPreviewDialog preview(&printer, DialogParent());
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                     [&paint](QPrinter* previewPrinter) { paint(*previewPrinter); });
    FitPreviewToolBar(preview);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize size = PreviewWindowSize(screen.width());
    preview.resize(size);
    preview.move(CentredPosition(screen, size));
    preview.exec();
}
