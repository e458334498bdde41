// Shows the real window on the X display of DISPLAY and saves screenshots of the whole screen
// (ImageMagick's import) into the folder given as the argument: the form in each layout, the
// preview of each printed layout, the form after a folder was dropped on it, the Find in
// Catalogue window, the Media dialog, a medium's window and the status bar during a long scan. Run
// by screenshots.sh under Xvfb.
#include "catalogue/Adding.h"
#include "form/CatalogriumView.h"
#include "form/FormTemplate.h"
#include "form/StandardViewDialogs.h"
#include "shell/CatalogriumApp.h"
#include "shell/CatalogueMenu.h"
#include "shell/FindCatalogueWindow.h"
#include "shell/MainFrame.h"
#include "shell/MediumWindow.h"
#include "tests/app/DropEvents.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace {

QString g_outputFolder;

void Capture(const QString& name) {
    QApplication::processEvents();
    QProcess::execute(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"),
                       g_outputFolder + QLatin1Char('/') + name + QStringLiteral(".png")});
    std::cout << name.toStdString() << ".png\n";
}

// The Command menu opened from the menu bar, with the mouse on its Preview item.
void CaptureCommandMenu(CMainFrame& frame, const QString& name) {
    QMenuBar* bar = frame.menuBar();
    QAction* command = bar->actions().constFirst();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(command).center());
    QTest::qWait(300);
    QMenu* menu = command->menu();
    QAction* preview = frame.findChild<QAction*>(QStringLiteral("actionPreview"));
    QTest::mouseMove(menu, menu->actionGeometry(preview).center());
    QTest::qWait(300);
    Capture(name);
    menu->close();
    QTest::qWait(200);
}

// The real preview and Title dialogs, photographed and closed; the other dialogs are answered
// at once.
class ScreenshotDialogs final : public IViewDialogs {
public:
    std::string BrowseForFolder() override { return {}; }
    bool EditAdvancedOptions(ListingOptions&) override { return false; }
    void EditComments(EntryList&) override {}
    // The real Title dialog, photographed over the preview that asked for it, then accepted.
    bool EditTitle(TitleLines& lines) override {
        QTimer::singleShot(1000, [] {
            Capture(QStringLiteral("title-dialog"));
            QApplication::activeModalWidget()->close();
        });
        return m_standard.EditTitle(lines);
    }
    std::optional<std::string> AskSaveFileName(const std::string&) override { return {}; }
    std::optional<std::string> AskOpenFileName() override { return {}; }
    void SetupPrinter(QPrinter&) override {}
    bool AskPrint(QPrinter&, int) override { return false; }
    void ShowPreview(QPrinter& printer, const std::function<void(QPrinter&)>& paint) override {
        QTimer::singleShot(1500, [this] {
            Capture(previewName);
            QApplication::activeModalWidget()->close();
        });
        m_standard.ShowPreview(printer, paint);
    }

    QString previewName;

private:
    CStandardViewDialogs m_standard;
};

void MakeSampleFolder(TempDir& dir) {
    dir.MakeDir("Photos");
    dir.WriteFile("Photos/holiday.jpg", std::string(734003, 'x'));
    dir.WriteFile("report.doc", std::string(13312, 'r'));
    dir.WriteFile("notes.txt", std::string(1234, 'n'));
    for (int i = 0; i < 40; ++i)
        dir.WriteFile("track" + std::to_string(i) + ".mp3", std::string(i * 100, 'm'));
}

// Enough below the folder for the scan to take a while.
void MakeLargeFolder(TempDir& dir) {
    MakeEmptyFiles(dir.path(), 20000, "file");
    for (int i = 0; i < 150; ++i)
        MakeEmptyFiles(dir.MakeDir("folder" + std::to_string(i)), 1000, "file");
}

// The Find in Catalogue window with the sample folder catalogued twice, after typing.
void CaptureFindInCatalogue(CMainFrame& frame, const TempDir& sample, const TempDir& data) {
    const std::string location = data.str() + "/catalogue.sqlite";
    setenv("CATALOGRIUM3_CATALOGUE", location.c_str(), 1);
    {
        const std::atomic<bool> stop = false;
        auto catalogue = OpenCatalogue(location);
        AddToCatalogue(*catalogue, "Sample", sample.str(), false, stop);
        AddToCatalogue(*catalogue, "Photos 2024", sample.str() + "/Photos", false, stop);
    }
    frame.findChild<QAction*>(QStringLiteral("actionFindInCatalogue"))->trigger();
    auto* window = frame.findChild<CFindCatalogueWindow*>();
    window->move(40, 40);
    QTest::qWait(300);
    QTest::keyClicks(window->findChild<QLineEdit*>(QStringLiteral("searchField")), "o",
                     Qt::NoModifier, 80);
    QTest::qWait(1000);
    Capture(QStringLiteral("find-in-catalogue"));
    window->close();
}

