// The Catalogue menu of the window: adding the listed folder, the Find in Catalogue window
// driven by typing, the Media dialog and the Duplicates window.

#include "catalogue/Adding.h"
#include "shell/CatalogueMenu.h"
#include "shell/DuplicatesWindow.h"
#include "shell/FindCatalogueWindow.h"
#include "shell/MediaDlg.h"
#include "shell/MediumWindow.h"
#include "tests/app/AppFixture.h"
#include "tests/support/AddMedium.h"
#include "tests/support/FileTimes.h"
#include "tests/support/SilentServer.h"
#include "tests/support/SqliteWriteLock.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <gmock/gmock.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Chooses the item `text` of the popup menu open now, as the keys choose it.
void ChooseFromPopup(const QString& text) {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> actions = menu->actions();
    const auto chosen = std::ranges::find(actions, text, &QAction::text);
    ASSERT_NE(chosen, actions.end());
    menu->setActiveAction(*chosen);
    QTest::keyClick(menu, Qt::Key_Return);
}

class CatalogueWindowTest : public AppTest {
protected:
    void SetUp() override {
        location = (data.path() / "catalogue.sqlite").string();
        setenv("CATALOGRIUM3_CATALOGUE", location.c_str(), 1);
        folder.WriteFile("Beach.jpg", "12345");
        folder.WriteFile("trip/beach-ball.png", "ball");
        folder.WriteFile("trip/notes.txt", "notes");
        AppTest::SetUp();
        realAskMedium = Menu().askMedium;
        Menu().askMedium = [this](const std::string& proposed) {
            proposedNames.push_back(proposed);
            return mediumName ? std::optional(CCatalogueMenu::MediumToAdd{*mediumName, checksums})
                              : std::nullopt;
        };
        Menu().openFolder = [this](const std::string& f) {
            openedFolders.push_back(f);
            return fileManagerAnswers;
        };
    }
    void TearDown() override { unsetenv("CATALOGRIUM3_CATALOGUE"); }

    CCatalogueMenu& Menu() const { return *app->CatalogueMenu(); }
    std::vector<Medium> Media() const { return OpenCatalogue(location)->Media(); }
    void GoOn(const std::filesystem::path& path) {
        TypeFolder(path.string());
        ClickGo();
    }
    // As the user opens the menu, which sets the items' states.
    void ShowCatalogueMenu() {
        emit Frame()->findChild<QMenu*>(QStringLiteral("catalogueMenu"))->aboutToShow();
    }
    CFindCatalogueWindow* OpenFind() {
        Action("actionFindInCatalogue")->trigger();
        return Menu().FindWindow();
    }
    // Waits until the search is over with `rows` matches.
    static bool Settles(CFindCatalogueWindow& window, int rows) {
        return QTest::qWaitFor(
            [&] { return !window.Searching() && window.Model().rowCount() == rows; }, 5000);
    }
    static std::vector<std::string> Column(CFindCatalogueWindow& window, int column) {
        std::vector<std::string> cells;
        auto& model = window.Model();
        for (int row = 0; row < model.rowCount(); ++row)
            cells.push_back(model.index(row, column).data().toString().toStdString());
        return cells;
    }

    TempDir data;
    std::string location;
    std::optional<std::string> mediumName = "Holiday";
    bool checksums = false;
    std::function<std::optional<CCatalogueMenu::MediumToAdd>(const std::string&)> realAskMedium;
    std::vector<std::string> proposedNames;
    std::vector<std::string> openedFolders;
    bool fileManagerAnswers = true;
};

