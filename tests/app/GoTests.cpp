// The Go sequence from the form and the menu: when the folder is read, refused paths, the
// comments, the listing file through Save As, the empty-folder question and the print jobs.
#include "tests/app/AppFixture.h"
#include "tests/support/ReadAll.h"

#include <QApplication>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

class GoTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        folder.WriteFile("b.txt", "bb");
        folder.WriteFile("a.txt", "a");
        folder.MakeDir("sub");
        folder.WriteFile("sub/inner.dat", "12345");
        Click(IDC_STANDARD);
        TypeFolder(folder.str());
    }
    static void CommentFirstEntry(EntryList& entries) {
        entries.front()->m_comments.m_strComment1 = "note";
    }
};

TEST_F(GoTest, SameFolderIsReadOnceWithoutAutoRefreshAndEveryTimeWithIt) {
    ClickGo();
    ClickGo();
    EXPECT_EQ(Readings(), 1);
    EXPECT_EQ(dialogs.printDialogPages.size(), 2u);
    dialogs.editOptions = [](ListingOptions& o) { o.m_bAutoRefresh = 1; };
    Action("actionOptions")->trigger();
    ClickGo();
    ClickGo();
    EXPECT_EQ(Readings(), 3);
}

TEST_F(GoTest, OptionsOkForcesAReadingAndCancelDoesNot) {
    ClickGo();
    Action("actionOptions")->trigger(); // Cancel
    ClickGo();
    EXPECT_EQ(Readings(), 1);
    dialogs.editOptions = [](ListingOptions&) {};
    Action("actionOptions")->trigger();
    ClickGo();
    EXPECT_EQ(Readings(), 2);
}

TEST_F(GoTest, CommentsSwitchForcesAReadingThatOffersTheComments) {
    ClickGo();
    Click(IDC_COMMENTS);
    Click(IDC_COMMENTS);
    ClickGo();
    EXPECT_EQ(Readings(), 2);
    EXPECT_EQ(dialogs.commentRuns, 0);
    Click(IDC_COMMENTS);
    dialogs.writeComments = CommentFirstEntry;
    ClickGo();
    EXPECT_EQ(dialogs.commentRuns, 1);
    EXPECT_EQ(Doc().m_entryList.front()->m_comments.m_strComment1, "note");
    // Reusing the listing keeps its comments and offers no dialog.
    ClickGo();
    EXPECT_EQ(Readings(), 3);
    EXPECT_EQ(dialogs.commentRuns, 1);
    EXPECT_EQ(Doc().m_entryList.front()->m_comments.m_strComment1, "note");
}

TEST_F(GoTest, ReusedListingCountsItsCommentLinesInThePages) {
    for (int i = 0; i < 70; ++i)
        folder.WriteFile(std::string("f").append(std::to_string(i)), "");
    Click(IDC_COMMENTS);
    dialogs.writeComments = CommentFirstEntry;
    ClickGo();
    ClickGo();
    // 73 entries and one comment line: two Standard pages, the second time too.
    EXPECT_EQ(dialogs.printDialogPages, (std::vector<int>{2, 2}));
}

TEST_F(GoTest, RefusedPathShowsTheMessageAndPutsTheFocusInTheEdit) {
    TypeFolder("relative/path");
    Control(IDC_GO)->setFocus();
    ClickGo();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "Please check Folder name and Path");
    EXPECT_EQ(Frame()->windowTitle(), "Catalogrium3");
    EXPECT_EQ(QApplication::focusWidget(), Control(IDC_FOLDER));
    EXPECT_TRUE(dialogs.printDialogPages.empty());
    // The refused path is read again at the next Go.
    ClickGo();
    EXPECT_EQ(prompter.messages.size(), 2u);
}

// The window's title once the window has been painted again: it names the folder listed,
// and only that.
class WindowTitleTest : public GoTest, public testing::WithParamInterface<const char*> {
protected:
    std::string RepaintedTitle() {
        Frame()->repaint();
        return Frame()->windowTitle().toStdString();
    }
    // Typed into the folder edit, replacing what it held.
    void TypeKeys(const std::string& text) {
        Control<QLineEdit>(IDC_FOLDER)->clear();
        QTest::keyClicks(Control(IDC_FOLDER), QString::fromStdString(text));
    }
};