// The Media dialog over the same catalogue, as it opens.
void CaptureMedia(CMainFrame& frame) {
    QTimer::singleShot(800, [] {
        Capture(QStringLiteral("media"));
        QApplication::activeModalWidget()->close();
    });
    frame.findChild<QAction*>(QStringLiteral("actionMedia"))->trigger();
}

// The sample medium's window, its first folder below the listed one opened.
void CaptureMediumWindow(CCatalogueMenu& menu) {
    menu.OpenMedium("Sample");
    CMediumWindow* window = menu.MediumWindow("Sample");
    const auto settle = [window] {
        if (!QTest::qWaitFor([window] { return !window->Reading(); }))
            std::cerr << "the medium's window is still reading\n";
    };
    window->move(20, 20);
    settle();
    QTreeWidgetItem* root = window->Tree()->topLevelItem(0);
    root->setExpanded(true);
    if (root->childCount() > 0)
        window->OpenFolder(root->child(0)->data(0, Qt::UserRole).toLongLong());
    settle();
    QTest::qWait(300);
    Capture(QStringLiteral("medium-window"));
    window->close();
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::cerr << "usage: app_screenshots OUTPUT-FOLDER\n";
        return 2;
    }
    g_outputFolder = QString::fromLocal8Bit(argv[1]);
    TempDir config;
    setenv("XDG_CONFIG_HOME", config.str().c_str(), 1);
    TempDir sample;
    MakeSampleFolder(sample);

    CMessageBoxPrompter prompter;
    ScreenshotDialogs dialogs;
    CCatalogriumApp app(prompter, dialogs);
    app.InitInstance();
    CCatalogriumView* view = app.MainFrame()->View();
    QTest::qWait(500);
    view->findChild<QLineEdit*>(ControlName(IDC_FOLDER))
        ->setText(QString::fromStdString(sample.str()));

    const std::pair<int, const char*> layouts[] = {
        {IDC_STANDARD, "standard"}, {IDC_TO_FILE, "to-file"}, {IDC_CD, "cd"}, {IDC_ZIP, "zip"}};
    for (const auto& [id, name] : layouts) {
        QTest::mouseClick(view->findChild<QRadioButton*>(ControlName(id)), Qt::LeftButton);
        QTest::qWait(200);
        Capture(QStringLiteral("main-") + QLatin1String(name));
        if (id == IDC_TO_FILE || id == IDC_STANDARD)
            CaptureCommandMenu(*app.MainFrame(), QStringLiteral("menu-") + QLatin1String(name));
        if (id == IDC_TO_FILE)
            continue;
        dialogs.previewName = QStringLiteral("preview-") + QLatin1String(name);
        view->OnFilePrintPreview();
    }

    // A folder dropped on the folder edit from a file manager.
    QLineEdit* edit = view->findChild<QLineEdit*>(ControlName(IDC_FOLDER));
    edit->clear();
    const QString photos = QUrl::fromLocalFile(QString::fromStdString(sample.str() + "/Photos"))
                               .toString(QUrl::FullyEncoded);
    DragAndDrop(*app.MainFrame(), *DraggedItems({photos}),
                edit->mapTo(app.MainFrame(), edit->rect().center()));
    QTest::qWait(200);
    Capture(QStringLiteral("main-after-drop"));

    TempDir data;
    CaptureFindInCatalogue(*app.MainFrame(), sample, data);
    CaptureMedia(*app.MainFrame());
    CaptureMediumWindow(*app.CatalogueMenu());

    TempDir large;
    MakeLargeFolder(large);
    view->findChild<QLineEdit*>(ControlName(IDC_FOLDER))
        ->setText(QString::fromStdString(large.str()));
    QTimer::singleShot(100, [] { Capture(QStringLiteral("status-bar-during-scan")); });
    view->OnFilePrint();
    return 0;
}