TEST_F(CatalogueWindowTest, AddAsksTheNameAfterAGoAndAsksBeforeReplacing) {
    Action("actionAddToCatalogue")->trigger();
    EXPECT_TRUE(proposedNames.empty()); // nothing listed yet
    GoOn(folder.path());
    ShowCatalogueMenu();
    EXPECT_TRUE(Action("actionAddToCatalogue")->isEnabled());
    Action("actionAddToCatalogue")->trigger();
    ASSERT_EQ(proposedNames.size(), 1u);
    EXPECT_EQ(proposedNames[0], folder.path().filename().string()); // the folder's name
    ASSERT_EQ(Media().size(), 1u);
    EXPECT_EQ(Media()[0].name, "Holiday");
    EXPECT_EQ(Media()[0].files, 3);
    FindQuery beach;
    beach.pattern = "beach";
    EXPECT_EQ(OpenCatalogue(location)->Count(beach), 2u);

    folder.WriteFile("later.txt", "later");
    prompter.yesNoAnswer = MessageAnswer::No;
    Action("actionAddToCatalogue")->trigger();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_THAT(prompter.messages[0].text, ::testing::HasSubstr("already has \"Holiday\""));
    EXPECT_EQ(Media()[0].files, 3); // kept
    prompter.yesNoAnswer = MessageAnswer::Yes;
    Action("actionAddToCatalogue")->trigger();
    EXPECT_EQ(Media()[0].files, 4); // replaced
    mediumName.reset();             // Cancel adds nothing
    Action("actionAddToCatalogue")->trigger();
    EXPECT_EQ(Media().size(), 1u);
}

// The comments written at Go stay with the entries they were written for, found by the names
// the listing showed: here in upper case.
TEST_F(CatalogueWindowTest, AddKeepsTheCommentsOfTheListing) {
    Options().m_bUpperCase = 1;
    Click(IDC_STANDARD); // a delimited file has no comments
    Control<QCheckBox>(IDC_COMMENTS)->setChecked(true);
    dialogs.writeComments = [](EntryList& entries) {
        for (auto& entry : entries)
            if (entry->m_strName == "BEACH.JPG")
                entry->m_comments = {"sunny", "", "third"};
    };
    GoOn(folder.path());
    ASSERT_EQ(dialogs.commentRuns, 1);
    ShowCatalogueMenu();
    Action("actionAddToCatalogue")->trigger();
    ASSERT_EQ(Media().size(), 1u) << ::testing::PrintToString(proposedNames);
    std::map<std::string, CommentLines> comments;
    for (const auto& entry : OpenCatalogue(location)->FolderEntries("Holiday", 0))
        comments[entry.name] = entry.comments;
    EXPECT_EQ(comments, (std::map<std::string, CommentLines>{{"Beach.jpg", {"sunny", "", "third"}},
                                                             {"trip", {}}}));
}

TEST_F(CatalogueWindowTest, EscStopsAnAddAndLeavesTheCatalogueAsItWas) {
    GoOn(folder.path());
    ShowCatalogueMenu();
    OpenCatalogue(location);
    // Another program holds the catalogue for seconds, so the add waits until Esc, pressed as
    // the window system delivers it, interrupts it.
    sqlite3* other = TakeSqliteWriteLock(location);
    QElapsedTimer sinceEsc;
    QObject::connect(Frame(), &CMainFrame::progressBegun, Frame(), [&] {
        QTimer::singleShot(200, Frame(), [&] {
            if (sinceEsc.isValid())
                return;
            sinceEsc.start();
            QTest::keyClick(Frame()->windowHandle(), Qt::Key_Escape);
        });
    });
    QTimer::singleShot(6000, Frame(),
                       [&] { sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr); });
    Action("actionAddToCatalogue")->trigger();
    const qint64 stoppedAfter = sinceEsc.elapsed();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(sinceEsc.isValid());
    std::printf("Esc to the end of the add: %lld ms\n", static_cast<long long>(stoppedAfter));
    EXPECT_LT(stoppedAfter, 4000);
    EXPECT_TRUE(Media().empty());
    EXPECT_EQ(Frame()->StatusText(), QStringLiteral("Adding stopped; the catalogue is as it was."));
    EXPECT_TRUE(prompter.messages.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(Frame()->StatusText(), QStringLiteral("Adding stopped; the catalogue is as it was."));
}

TEST_F(CatalogueWindowTest, TheStatusBarTellsHowAnAddEnded) {
    GoOn(folder.path());
    ShowCatalogueMenu();
    Action("actionAddToCatalogue")->trigger();
    QCoreApplication::processEvents();
    // The four entries below the listed folder.
    EXPECT_EQ(Frame()->StatusText(), QStringLiteral("Added Holiday: 4 entries"));

    // The folder went away after the Go: nothing is added, and the bar says so.
    std::filesystem::remove_all(folder.path());
    mediumName = "Gone";
    Action("actionAddToCatalogue")->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(Frame()->StatusText(), QStringLiteral("Adding failed; the catalogue is as it was."));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_THAT(prompter.messages[0].text, ::testing::HasSubstr("cannot be read"));
    ASSERT_EQ(Media().size(), 1u);
}