TEST_F(WindowTitleTest, ProgramNameUntilAFolderIsListedThenTheFolderListed) {
    TypeFolder("");
    EXPECT_EQ(RepaintedTitle(), "Catalogrium3");
    TypeKeys(folder.str());
    EXPECT_EQ(RepaintedTitle(), "Catalogrium3");
    ClickGo();
    EXPECT_EQ(RepaintedTitle(), CCatalogriumView::FolderWindowTitle(folder.str()).toStdString());
    TypeKeys("/elsewhere");
    EXPECT_EQ(RepaintedTitle(), CCatalogriumView::FolderWindowTitle(folder.str()).toStdString());
}

// After a listing, a path that is refused or a folder that cannot be read.
TEST_P(WindowTitleTest, FailedReadingLeavesTheProgramName) {
    ClickGo();
    const std::string path = GetParam();
    TypeKeys(path.starts_with("/") ? folder.str() + path : path);
    ClickGo();
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(RepaintedTitle(), "Catalogrium3");
}

INSTANTIATE_TEST_SUITE_P(Paths, WindowTitleTest,
                         testing::Values("", "relative/path", "/missing", "/a.txt"));

// An empty path is never taken for the listing of an earlier Go, not even at the first Go.
TEST_F(GoTest, EmptyPathIsCheckedAtEveryGo) {
    TypeFolder("");
    ClickGo();
    ClickGo();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].text, "Please enter Folder name and Path");
    EXPECT_EQ(prompter.messages[1].caption, "Catalogrium3: Error");
    EXPECT_TRUE(dialogs.printDialogPages.empty());
}

TEST_F(GoTest, FolderListedBeforeAFailedReadingIsReadAgain) {
    ClickGo();
    TypeFolder(folder.str() + "/missing");
    ClickGo();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(Doc().m_entryList.empty());
    // Back to the folder of the first Go: its listing was emptied with the failed one.
    TypeFolder(folder.str());
    ClickGo();
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(Doc().m_entryList.size(), 3u);
    EXPECT_EQ(dialogs.printDialogPages.size(), 2u);
}

// The browser hands over the bytes of a path; the edit shows it as text.
TEST_F(GoTest, BrowsedFolderIsListedWhateverItsNameOrLength) {
    const std::string latin1 = folder.MakeDir("caf\xe9").string();
    folder.WriteFile("caf\xe9/menu.txt", "x");
    dialogs.browsePath = latin1;
    Click(IDC_BROWSE);
    ClickGo();
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_EQ(Doc().m_entryList.size(), 1u);
    EXPECT_EQ(Doc().m_entryList.front()->m_strName, "menu.txt");

    // Longer than the edit lets anyone type.
    const std::string deep = folder.MakeDir(std::string(120, 'd') + "/" + std::string(120, 'e'));
    folder.WriteFile(std::string(120, 'd') + "/" + std::string(120, 'e') + "/deep.txt", "x");
    ASSERT_GT(deep.size(), 255u);
    dialogs.browsePath = deep;
    Click(IDC_BROWSE);
    EXPECT_EQ(Control<QLineEdit>(IDC_FOLDER)->text().toStdString(), deep);
    ClickGo();
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_EQ(Doc().m_entryList.size(), 1u);
    EXPECT_EQ(Doc().m_entryList.front()->m_strName, "deep.txt");
    // Once a shorter path is listed, typing stops at 255 characters again.
    TypeFolder(folder.str());
    ClickGo();
    EXPECT_EQ(Control<QLineEdit>(IDC_FOLDER)->maxLength(), 255);
}

TEST_F(GoTest, NormalisedPathIsShownInTheEditAndTheTitle) {
    TypeFolder("  " + folder.str() + "//");
    ClickGo();
    EXPECT_EQ(Control<QLineEdit>(IDC_FOLDER)->text().toStdString(), folder.str());
    EXPECT_EQ(Frame()->windowTitle(), CCatalogriumView::FolderWindowTitle(folder.str()));
}

