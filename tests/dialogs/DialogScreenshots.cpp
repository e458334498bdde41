// Grabs each dialog into a PNG for a look by eye:
//   Xvfb :99 & DISPLAY=:99 build/bin/dialog_screenshots OUTPUT_FOLDER
// (QT_QPA_PLATFORM=offscreen works too, without a window frame.)
#include "dialogs/AdvancedOptionsDlg.h"
#include "dialogs/BrowserDlg.h"
#include "dialogs/CommentDlgs.h"
#include "dialogs/TitleDlg.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>

namespace {

void Grab(QDialog& dialog, const QString& file) {
    dialog.show();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    if (!dialog.grab().save(file))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    dialog.hide();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());

    CAdvancedOptionsDlg options;
    options.m_strFontName = "Times New Roman";
    options.m_nSortBy = 2;
    options.m_nFilesAndFolders = 2;
    options.m_bNumberStdLines = 1;
    Grab(options, out.filePath("advanced-options.png"));

    CTitleDlg title;
    title.m_lines.m_strTitle1 = "/HOME/AN...OCUMENTS";
    title.m_lines.m_strTitle2 = " 12/08/26 07:30:00";
    Grab(title, out.filePath("title.png"));

    EntryList entries;
    for (const char* name : {"Documents", "holiday-photos-2026", "notes.txt", "report.pdf"}) {
        entries.push_back(std::make_unique<CFolderEntry>());
        entries.back()->m_strName = name;
    }
    CCommentListDlg list;
    list.m_pList = &entries;
    Grab(list, out.filePath("comment-list.png"));

    CCommentEditDlg editor;
    editor.m_comments.m_strComment1 = "Backup of 12/08";
    editor.m_comments.m_strComment2 = "second line";
    Grab(editor, out.filePath("comment-edit.png"));

    CBrowserDlg browser;
    Grab(browser, out.filePath("browser.png"));
    return 0;
}