TEST_F(CatalogueWindowTest, AltLOpensTheCatalogueMenuAndAltAStaysTheFormsAttributes) {
    auto* menu = Frame()->findChild<QMenu*>(QStringLiteral("catalogueMenu"));
    Click(IDC_STANDARD); // the case layouts grey Attributes
    ASSERT_TRUE(Check(IDC_ATTRIBUTES)->isEnabled());
    const bool attributes = Check(IDC_ATTRIBUTES)->isChecked();
    QTest::keyClick(Frame()->windowHandle(), Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Check(IDC_ATTRIBUTES)->isChecked() != attributes; }, 2000));
    EXPECT_FALSE(menu->isVisible());
    QTest::keyClick(Frame()->windowHandle(), Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    menu->close();
}

TEST_F(CatalogueWindowTest, TheCatalogueMenusPromptsFitTheStatusBar) {
    const int pane = Frame()->statusBar()->findChild<QWidget*>("messagePane")->width();
    const QFontMetrics metrics(Frame()->statusBar()->font());
    for (const char* name :
         {"actionAddToCatalogue", "actionFindInCatalogue", "actionMedia", "actionDuplicates"})
        EXPECT_LE(metrics.horizontalAdvance(Action(name)->statusTip()), pane) << name;
}

TEST_F(CatalogueWindowTest, FindSearchesAsTheUserTypes) {
    AddMedium(location, "Disc", folder.path());
    folder.WriteFile("other/beach towel.txt", "towel!");
    AddMedium(location, "Other", folder.path() / "other");
    CFindCatalogueWindow* window = OpenFind();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    auto* search = window->findChild<QLineEdit*>(QStringLiteral("searchField"));
    QTest::keyClicks(search, "BEA", Qt::NoModifier, 20);
    // Typing waits for a pause before it searches.
    EXPECT_FALSE(window->Searching());
    EXPECT_EQ(window->Model().rowCount(), 0);
    ASSERT_TRUE(Settles(*window, 3));
    EXPECT_EQ(window->CountText(), QStringLiteral("3 matches"));
    EXPECT_THAT(Column(*window, CCatalogueMatchModel::Medium),
                ::testing::ElementsAre("Disc", "Disc", "Other"));
    QTest::keyClicks(search, "ch-", Qt::NoModifier, 20);
    ASSERT_TRUE(Settles(*window, 1));
    EXPECT_EQ(window->Model().Match(0).path, folder.str() + "/trip/beach-ball.png");

    // Filters: medium and size; sorting by a column searches again in its order.
    search->setText(QStringLiteral("beach"));
    auto* medium = window->findChild<QComboBox*>(QStringLiteral("mediumFilter"));
    medium->setCurrentText(QStringLiteral("Disc"));
    ASSERT_TRUE(Settles(*window, 2));
    QTest::keyClicks(window->findChild<QLineEdit*>(QStringLiteral("minSize")), "5");
    ASSERT_TRUE(Settles(*window, 1));
    EXPECT_EQ(window->Model().Match(0).path, folder.str() + "/Beach.jpg");
    window->findChild<QLineEdit*>(QStringLiteral("minSize"))->clear();
    medium->setCurrentIndex(0);
    window->Table()->sortByColumn(CCatalogueMatchModel::Size, Qt::DescendingOrder);
    ASSERT_TRUE(Settles(*window, 3));
    EXPECT_THAT(Column(*window, CCatalogueMatchModel::Size), ::testing::ElementsAre("6", "5", "4"));

    // Double-click opens the folder that holds a match, or says it is not there.
    window->OpenContainingFolder(1);
    EXPECT_THAT(openedFolders, ::testing::ElementsAre(folder.str()));
    window->CopyPath(0);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              folder.str() + "/other/beach towel.txt");
    std::filesystem::remove_all(folder.path() / "other");
    window->OpenContainingFolder(0);
    EXPECT_EQ(openedFolders.size(), 1u);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_THAT(prompter.messages[0].text, ::testing::HasSubstr("\"Other\" is not mounted"));
}