TEST_F(GoTest, EmptyFolderAsksBeforePrinting) {
    TempDir empty;
    TypeFolder(empty.str());
    prompter.yesNoAnswer = MessageAnswer::No;
    ClickGo();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text,
              "Selected Folder is empty! \nDo you want to proceed anyway?");
    EXPECT_EQ(prompter.messages[0].caption, "Catalogrium");
    EXPECT_TRUE(dialogs.printDialogPages.empty());
    prompter.yesNoAnswer = MessageAnswer::Yes;
    ClickGo();
    EXPECT_EQ(dialogs.printDialogPages, std::vector<int>{1});
    // The No kept the reading: the Yes did not read again.
    EXPECT_EQ(Readings(), 1);
}

TEST_F(GoTest, TooManyEntriesForCommentsShowsTheMessageAndPrints) {
    TempDir big;
    MakeEmptyFiles(big.path(), 64001);
    TypeFolder(big.str());
    Click(IDC_COMMENTS);
    ClickGo();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "The Listing is to big to add Comments!");
    EXPECT_EQ(prompter.messages[0].caption, "Catalogrium3");
    EXPECT_EQ(dialogs.commentRuns, 0);
    EXPECT_EQ(dialogs.printDialogPages.size(), 1u);
    // 64000 entries still get the comments dialog.
    std::filesystem::remove(big.path() / "64000");
    Click(IDC_COMMENTS);
    Click(IDC_COMMENTS);
    ClickGo();
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(dialogs.commentRuns, 1);
}

