// The Catalogue menu of the window: adding the listed folder, the Find in Catalogue window
// driven by typing, and the Media dialog.

#include "Adding.h"
#include "AppFixture.h"
#include "CatalogueMenu.h"
#include "FindCatalogueWindow.h"
#include "MediaDlg.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <gmock/gmock.h>
#include <sqlite3.h>

namespace {

class CatalogueWindowTest : public AppTest {
protected:
    void SetUp() override {
        location = (data.path() / "catalogue.sqlite").string();
        setenv("CATALOGRIUM3_CATALOGUE", location.c_str(), 1);
        folder.WriteFile("Beach.jpg", "12345");
        folder.WriteFile("trip/beach-ball.png", "ball");
        folder.WriteFile("trip/notes.txt", "notes");
        AppTest::SetUp();
        Menu().askMediumName = [this](const std::string& proposed) {
            proposedNames.push_back(proposed);
            return mediumName;
        };
        Menu().openFolder = [this](const std::string& f) { openedFolders.push_back(f); };
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
    std::vector<std::string> proposedNames;
    std::vector<std::string> openedFolders;
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

TEST_F(CatalogueWindowTest, EscStopsAnAddAndLeavesTheCatalogueAsItWas) {
    GoOn(folder.path());
    ShowCatalogueMenu();
    OpenCatalogue(location);
    // Another program holds the catalogue, so the add waits until Esc has been pressed.
    sqlite3* other = nullptr;
    sqlite3_open(location.c_str(), &other);
    sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    QTimer::singleShot(50, Frame(), [&] { QTest::keyClick(Frame(), Qt::Key_Escape); });
    QTimer::singleShot(400, Frame(),
                       [&] { sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr); });
    Action("actionAddToCatalogue")->trigger();
    sqlite3_close(other);
    EXPECT_TRUE(Media().empty());
    EXPECT_EQ(Frame()->StatusText(), QStringLiteral("Adding stopped; the catalogue is as it was."));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(CatalogueWindowTest, FindSearchesAsTheUserTypes) {
    const std::atomic<bool> stop = false;
    {
        auto catalogue = OpenCatalogue(location);
        AddToCatalogue(*catalogue, "Disc", folder.str(), false, stop);
        folder.WriteFile("other/beach towel.txt", "towel!");
        AddToCatalogue(*catalogue, "Other", (folder.path() / "other").string(), false, stop);
    }
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

TEST_F(CatalogueWindowTest, FindWindowKeepsItsSize) {
    CFindCatalogueWindow* window = OpenFind();
    window->resize(900, 333);
    window->close();
    Exit();
    Start();
    EXPECT_EQ(OpenFind()->size(), QSize(900, 333));
}

TEST_F(CatalogueWindowTest, MediaDialogRenamesAndRemoves) {
    const std::atomic<bool> stop = false;
    {
        auto catalogue = OpenCatalogue(location);
        AddToCatalogue(*catalogue, "Disc", folder.str(), false, stop);
        AddToCatalogue(*catalogue, "Trip", (folder.path() / "trip").string(), false, stop);
    }
    CMediaDlg dialog(location, prompter);
    ASSERT_EQ(dialog.Table()->rowCount(), 2);
    EXPECT_EQ(dialog.Table()->item(0, 3)->text(), QStringLiteral("3"));
    dialog.Table()->selectRow(1);
    dialog.Rename("Journey");
    EXPECT_EQ(dialog.Table()->item(1, 0)->text(), QStringLiteral("Journey"));
    dialog.Table()->selectRow(0);
    prompter.yesNoAnswer = MessageAnswer::No;
    dialog.Remove();
    EXPECT_EQ(Media().size(), 2u);
    prompter.yesNoAnswer = MessageAnswer::Yes;
    dialog.Remove();
    ASSERT_EQ(Media().size(), 1u);
    EXPECT_EQ(Media()[0].name, "Journey");
    EXPECT_EQ(dialog.Table()->rowCount(), 1);
}

} // namespace