// Typed a key at a time through the window system, with a pause after each, every search
// ends and hands its matches over to the window: each text shows the files whose name holds
// it, case aside, as a walk of the folder finds them.
TEST_F(CatalogueWindowTest, EachSearchThatEndsShowsTheMatchesOfItsText) {
    for (const char* name : {"bear.txt", "Bean.png", "beacon", "abeam/ball", "ab eam", "BEACH",
                             "sub/beachcomber.jpg", "sub/deep/reach.doc", "tab", "Bee"})
        folder.WriteFile(name, "x");
    AddMedium(location, "Disc", folder.path());
    const auto walk = [&](const std::string& text) {
        const auto lower = [](std::string s) {
            for (char& c : s)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path()))
            if (lower(entry.path().filename().string()).find(text) != std::string::npos)
                found.insert(entry.path().string());
        return found;
    };
    const auto shown = [](CFindCatalogueWindow& window) {
        std::set<std::string> paths;
        for (int row = 0; row < window.Model().rowCount(); ++row)
            paths.insert(window.Model().Match(row).path);
        return paths;
    };

    CFindCatalogueWindow* window = OpenFind();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* search = window->findChild<QLineEdit*>(QStringLiteral("searchField"));
    search->setFocus();
    const std::vector<std::pair<Qt::Key, std::string>> keys{
        {Qt::Key_B, "b"},           {Qt::Key_E, "be"},          {Qt::Key_A, "bea"},
        {Qt::Key_C, "beac"},        {Qt::Key_H, "beach"},       {Qt::Key_Backspace, "beac"},
        {Qt::Key_Backspace, "bea"}, {Qt::Key_M, "beam"},        {Qt::Key_Backspace, "bea"},
        {Qt::Key_R, "bear"},        {Qt::Key_Backspace, "bea"}, {Qt::Key_Backspace, "be"},
        {Qt::Key_E, "bee"},         {Qt::Key_Backspace, "be"},  {Qt::Key_Backspace, "b"},
        {Qt::Key_A, "ba"}};
    for (const auto& [key, text] : keys) {
        QTest::keyClick(window->windowHandle(), key);
        ASSERT_EQ(search->text().toStdString(), text);
        const std::set<std::string> expected = walk(text);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !window->Searching() && shown(*window) == expected; }, 5000))
            << text << ": " << shown(*window).size() << " shown, " << expected.size()
            << " expected";
        EXPECT_EQ(window->CountText(), expected.size() == 1
                                           ? QStringLiteral("1 match")
                                           : QStringLiteral("%1 matches").arg(expected.size()));
    }
}

// Each search waits for a server that never answers; a new one stops it without waiting for
// it, and the window goes on taking keys.
TEST_F(CatalogueWindowTest, FindStaysResponsiveWhileTheServerNeverAnswers) {
    SilentServer server;
    setenv("CATALOGRIUM3_CATALOGUE", server.Uri().c_str(), 1);
    CFindCatalogueWindow* window = OpenFind();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    auto* search = window->findChild<QLineEdit*>(QStringLiteral("searchField"));
    QElapsedTimer typing;
    typing.start();
    for (const char* text : {"a", "ab", "abc"}) {
        search->setText(QString::fromLatin1(text));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->Searching(); }, 3000));
        QTest::qWait(CFindCatalogueWindow::kDebounceMs + 100);
    }
    EXPECT_LT(typing.elapsed(), 5000);
    EXPECT_TRUE(window->Searching());
    EXPECT_TRUE(window->CountText().endsWith(QStringLiteral("...")))
        << window->CountText().toStdString();
    window->close();
}

TEST_F(CatalogueWindowTest, FindWindowKeepsItsSize) {
    CFindCatalogueWindow* window = OpenFind();
    window->resize(900, 333);
    window->close();
    Exit();
    Start();
    EXPECT_EQ(OpenFind()->size(), QSize(900, 333));
}