TEST_F(GoTest, CtrlPAndCtrlGStartThePrintJobNotThePreview) {
    QTest::keyClick(Control(IDC_FOLDER), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(dialogs.printDialogPages.size(), 1u);
    QTest::keyClick(Control(IDC_FOLDER), Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(dialogs.printDialogPages.size(), 2u);
    EXPECT_EQ(dialogs.previews, 0);
}

TEST_F(GoTest, EnterOnAnyControlOfTheFormRunsGoOnce) {
    QTest::keyClick(Control(IDC_FOLDER), Qt::Key_Return);
    EXPECT_EQ(dialogs.printDialogPages.size(), 1u);
    QTest::keyClick(Check(IDC_COMMENTS), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(dialogs.printDialogPages.size(), 2u);
    QTest::keyClick(Control(IDC_STANDARD), Qt::Key_Return);
    EXPECT_EQ(dialogs.printDialogPages.size(), 3u);
    QTest::keyClick(Control(IDC_GO), Qt::Key_Return);
    EXPECT_EQ(dialogs.printDialogPages.size(), 4u);
}

TEST_F(GoTest, TitleIsComposedOncePerGoAndKeptByThePrintCommand) {
    TempDir pdf;
    dialogs.acceptPrint = true;
    dialogs.printToPdf = pdf.str() + "/out.pdf";
    ClickGo();
    EXPECT_EQ(dialogs.titleRuns, 1);
    Action("actionGo")->trigger();
    EXPECT_EQ(dialogs.titleRuns, 1);
    ClickGo();
    EXPECT_EQ(dialogs.titleRuns, 2);
    EXPECT_EQ(dialogs.proposedTitle.m_strTitle3, "");
}

// A second job started by a key after a Go: it reads a folder afresh (another folder, or the
// same one with auto-refresh on) or prints the listing it already holds.
struct SecondJob {
    Qt::Key key; // with Ctrl: G the menu's Go, P the print key
    bool otherFolder;
    bool autoRefresh;
    bool freshTitle;
};

void PrintTo(const SecondJob& job, std::ostream* out) {
    *out << "Ctrl+" << static_cast<char>(job.key)
         << (job.otherFolder ? " on another folder" : " on the same folder")
         << (job.autoRefresh ? " with auto-refresh" : "");
}

class SecondJobTest : public GoTest, public testing::WithParamInterface<SecondJob> {};

// A title is composed for each reading: the second folder is never printed under the title
// of the first.
TEST_P(SecondJobTest, EachReadingComposesItsOwnTitle) {
    const SecondJob& job = GetParam();
    TempDir pdf;
    dialogs.acceptPrint = true;
    dialogs.printToPdf = pdf.str() + "/first.pdf";
    dialogs.editOptions = [&job](ListingOptions& o) { o.m_bAutoRefresh = job.autoRefresh; };
    Action("actionOptions")->trigger();
    ClickGo();
    const std::string second = folder.MakeDir("elsewhere").string();
    if (job.otherFolder)
        TypeFolder(second);
    dialogs.printToPdf = pdf.str() + "/second.pdf";
    QTest::keyClick(Control(IDC_FOLDER), job.key, Qt::ControlModifier);
    EXPECT_EQ(dialogs.titleRuns, job.freshTitle ? 2 : 1);
    // The title line shows the ends of the path.
    EXPECT_EQ(PdfText(*dialogs.printToPdf).contains(QStringLiteral("...LSEWHERE")),
              job.otherFolder);
}

INSTANTIATE_TEST_SUITE_P(Commands, SecondJobTest,
                         testing::Values(SecondJob{Qt::Key_G, true, false, true},
                                         SecondJob{Qt::Key_P, true, false, true},
                                         SecondJob{Qt::Key_G, false, true, true},
                                         SecondJob{Qt::Key_P, false, false, false}));

TEST_F(GoTest, PreviewDrawsTheJobAndIsRefusedForToFile) {
    TempDir pdf;
    dialogs.previewPdf = pdf.str() + "/preview.pdf";
    Action("actionPreview")->trigger();
    EXPECT_EQ(dialogs.previews, 1);
    EXPECT_EQ(dialogs.titleRuns, 1);
    EXPECT_GT(std::filesystem::file_size(*dialogs.previewPdf), 0u);
    EXPECT_TRUE(dialogs.printDialogPages.empty());
    Click(IDC_TO_FILE);
    View()->OnFilePrintPreview();
    EXPECT_EQ(dialogs.previews, 1);
    EXPECT_TRUE(dialogs.proposedSaveNames.empty());
}

class ListingFileTest : public GoTest {
protected:
    void SetUp() override {
        GoTest::SetUp();
        Click(IDC_TO_FILE);
        target = out.str() + "/listing.txt";
    }
    // The bytes the document writes for its present listing.
    std::string Expected() const {
        std::ostringstream text;
        Doc().Serialize(text);
        return text.str();
    }
    TempDir out;
    std::string target;
};

// A folder listed from a record of it: the edit shows its path, Go lists the record with the
// form's options, and typing in the edit (keys through the window) returns the form to the disk.
TEST_F(ListingFileTest, RecordedFolderIsListedUntilAnotherFolderIsTyped) {
    const std::string recordedPath = "/media/disc/gone";
    int reads = 0;
    View()->SetRecordedFolder({recordedPath, [&](CCatalogriumDoc& doc, int filesAndFolders) {
                                   ++reads;
                                   std::vector<RecordedEntry> entries(2);
                                   entries[0].entry.m_strName = "kept.txt";
                                   entries[0].entry.m_nSize = 10;
                                   entries[1].entry.m_strName = "below";
                                   entries[1].entry.m_dwAttributes = kAttrFolder;
                                   entries[1].below = {2048, 3, 1};
                                   doc.ListRecordedFolder(recordedPath, std::move(entries),
                                                          filesAndFolders);
                                   return true;
                               }});
    QSignalSpy left(View(), &CCatalogriumView::recordedFolderLeft);
    auto* edit = Control<QLineEdit>(IDC_FOLDER);
    EXPECT_EQ(edit->text().toStdString(), recordedPath);
    dialogs.saveFileName = target;
    ClickGo();
    EXPECT_EQ(reads, 1);
    const std::string recorded = ReadAll(target);
    EXPECT_NE(recorded.find("<" + recordedPath + ">"), std::string::npos);
    EXPECT_NE(recorded.find("[ below ]"), std::string::npos);
    EXPECT_NE(recorded.find("SubFolders Total:....         2"), std::string::npos);
    EXPECT_EQ(recorded.find("a.txt"), std::string::npos);
    EXPECT_TRUE(View()->ListsRecordedFolder());

    edit->setFocus();
    edit->selectAll();
    for (const char c : folder.str())
        QTest::keyClick(Frame()->windowHandle(), c);
    EXPECT_FALSE(View()->ListsRecordedFolder());
    EXPECT_EQ(left.count(), 1);
    ClickGo();
    EXPECT_EQ(reads, 1);
    EXPECT_NE(ReadAll(target).find("a.txt"), std::string::npos);
}

TEST_F(ListingFileTest, ToFileWritesTheFileChosenInSaveAs) {
    Doc().SetClock([] { return std::time_t{1796735109}; });
    dialogs.saveFileName = target;
    ClickGo();
    EXPECT_EQ(dialogs.proposedSaveNames, std::vector<std::string>{"Untitled.txt"});
    EXPECT_TRUE(dialogs.printDialogPages.empty());
    EXPECT_EQ(ReadAll(target), Expected());
    EXPECT_NE(ReadAll(target).find("a.txt"), std::string::npos);
    EXPECT_EQ(View()->PathName(), target);
}

TEST_F(ListingFileTest, CancelledSaveAsWritesNothingAndKeepsTheReading) {
    ClickGo();
    EXPECT_EQ(dialogs.proposedSaveNames.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(Doc().m_entryList.size(), 3u);
    EXPECT_TRUE(View()->PathName().empty());
}

TEST_F(ListingFileTest, SaveWritesAgainWithoutAskingWhileTheFileIsThere) {
    dialogs.saveFileName = target;
    ClickGo();
    const std::string listing = ReadAll(target);
    std::ofstream(target) << "stale";
    Action("actionSave")->trigger();
    EXPECT_EQ(dialogs.proposedSaveNames.size(), 1u);
    EXPECT_EQ(ReadAll(target).size(), listing.size());
    // The next Save As proposes the last file.
    ClickGo();
    EXPECT_EQ(dialogs.proposedSaveNames.back(), target);
    // A missing or read-only file goes through Save As again.
    std::filesystem::remove(target);
    Action("actionSave")->trigger();
    EXPECT_EQ(dialogs.proposedSaveNames.size(), 3u);
    ::chmod(target.c_str(), 0444);
    Action("actionSave")->trigger();
    EXPECT_EQ(dialogs.proposedSaveNames.size(), 4u);
}

TEST_F(ListingFileTest, FailedWriteIsReportedWithTheFileName) {
    dialogs.saveFileName = out.str() + "/missing-folder/listing.txt";
    ClickGo();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.messages[0].text.find("listing.txt"), std::string::npos);
    EXPECT_TRUE(View()->PathName().empty());
}

TEST_F(ListingFileTest, DelimitedFileOffersNoComments) {
    Click(IDC_COMMENTS);
    Click(IDC_DELIMITED);
    ClickGo();
    EXPECT_EQ(dialogs.commentRuns, 0);
    Click(IDC_DELIMITED);
    Click(IDC_COMMENTS);
    Click(IDC_COMMENTS);
    ClickGo();
    EXPECT_EQ(dialogs.commentRuns, 1);
}

TEST_F(ListingFileTest, NewEmptiesTheListingAndTheNextGoReadsAgain) {
    dialogs.saveFileName = target;
    ClickGo();
    Action("actionNew")->trigger();
    EXPECT_TRUE(Doc().m_entryList.empty());
    EXPECT_TRUE(View()->PathName().empty());
    ClickGo();
    EXPECT_EQ(Readings(), 2);
    EXPECT_EQ(Doc().m_entryList.size(), 3u);
    EXPECT_EQ(dialogs.proposedSaveNames.back(), "Untitled.txt");
}

TEST_F(ListingFileTest, OpenReadsNothingAndDoesNotBecomeTheSavedFile) {
    folder.WriteFile("old.txt", "keep me");
    dialogs.openFileName = folder.str() + "/old.txt";
    ClickGo();
    Action("actionOpen")->trigger();
    EXPECT_TRUE(Doc().m_entryList.empty());
    EXPECT_TRUE(View()->PathName().empty());
    EXPECT_EQ(ReadAll(folder.str() + "/old.txt"), "keep me");
}
