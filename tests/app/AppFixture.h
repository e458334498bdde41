#pragma once

#include "engine/CatalogriumDoc.h"
#include "engine/Profile.h"
#include "form/CatalogriumView.h"
#include "form/FormTemplate.h"
#include "form/ViewDialogs.h"
#include "shell/CatalogriumApp.h"
#include "shell/MainFrame.h"
#include "tests/support/Recorders.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

// The text of a PDF, laid out as on the page; empty when pdftotext fails.
inline QString PdfText(const std::string& pdf) {
    return QString::fromStdString(RunCommand({"pdftotext", "-layout", pdf, "-"}).out);
}

// Answers the form's dialogs without a modal loop and records what was asked.
class ScriptedDialogs : public IViewDialogs {
public:
    std::string BrowseForFolder() override {
        ++browses;
        return browse ? browse() : browsePath;
    }
    bool EditAdvancedOptions(ListingOptions& options) override {
        ++optionsRuns;
        if (!editOptions)
            return false;
        editOptions(options);
        return true;
    }
    void EditComments(EntryList& entries) override {
        ++commentRuns;
        if (writeComments)
            writeComments(entries);
    }
    bool EditTitle(TitleLines& lines) override {
        ++titleRuns;
        proposedTitle = lines;
        return false;
    }
    std::optional<std::string> AskSaveFileName(const std::string& proposed) override {
        proposedSaveNames.push_back(proposed);
        return saveFileName;
    }
    std::optional<std::string> AskOpenFileName() override { return openFileName; }
    void SetupPrinter(QPrinter&) override { ++printerSetups; }
    bool AskPrint(QPrinter& printer, int pageCount) override {
        printDialogPages.push_back(pageCount);
        if (printToPdf) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(*printToPdf));
        }
        return acceptPrint;
    }
    void ShowPreview(QPrinter& printer, const std::function<void(QPrinter&)>& paint) override {
        ++previews;
        if (previewPdf) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(*previewPdf));
            paint(printer);
        }
    }

    std::string browsePath;
    std::function<std::string()> browse; // set: runs instead of answering browsePath
    int browses = 0;
    std::function<void(ListingOptions&)> editOptions; // empty: Cancel
    int optionsRuns = 0;
    std::function<void(EntryList&)> writeComments;
    int commentRuns = 0;
    int titleRuns = 0;
    TitleLines proposedTitle;
    std::optional<std::string> saveFileName; // empty: Cancel
    std::vector<std::string> proposedSaveNames;
    std::optional<std::string> openFileName;
    int printerSetups = 0;
    bool acceptPrint = false;
    std::optional<std::string> printToPdf;
    std::vector<int> printDialogPages;
    int previews = 0;
    std::optional<std::string> previewPdf;
};

// The real window with its form and menu, over a profile in a private configuration folder
// and a folder of files to list.
class AppTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", config.str().c_str(), 1);
        Start();
    }

    void Start() {
        app = std::make_unique<CCatalogriumApp>(prompter, dialogs);
        app->InitInstance();
        // Keys reach the shortcuts, and the focus its widget, only in the active window.
        Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
        beginSpy = std::make_unique<QSignalSpy>(Frame(), &CMainFrame::progressBegun);
    }
    // An orderly exit: the window closes and the view writes the profile.
    void Exit() {
        beginSpy.reset();
        Action("actionExit")->trigger();
        app.reset();
    }

    CMainFrame* Frame() const { return app->MainFrame(); }
    CCatalogriumView* View() const { return Frame()->View(); }
    CCatalogriumDoc& Doc() const { return *app->Document(); }
    ListingOptions& Options() const { return View()->Options(); }
    std::string ProfilePath() const { return config.str() + "/catalogrium3.ini"; }
    // The options the profile holds; the test fails when it cannot be read.
    ListingOptions StoredOptions() const {
        ListingOptions options;
        std::string error;
        EXPECT_TRUE(LoadListingOptions(ProfilePath(), options, error)) << error;
        return options;
    }

    template <typename T = QWidget> T* Control(int id) const {
        T* control = View()->findChild<T*>(ControlName(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    QCheckBox* Check(int id) const { return Control<QCheckBox>(id); }
    QAction* Action(const char* name) const {
        QAction* action = Frame()->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(action, nullptr) << name;
        return action;
    }

    void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
    void TypeFolder(const std::string& path) {
        Control<QLineEdit>(IDC_FOLDER)->setText(QString::fromStdString(path));
    }
    void ClickGo() { Click(IDC_GO); }
    // Scans seen so far (each reading shows the note for the scan and for the sort).
    int Readings() const { return static_cast<int>(beginSpy->count()) / 2; }

    TempDir config;
    TempDir folder;
    RecordingPrompter prompter;
    ScriptedDialogs dialogs;
    std::unique_ptr<CCatalogriumApp> app;
    std::unique_ptr<QSignalSpy> beginSpy;
};