TEST_F(CatalogueWindowTest, FindShowsTheNameAndSaysWhenNoFileManagerOpens) {
    folder.WriteFile("a/very/deep/folder/holding/the/match/report.txt", "r");
    AddMedium(location, "Disc", folder.path());
    CFindCatalogueWindow* window = OpenFind();
    window->findChild<QLineEdit*>(QStringLiteral("searchField"))->setText("report");
    ASSERT_TRUE(Settles(*window, 1));
    EXPECT_THAT(Column(*window, CCatalogueMatchModel::Name), ::testing::ElementsAre("report.txt"));
    EXPECT_EQ(window->Table()->textElideMode(), Qt::ElideMiddle);

    fileManagerAnswers = false;
    window->OpenContainingFolder(0);
    EXPECT_THAT(openedFolders,
                ::testing::ElementsAre(folder.str() + "/a/very/deep/folder/holding/the/match"));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_THAT(prompter.messages[0].text, ::testing::HasSubstr("No file manager"));
}

TEST_F(CatalogueWindowTest, FindShowsTheFirstMatchesOnlyAndSaysSo) {
    AddMedium(location, "Disc", folder.path());
    CFindCatalogueWindow* window = OpenFind();
    window->LimitMatches(2);
    auto* search = window->findChild<QLineEdit*>(QStringLiteral("searchField"));
    search->setText("e"); // Beach.jpg, beach-ball.png, notes.txt
    ASSERT_TRUE(Settles(*window, 2));
    EXPECT_THAT(window->CountText().toStdString(), ::testing::HasSubstr("The first 2"));
    // As many matches as may be shown: nothing more to say.
    window->LimitMatches(4);
    search->setText("*"); // trip too
    ASSERT_TRUE(Settles(*window, 4));
    EXPECT_EQ(window->CountText(), QStringLiteral("4 matches"));
    window->LimitMatches(3);
    search->setText("*.*");
    ASSERT_TRUE(Settles(*window, 3));
    EXPECT_EQ(window->CountText(), QStringLiteral("3 matches"));
}

TEST_F(CatalogueWindowTest, FiltersShowWholeWhenTheWindowIsAtItsNarrowest) {
    CFindCatalogueWindow* window = OpenFind();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->resize(window->minimumSizeHint());
    QCoreApplication::processEvents();
    for (const char* name : {"minSize", "maxSize"}) {
        auto* edit = window->findChild<QLineEdit*>(QString::fromLatin1(name));
        QTest::keyClicks(edit, "1000000");
        const QMargins margins = edit->textMargins() + edit->contentsMargins();
        EXPECT_GE(edit->width(), edit->fontMetrics().horizontalAdvance(QStringLiteral("1000000")) +
                                     margins.left() + margins.right())
            << name;
    }
    for (const char* name : {"mediumFilter", "modifiedFrom", "modifiedTo"}) {
        auto* field = window->findChild<QWidget*>(QString::fromLatin1(name));
        EXPECT_GE(field->width(), field->sizeHint().width()) << name;
    }
}

// An old CD's names in Latin-1: not UTF-8, and kept as they are from the catalogue to the file
// system and the clipboard. New media names are UTF-8; a catalogue written before that rule
// may hold a Latin-1 one.
TEST_F(CatalogueWindowTest, LatinOneNamesKeepTheirBytes) {
    const std::string disc = "Caf\xe9";
    const std::string latin = folder.str() + "/caf\xe9";
    folder.WriteFile("caf\xe9/menu.txt", "menu");
    AddMedium(location, "Cafe", latin);
    AddMedium(location, "Other", folder.path() / "trip");
    sqlite3* old = nullptr;
    sqlite3_open(location.c_str(), &old);
    ASSERT_EQ(sqlite3_exec(old,
                           "UPDATE media SET name = CAST(X'436166E9' AS TEXT) WHERE name = 'Cafe'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(old);
    CFindCatalogueWindow* window = OpenFind();
    window->findChild<QLineEdit*>(QStringLiteral("searchField"))->setText("t");
    ASSERT_TRUE(Settles(*window, 2));
    auto* medium = window->findChild<QComboBox*>(QStringLiteral("mediumFilter"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return medium->count() == 3; }, 5000));
    medium->setCurrentText(QString::fromUtf8("Caf\u00e9"));
    ASSERT_TRUE(Settles(*window, 1));
    EXPECT_EQ(window->Model().Match(0).path, latin + "/menu.txt");
    EXPECT_EQ(window->Model().index(0, CCatalogueMatchModel::Path).data().toString(),
              QString::fromStdString(folder.str()) + QString::fromUtf8("/caf\u00e9/menu.txt"));

    window->OpenContainingFolder(0);
    EXPECT_THAT(openedFolders, ::testing::ElementsAre(latin));
    EXPECT_TRUE(prompter.messages.empty());

    window->CopyPath(0);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    ASSERT_EQ(copied->urls().size(), 1);
    EXPECT_EQ(QByteArray::fromPercentEncoding(copied->urls()[0].toEncoded()).toStdString(),
              "file://" + latin + "/menu.txt");
    // As ls quotes it: a shell gives the bytes back.
    EXPECT_EQ(copied->text().toStdString(), "'" + folder.str() + "/caf'$'\\351''/menu.txt'");

    CMediaDlg dialog(location, prompter);
    ASSERT_EQ(dialog.Table()->rowCount(), 2);
    dialog.Table()->selectRow(0);
    EXPECT_EQ(dialog.SelectedName(), disc);
    prompter.yesNoAnswer = MessageAnswer::Yes;
    dialog.Remove();
    ASSERT_EQ(Media().size(), 1u);
    EXPECT_EQ(Media()[0].name, "Other");
}

// Looking in a catalogue that is not there says so and makes none; only an add makes one.
TEST_F(CatalogueWindowTest, FindAndMediaNeverMakeACatalogue) {
    CFindCatalogueWindow* window = OpenFind();
    ASSERT_NE(window, nullptr);
    QTest::keyClicks(window->findChild<QLineEdit*>(QStringLiteral("searchField")), "bea");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->CountText().startsWith("There is no catalogue"); }, 5000))
        << window->CountText().toStdString();
    {
        CMediaDlg dialog(location, prompter);
        EXPECT_EQ(dialog.Table()->rowCount(), 0);
    }
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_THAT(prompter.messages.back().text, ::testing::StartsWith("There is no catalogue at"));
    EXPECT_FALSE(std::filesystem::exists(location));
}

// Alt+L, D opens the window; the group that wastes the most comes first; the keys open a group
// and a copy in its medium's window, and the copy's context menu opens its folder.
TEST_F(CatalogueWindowTest, DuplicatesOpenFromTheMenuAndShowACopysFolder) {
    AddMedium(location, "Disc", folder.path());
    AddMedium(location, "Trip", folder.path() / "trip");
    auto* menu = Frame()->findChild<QMenu*>(QStringLiteral("catalogueMenu"));
    QTest::keyClick(Frame()->windowHandle(), Qt::Key_L, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    QTest::keyClick(menu->windowHandle(), Qt::Key_D);
    CDuplicatesWindow* window = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            window = Menu().DuplicatesWindow();
            return window && !window->Searching() && window->Tree()->topLevelItemCount() == 2;
        },
        5000));
    QTreeWidget* tree = window->Tree();
    EXPECT_EQ(tree->topLevelItem(0)->text(CDuplicatesWindow::Name), QStringLiteral("notes.txt"));
    EXPECT_EQ(tree->topLevelItem(0)->text(CDuplicatesWindow::Wasted), QStringLiteral("5"));
    EXPECT_EQ(tree->topLevelItem(1)->text(CDuplicatesWindow::Name),
              QStringLiteral("beach-ball.png"));
    EXPECT_THAT(window->StatusText().toStdString(), ::testing::HasSubstr("2 groups"));

    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Return})
        QTest::keyClick(window->windowHandle(), key);
    QTreeWidgetItem* copy = tree->currentItem();
    EXPECT_EQ(copy->text(CDuplicatesWindow::Medium), QStringLiteral("Disc"));
    const QString copyName = copy->text(CDuplicatesWindow::Name).section(QLatin1Char('/'), -1);
    CMediumWindow* disc = Menu().MediumWindow("Disc");
    ASSERT_NE(disc, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !disc->Reading(); }, 5000));
    EXPECT_EQ(disc->Tree()->currentItem()->text(0), QStringLiteral("trip"));
    const QModelIndex shown = disc->Entries()->currentIndex();
    ASSERT_TRUE(shown.isValid());
    EXPECT_EQ(disc->Model().Entry(shown.row()).name, copyName.toStdString());

    // The copy's context menu opens its folder in the file manager.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTimer::singleShot(0, [] { ChooseFromPopup(QStringLiteral("Open Containing Folder")); });
    const QRect row = tree->visualItemRect(copy);
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                      tree->viewport()->mapTo(window, row.center()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !openedFolders.empty(); }, 2000));
    EXPECT_THAT(openedFolders, ::testing::ElementsAre(folder.str() + "/trip"));

    // Comparing by content finds nothing: no medium was added with checksums.
    window->findChild<QComboBox*>(QStringLiteral("compareBy"))->setCurrentIndex(1);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->StatusText() == QStringLiteral("No file is held more than once."); },
        5000));
    EXPECT_EQ(tree->topLevelItemCount(), 0);
}

TEST_F(CatalogueWindowTest, MediaDialogRenamesAndRemoves) {
    AddMedium(location, "Disc", folder.path());
    AddMedium(location, "Trip", folder.path() / "trip");
    CMediaDlg dialog(location, prompter);
    ASSERT_EQ(dialog.Table()->rowCount(), 2);
    EXPECT_EQ(dialog.Table()->item(0, 3)->text(), QStringLiteral("3"));
    // The first row is selected as the dialog opens, and the renamed one after a rename.
    EXPECT_EQ(dialog.SelectedName(), "Disc");
    dialog.Table()->selectRow(1);
    dialog.Rename("Journey");
    EXPECT_EQ(dialog.Table()->item(1, 0)->text(), QStringLiteral("Journey"));
    EXPECT_EQ(dialog.SelectedName(), "Journey");
    dialog.Table()->selectRow(0);
    prompter.yesNoAnswer = MessageAnswer::No;
    dialog.Remove();
    EXPECT_EQ(Media().size(), 2u);
    prompter.yesNoAnswer = MessageAnswer::Yes;
    dialog.Remove();
    ASSERT_EQ(Media().size(), 1u);
    EXPECT_EQ(Media()[0].name, "Journey");
    EXPECT_EQ(dialog.Table()->rowCount(), 1);
    EXPECT_EQ(dialog.SelectedName(), "Journey");
    auto* rename = dialog.findChild<QPushButton*>(QStringLiteral("renameButton"));
    auto* remove = dialog.findChild<QPushButton*>(QStringLiteral("removeButton"));
    EXPECT_TRUE(rename->isEnabled());
    dialog.Remove();
    EXPECT_EQ(dialog.Table()->rowCount(), 0);
    EXPECT_FALSE(rename->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
}

// A rename that waits for another program's lock: Esc in the dialog stops it, and does not
// close the dialog while the call runs.
TEST_F(CatalogueWindowTest, EscInTheMediaDialogStopsAWaitingRename) {
    AddMedium(location, "Disc", folder.path());
    CMediaDlg dialog(location, prompter);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    sqlite3* other = TakeSqliteWriteLock(location);
    QTimer::singleShot(6000, &dialog,
                       [&] { sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr); });
    QTimer::singleShot(200, &dialog,
                       [&] { QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape); });
    QElapsedTimer renaming;
    renaming.start();
    dialog.Rename("Journey");
    EXPECT_LT(renaming.elapsed(), 4000);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_EQ(Media().size(), 1u);
    EXPECT_EQ(Media()[0].name, "Disc");
    EXPECT_EQ(dialog.SelectedName(), "Disc");
}

TEST_F(CatalogueWindowTest, MediaDialogKeepsEveryColumnInSight) {
    const std::filesystem::path deep =
        folder.path() / "a folder with a long name" / "and another long one below it";
    folder.WriteFile("a folder with a long name/and another long one below it/f", "f");
    AddMedium(location, "A medium with a name of some length", deep);
    AddMedium(location, "Trip", folder.path() / "trip");
    CMediaDlg dialog(location, prompter);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const auto everyColumnShows = [&] {
        QHeaderView* header = dialog.Table()->horizontalHeader();
        const int viewport = dialog.Table()->viewport()->width();
        // Folder stretches: the columns fill the table and none passes its right edge.
        EXPECT_EQ(header->length(), viewport);
        EXPECT_LE(header->sectionViewportPosition(5) + header->sectionSize(5), viewport);
        EXPECT_EQ(header->sectionResizeMode(1), QHeaderView::Stretch);
    };
    everyColumnShows();
    dialog.Rename("A longer name again for the medium");
    QCoreApplication::processEvents();
    everyColumnShows();
}

// A click of the left button on the middle of `widget`, through its window.
void ClickThroughWindow(QWidget& widget) {
    QWidget* window = widget.window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      widget.mapTo(window, widget.rect().center()));
}

// Every entry below `top` written at one moment, long ago: what changes later has a time of
// its own.
void SetTimesLongAgo(const std::filesystem::path& top) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top))
        SetLastWrite(entry.path(), 1600000000);
}

// One file added (6 bytes), one removed (5 bytes), and so the time of the folder that held it.
void ChangeTheFolder(TempDir& folder) {
    folder.WriteFile("later.txt", "later!");
    std::filesystem::remove(folder.path() / "trip/notes.txt");
}

TEST_F(CatalogueWindowTest, ReplacingTellsHowTheFolderChangedBeforeItAsks) {
    SetTimesLongAgo(folder.path());
    GoOn(folder.path());
    ShowCatalogueMenu();
    Action("actionAddToCatalogue")->trigger();
    ASSERT_EQ(Media().size(), 1u);
    ChangeTheFolder(folder);
    prompter.yesNoAnswer = MessageAnswer::No;
    Action("actionAddToCatalogue")->trigger();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_THAT(prompter.messages[0].text,
                ::testing::HasSubstr("\n\nSince it was catalogued: 1 added, 1 removed, 1 changed, "
                                     "+1 bytes."));
    EXPECT_EQ(Media()[0].bytes, 14u); // kept
}

// The Add dialog as the user fills it through the window system: the name typed over the one
// proposed, a click on the check box, Enter.
TEST_F(CatalogueWindowTest, TheAddDialogTakesTheNameAndKeepsChecksumsWhenAsked) {
    Menu().askMedium = realAskMedium;
    GoOn(folder.path());
    ShowCatalogueMenu();
    bool filled = false;
    QTimer::singleShot(0, Frame(), [&] {
        QWidget* dialog = nullptr;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return (dialog = QApplication::activeModalWidget()) != nullptr; }, 5000));
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        QWindow* window = dialog->windowHandle();
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        for (const char c : std::string("Disc"))
            QTest::keyClick(window, c);
        auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("checksumsBox"));
        ClickThroughWindow(*box);
        filled = box->isChecked();
        QTest::keyClick(window, Qt::Key_Return);
    });
    Action("actionAddToCatalogue")->trigger();
    EXPECT_TRUE(filled);
    ASSERT_EQ(Media().size(), 1u);
    EXPECT_EQ(Media()[0].name, "Disc");
    EXPECT_TRUE(Media()[0].checksums);
}

// Update Medium, clicked as the window system delivers it: says when nothing changed,
// shows the counts and the differences and asks; No keeps the medium, Yes replaces it.
TEST_F(CatalogueWindowTest, UpdateMediumShowsTheDifferencesAndAsksFirst) {
    SetTimesLongAgo(folder.path());
    AddMedium(location, "Disc", folder.path());
    CMediaDlg dialog(location, prompter);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    const auto update = [&] {
        ClickThroughWindow(*dialog.findChild<QPushButton*>(QStringLiteral("updateButton")));
    };
    update();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_THAT(prompter.messages[0].text, ::testing::HasSubstr("nothing to update"));
    EXPECT_EQ(prompter.messages[0].buttons, MessageButtons::Ok);

    ChangeTheFolder(folder);
    prompter.yesNoAnswer = MessageAnswer::No;
    update();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_THAT(prompter.messages[1].text,
                ::testing::AllOf(::testing::HasSubstr("1 added, 1 removed, 1 changed, +1 bytes."),
                                 ::testing::HasSubstr("\nadded: later.txt\nchanged (time): "
                                                      "trip\nremoved: trip/notes.txt\n")));
    EXPECT_EQ(Media()[0].bytes, 14u);
    prompter.yesNoAnswer = MessageAnswer::Yes;
    update();
    EXPECT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(Media()[0].bytes, 15u);
    EXPECT_EQ(dialog.Table()->item(0, 4)->text(), QStringLiteral("15"));
}

} // namespace
