// The form: its controls, the enabled states that follow the layout, and the settings kept in
// the profile between runs.
#include "tests/app/AppFixture.h"

#include "dialogs/BrowserDlg.h"
#include "engine/Profile.h"
#include "form/StandardViewDialogs.h"
#include "shell/AboutDlg.h"
#include "tests/support/Golden.h"
#include "tests/support/ModalHelpers.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrintPreviewDialog>
#include <QStatusBar>
#include <QToolBar>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace {

struct LayoutStates {
    bool date, attributes, title, summary, comments, twoColumn, delimited;
    bool operator==(const LayoutStates&) const = default;
};

void PrintTo(const LayoutStates& s, std::ostream* out) {
    *out << "date " << s.date << ", attributes " << s.attributes << ", title " << s.title
         << ", summary " << s.summary << ", comments " << s.comments << ", two-column "
         << s.twoColumn << ", delimited " << s.delimited;
}

} // namespace

class FormTest : public AppTest {
protected:
    LayoutStates Enabled() const {
        return {Check(IDC_DATE)->isEnabled(),        Check(IDC_ATTRIBUTES)->isEnabled(),
                Check(IDC_PRINT_TITLE)->isEnabled(), Check(IDC_PRINT_SUMMARY)->isEnabled(),
                Check(IDC_COMMENTS)->isEnabled(),    Check(IDC_TWO_COLUMN)->isEnabled(),
                Check(IDC_DELIMITED)->isEnabled()};
    }
    void ExpectEnabled(LayoutStates expected) const {
        EXPECT_EQ(Enabled(), expected);
        EXPECT_TRUE(Check(IDC_SIZE)->isEnabled());
    }
};

TEST_F(FormTest, TabRunsFromTheEditThroughTheCheckBoxesAndGo) {
    EXPECT_TRUE(Control<QPushButton>(IDC_GO)->isDefault());
    EXPECT_EQ(Control<QLineEdit>(IDC_FOLDER)->maxLength(), 255);

    // Tab skips Browse and the radios.
    std::vector<QString> order;
    QWidget* widget = Control(IDC_FOLDER);
    for (int i = 0; i < 10; ++i, widget = widget->nextInFocusChain())
        if (widget->focusPolicy() & Qt::TabFocus)
            order.push_back(widget->objectName());
    const std::vector<QString> expected{"1000", "1024", "1026", "1027", "1047",
                                        "1045", "1070", "1061", "1081", "1082"};
    EXPECT_EQ(order, expected);
}

// A layout chosen with the mouse or with its Alt key.
struct LayoutChoice {
    int id;
    Qt::Key altKey; // Qt::Key_unknown: a click
};

void PrintTo(const LayoutChoice& choice, std::ostream* out) {
    *out << choice.id << (choice.altKey == Qt::Key_unknown ? " clicked" : " by its Alt key");
}

// Tab and Shift+Tab, once round the form from the folder edit, never stop on Browse or on a
// layout radio, the checked one included.
class FormTabTest : public FormTest, public testing::WithParamInterface<LayoutChoice> {
protected:
    void Choose(const LayoutChoice& choice) {
        if (choice.altKey == Qt::Key_unknown)
            Click(choice.id);
        else
            QTest::keyClick(Control(IDC_FOLDER), choice.altKey, Qt::AltModifier);
        ASSERT_TRUE(Control<QRadioButton>(choice.id)->isChecked());
    }
    std::vector<QString> FocusWalk(Qt::KeyboardModifiers modifiers) {
        Control(IDC_FOLDER)->setFocus();
        std::vector<QString> visited;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
            visited.push_back(QApplication::focusWidget()->objectName());
        }
        return visited;
    }
};

TEST_P(FormTabTest, TabAndShiftTabSkipBrowseAndTheLayoutRadios) {
    Choose(GetParam());
    for (Qt::KeyboardModifiers modifiers : {Qt::NoModifier, Qt::ShiftModifier}) {
        const std::vector<QString> visited = FocusWalk(modifiers);
        for (int id : {IDC_BROWSE, IDC_STANDARD, IDC_TO_FILE, IDC_CD, IDC_ZIP})
            EXPECT_EQ(std::count(visited.begin(), visited.end(), ControlName(id)), 0)
                << id << (modifiers ? " backwards" : " forwards");
        EXPECT_GT(std::count(visited.begin(), visited.end(), ControlName(IDC_FOLDER)), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, FormTabTest,
                         testing::Values(LayoutChoice{IDC_STANDARD, Qt::Key_unknown},
                                         LayoutChoice{IDC_TO_FILE, Qt::Key_T},
                                         LayoutChoice{IDC_CD, Qt::Key_unknown},
                                         LayoutChoice{IDC_ZIP, Qt::Key_Z}));

TEST_F(FormTest, FrameIsFittedToTheFormAndPlacedByTheCentringRule) {
    const QRect screen = Frame()->screen()->geometry();
    EXPECT_EQ(Frame()->pos(), QPoint((screen.width() - 360) / 2, (screen.height() - 250) / 2));
    EXPECT_EQ(Frame()->minimumSize(), Frame()->maximumSize());
    EXPECT_FALSE(Frame()->windowFlags() & Qt::WindowMaximizeButtonHint);
    const QRect go = Control(IDC_GO)->geometry();
    EXPECT_LE(go.right(), View()->width());
    EXPECT_LE(go.bottom(), View()->height());
}

namespace {

// Every control of the form, by its name, with its class, its place in pixels and its text;
// the form's size first.
std::string DescribeForm(const QWidget& view) {
    QStringList controls;
    for (const QWidget* control : view.findChildren<QWidget*>()) {
        bool isControl = false;
        control->objectName().toInt(&isControl);
        if (!isControl)
            continue;
        QString text;
        if (const auto* button = qobject_cast<const QAbstractButton*>(control))
            text = button->text();
        else if (const auto* group = qobject_cast<const QGroupBox*>(control))
            text = group->title();
        const QRect r = control->geometry();
        controls << QStringLiteral("%1 %2 (%3,%4 %5x%6) \"%7\"")
                        .arg(control->objectName(), control->metaObject()->className())
                        .arg(r.x())
                        .arg(r.y())
                        .arg(r.width())
                        .arg(r.height())
                        .arg(text);
    }
    controls.sort();
    controls.prepend(QStringLiteral("form %1x%2").arg(view.width()).arg(view.height()));
    return controls.join('\n').toStdString() + '\n';
}

} // namespace

// The form with its font (8-point Liberation Sans on the offscreen platform, 96 dots per
// inch), against tests/app/golden/form.txt.
TEST_F(FormTest, ControlsMatchTheGoldenForm) {
    EXPECT_TRUE(MatchesGolden(std::string(GOLDEN_DIR) + "/form.txt", DescribeForm(*View())));
}

TEST_F(FormTest, MenusHoldTheirItemsWithPromptsAndKeys) {
    const QList<QMenu*> menus = Frame()->menuBar()->findChildren<QMenu*>();
    ASSERT_GE(menus.size(), 2);
    QStringList commandTexts;
    for (QAction* action : menus[0]->actions())
        commandTexts << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(commandTexts, QStringList({"-", "&Go", "&Preview", "P&rint Setup...", "-", "E&xit"}));
    EXPECT_EQ(Action("actionGo")->shortcut(), QKeySequence("Ctrl+G"));
    EXPECT_TRUE(Action("actionPreview")->shortcut().isEmpty());
    EXPECT_EQ(Action("actionPrint")->shortcut(), QKeySequence("Ctrl+P"));
    EXPECT_EQ(Action("actionGo")->statusTip(), "Print listing");
    EXPECT_EQ(Action("actionOptions")->statusTip(), "Sorting order, print line numbers, etc.");
    EXPECT_EQ(Frame()->StatusText(), "Ready");
}

class MenuTest : public FormTest {
protected:
    // The Command menu, opened with a click on its title in the menu bar.
    QMenu* OpenCommandMenu() {
        QMenuBar* bar = Frame()->menuBar();
        QAction* command = bar->actions().constFirst();
        // The menu takes the mouse only once it has moved from where it was at the click.
        QTest::mouseMove(bar, bar->actionGeometry(command).center());
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(command).center());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(command->menu()));
        return command->menu();
    }
};

// Between the menu's border and its first item the menu draws a line across most of its
// width.
TEST_F(MenuTest, CommandMenuBeginsWithAVisibleSeparator) {
    QMenu* menu = OpenCommandMenu();
    const QImage image = menu->grab().toImage();
    const QRect go = menu->actionGeometry(Action("actionGo"));
    const QRgb background = image.pixel(go.left() + 4, go.center().y());
    int longestRun = 0;
    for (int y = 1; y < go.top(); ++y) {
        int run = 0;
        for (int x = 0; x < image.width(); ++x) {
            run = image.pixel(x, y) != background ? run + 1 : 0;
            longestRun = std::max(longestRun, run);
        }
    }
    EXPECT_GT(longestRun, image.width() / 2);
    menu->close();
}

// An item under the mouse shows its prompt in the status bar, a greyed one too; the greyed
// Preview does nothing when chosen.
struct MenuPrompt {
    int layout;
    const char* action;
    const char* prompt;
};

void PrintTo(const MenuPrompt& row, std::ostream* out) {
    *out << row.action << " with layout " << row.layout;
}

class MenuPromptTest : public MenuTest, public testing::WithParamInterface<MenuPrompt> {};

TEST_P(MenuPromptTest, HighlightedItemShowsItsPrompt) {
    const MenuPrompt& row = GetParam();
    Click(row.layout);
    QMenu* menu = OpenCommandMenu();
    QAction* item = Action(row.action);
    QTest::mouseMove(menu, menu->actionGeometry(item).center());
    EXPECT_EQ(Frame()->statusBar()->currentMessage().toStdString(), row.prompt);
    if (!item->isEnabled()) {
        QTest::keyClick(menu, Qt::Key_Return);
        EXPECT_EQ(dialogs.previews, 0);
    }
    menu->close();
}

INSTANTIATE_TEST_SUITE_P(
    Items, MenuPromptTest,
    testing::Values(MenuPrompt{IDC_TO_FILE, "actionPreview", "Display full pages"},
                    MenuPrompt{IDC_STANDARD, "actionPreview", "Display full pages"},
                    MenuPrompt{IDC_TO_FILE, "actionPrintSetup",
                               "Change the printer and printing options"}));

TEST_F(FormTest, FirstStartHasTheCaseInsertWithDateAndAttributesOff) {
    EXPECT_TRUE(Control<QRadioButton>(IDC_CD)->isChecked());
    EXPECT_FALSE(Check(IDC_DATE)->isChecked());
    ExpectEnabled({false, false, true, true, true, true, false});
}

TEST_F(FormTest, EachLayoutSetsItsEnabledStates) {
    Click(IDC_STANDARD);
    ExpectEnabled({true, true, true, true, true, false, false});
    Click(IDC_TO_FILE);
    ExpectEnabled({true, true, true, true, true, false, true});
    Click(IDC_DELIMITED);
    ExpectEnabled({true, true, false, false, false, false, true});
    Click(IDC_ZIP);
    ExpectEnabled({false, false, true, true, true, true, false});
    EXPECT_EQ(QApplication::focusWidget(), Control(IDC_FOLDER));
}

TEST_F(FormTest, DelimitedStaysInTheRecordWhileAnotherLayoutDisablesIt) {
    Click(IDC_TO_FILE);
    Click(IDC_DELIMITED);
    Click(IDC_STANDARD);
    ExpectEnabled({true, true, true, true, true, false, false});
    EXPECT_EQ(Options().m_bDelimited, 1);
    EXPECT_TRUE(Check(IDC_PRINT_TITLE)->isEnabled());
    // Back in To File the delimited choice disables title, summary and comments again.
    Click(IDC_TO_FILE);
    EXPECT_FALSE(Check(IDC_COMMENTS)->isEnabled());
}

TEST_F(FormTest, DateAndAttributesComeBackAfterACaseLayout) {
    Click(IDC_STANDARD);
    Click(IDC_DATE);
    Click(IDC_CD);
    EXPECT_FALSE(Check(IDC_DATE)->isChecked());
    // Zip after CD keeps the remembered choices.
    Click(IDC_ZIP);
    Click(IDC_STANDARD);
    EXPECT_TRUE(Check(IDC_DATE)->isChecked());
    EXPECT_FALSE(Check(IDC_ATTRIBUTES)->isChecked());
    EXPECT_EQ(Options().m_bAddDate, 1);
}

// Alt+C is both "&Comments" and the menu "&Command": the form's control comes first, unless it
// is disabled.
TEST_F(FormTest, AltKeyOfAFormControlWinsOverTheMenu) {
    QTest::keyClick(Control(IDC_FOLDER), Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(Check(IDC_COMMENTS)->isChecked());
    EXPECT_EQ(Options().m_bAddComments, 1);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(Control<QLineEdit>(IDC_FOLDER)->text().isEmpty());
    QTest::keyClick(Check(IDC_COMMENTS), Qt::Key_C, Qt::AltModifier);
    EXPECT_FALSE(Check(IDC_COMMENTS)->isChecked());
    // A radio button's key chooses its layout, with the states that follow.
    QTest::keyClick(Control(IDC_FOLDER), Qt::Key_T, Qt::AltModifier);
    EXPECT_TRUE(Control<QRadioButton>(IDC_TO_FILE)->isChecked());
    EXPECT_TRUE(Check(IDC_DELIMITED)->isEnabled());
    Click(IDC_DELIMITED);
    QTest::keyClick(Control(IDC_FOLDER), Qt::Key_C, Qt::AltModifier);
    EXPECT_FALSE(Check(IDC_COMMENTS)->isChecked());
}

TEST_F(FormTest, PreviewIsGreyedForToFile) {
    Click(IDC_TO_FILE);
    EXPECT_FALSE(Action("actionPreview")->isEnabled());
    Click(IDC_STANDARD);
    EXPECT_TRUE(Action("actionPreview")->isEnabled());
}

TEST_F(FormTest, BrowseShowsTheChosenFolder) {
    dialogs.browsePath = "/srv/media";
    Click(IDC_BROWSE);
    EXPECT_EQ(Control<QLineEdit>(IDC_FOLDER)->text(), "/srv/media");
}

class BrowseClosedTest : public FormTest, public testing::WithParamInterface<bool> {};

// The real folder browser closed without a choice, by Esc or by its close box, leaves the
// folder as it was typed, and Go lists it.
TEST_P(BrowseClosedTest, KeepsTheTypedFolder) {
    const bool closeBox = GetParam();
    dialogs.browse = [] { return CStandardViewDialogs().BrowseForFolder(); };
    WhenModal<CBrowserDlg>([closeBox](CBrowserDlg& browser) {
        if (closeBox)
            browser.close();
        else
            QTest::keyClick(&browser, Qt::Key_Escape);
    });
    folder.WriteFile("kept.txt", "x");
    QTest::keyClicks(Control(IDC_FOLDER), QString::fromStdString(folder.str()));
    Click(IDC_BROWSE);
    EXPECT_EQ(Control<QLineEdit>(IDC_FOLDER)->text().toStdString(), folder.str());
    ClickGo();
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(Frame()->windowTitle().toStdString(),
              CCatalogriumView::FolderWindowTitle(folder.str()).toStdString());
}

INSTANTIATE_TEST_SUITE_P(EscOrCloseBox, BrowseClosedTest, testing::Bool());

TEST_F(FormTest, WindowTitleShowsAtMost25CharactersOfTheFolder) {
    EXPECT_EQ(CCatalogriumView::FolderWindowTitle(std::string(25, 'a')),
              "Catalogrium3:   " + QString(25, 'a'));
    EXPECT_EQ(CCatalogriumView::FolderWindowTitle(std::string(26, 'b')),
              "Catalogrium3:   " + QString(25, 'b'));
    // Characters, not bytes: a cut never splits one.
    std::string path = "/" + std::string(15, 'x');
    for (int i = 0; i < 12; ++i)
        path += "\u00e4";
    EXPECT_EQ(CCatalogriumView::FolderWindowTitle(path),
              "Catalogrium3:   /" + QString(15, 'x') + QString(9, QChar(0xe4)));
}

class SettingsTest : public FormTest {};

TEST_F(SettingsTest, SavedAtExitAndLoadedAtTheNextStart) {
    Click(IDC_STANDARD);
    Click(IDC_DATE);
    Click(IDC_PRINT_SUMMARY);
    TypeFolder(folder.str());
    dialogs.editOptions = [](ListingOptions& o) {
        o.m_nSortBy = kSortTime;
        o.m_strFontName = "Times New Roman";
    };
    Action("actionOptions")->trigger();
    Exit();

    std::ifstream in(ProfilePath());
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Print as =0"), std::string::npos);
    EXPECT_EQ(text.str().find(folder.str()), std::string::npos);

    Start();
    EXPECT_TRUE(Control<QRadioButton>(IDC_STANDARD)->isChecked());
    EXPECT_TRUE(Check(IDC_DATE)->isChecked());
    EXPECT_FALSE(Check(IDC_PRINT_SUMMARY)->isChecked());
    EXPECT_EQ(Options().m_nSortBy, kSortTime);
    EXPECT_EQ(Options().m_strFontName, "Times New Roman");
    // The folder path is never kept.
    EXPECT_TRUE(Control<QLineEdit>(IDC_FOLDER)->text().isEmpty());
}

// The warnings logged in the category of the profile while it lives.
class ProfileLog {
public:
    ProfileLog() : m_previous(qInstallMessageHandler(&Record)) { Messages().clear(); }
    ~ProfileLog() { qInstallMessageHandler(m_previous); }
    static std::vector<QString>& Messages() {
        static std::vector<QString> messages;
        return messages;
    }

private:
    static void Record(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtWarningMsg && QLatin1String(context.category) == "catalogrium.profile")
            Messages().push_back(text);
    }
    QtMessageHandler m_previous;
};

TEST_F(SettingsTest, AProfileThatCannotBeSavedAtExitIsLogged) {
    {
        ProfileLog log;
        Exit();
        EXPECT_TRUE(ProfileLog::Messages().empty());
    }
    Start();
    std::filesystem::remove(ProfilePath());
    std::filesystem::create_directory(ProfilePath());
    ProfileLog log;
    Exit();
    ASSERT_EQ(ProfileLog::Messages().size(), 1u);
    EXPECT_TRUE(ProfileLog::Messages()[0].contains(QString::fromStdString(ProfilePath())));
    EXPECT_TRUE(std::filesystem::is_directory(ProfilePath()));
}

TEST_F(SettingsTest, AProfileThatCannotBeReadAtStartIsLogged) {
    Exit();
    std::filesystem::remove(ProfilePath());
    std::filesystem::create_directory(ProfilePath());
    {
        ProfileLog log;
        Start();
        ASSERT_EQ(ProfileLog::Messages().size(), 1u);
        EXPECT_TRUE(ProfileLog::Messages()[0].startsWith(
            QString::fromStdString("The settings were not read: " + ProfilePath())));
    }
    EXPECT_EQ(Options(), ListingOptions{});
}

// Date and attributes chosen for the page layouts, then the layout chosen at exit, with the
// form read again in that layout or not.
struct LayoutAtExit {
    int layout;
    bool formReadAgain;
};

void PrintTo(const LayoutAtExit& row, std::ostream* out) {
    *out << row.layout << (row.formReadAgain ? " with the form read again" : "");
}

class LayoutAtExitTest : public SettingsTest, public testing::WithParamInterface<LayoutAtExit> {};

// A case layout stores the date and attribute choices it kept aside, not its forced "off":
// they are back at the next start once a page layout is chosen.
TEST_P(LayoutAtExitTest, DateAndAttributesChoicesSurviveTheExit) {
    const LayoutAtExit& row = GetParam();
    Click(IDC_STANDARD);
    Click(IDC_DATE);
    Click(IDC_ATTRIBUTES);
    Click(row.layout);
    if (row.formReadAgain)
        Click(IDC_SIZE);
    Exit();
    Start();
    EXPECT_TRUE(Control<QRadioButton>(row.layout)->isChecked());
    EXPECT_EQ(Check(IDC_SIZE)->isChecked(), !row.formReadAgain);
    Click(IDC_STANDARD);
    EXPECT_TRUE(Check(IDC_DATE)->isChecked());
    EXPECT_TRUE(Check(IDC_ATTRIBUTES)->isChecked());
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutAtExitTest,
                         testing::Values(LayoutAtExit{IDC_CD, true}, LayoutAtExit{IDC_ZIP, true},
                                         LayoutAtExit{IDC_CD, false},
                                         LayoutAtExit{IDC_TO_FILE, true}));

// Choices loaded in a case layout and never shown are stored again as they were loaded.
TEST_F(SettingsTest, LoadedChoicesOutliveARunInACaseLayout) {
    Exit();
    ListingOptions stored;
    stored.m_bAddDate = 1;
    std::string error;
    ASSERT_TRUE(SaveListingOptions(ProfilePath(), stored, error)) << error;
    Start();
    Click(IDC_TWO_COLUMN);
    Exit();
    const ListingOptions reloaded = StoredOptions();
    EXPECT_EQ(reloaded.m_bAddDate, 1);
    EXPECT_EQ(reloaded.m_bAddAttribute, 0);
    EXPECT_EQ(reloaded.m_bTwoColumn, 1);
}

TEST_F(SettingsTest, LoadedDateShowsOnlyOnceAPageLayoutIsChosen) {
    Exit();
    ListingOptions stored;
    stored.m_bAddDate = 1;
    stored.m_bAddAttribute = 1;
    std::string error;
    ASSERT_TRUE(SaveListingOptions(ProfilePath(), stored, error)) << error;
    Start();
    EXPECT_FALSE(Check(IDC_DATE)->isChecked());
    EXPECT_FALSE(Check(IDC_DATE)->isEnabled());
    Click(IDC_STANDARD);
    EXPECT_TRUE(Check(IDC_DATE)->isChecked());
    EXPECT_TRUE(Check(IDC_ATTRIBUTES)->isChecked());
}

// A profile just under the read limit would pass it on save: it stays as it was, and the
// reason is logged.
TEST_F(SettingsTest, ProfileThatWouldGrowPastTheReadLimitIsKeptAndTheReasonLogged) {
    Exit();
    const std::string old = "[Options]\nSummary=0\n;" + std::string((1 << 20) - 100, 'x') + "\n";
    std::ofstream(ProfilePath(), std::ios::binary) << old;
    Start();
    EXPECT_EQ(Options().m_bPrintSummary, 0);
    ProfileLog log;
    Exit();
    ASSERT_EQ(ProfileLog::Messages().size(), 1u);
    EXPECT_EQ(ProfileLog::Messages()[0].toStdString(),
              "The settings were not saved: " + ProfilePath() +
                  " would grow larger than 1 MiB, too large to be read back.");
    std::ifstream in(ProfilePath(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), old);
}

TEST_F(SettingsTest, OptionsCancelChangesNothing) {
    const ListingOptions before = Options();
    Action("actionOptions")->trigger();
    EXPECT_EQ(dialogs.optionsRuns, 1);
    EXPECT_TRUE(Options() == before);
}

TEST_F(FormTest, AboutBoxShowsTheVersion) {
    CAboutDlg about(Frame());
    EXPECT_EQ(about.windowTitle(), "About Catalogrium3");
    EXPECT_EQ(about.findChild<QLabel*>("versionLabel")->text(), "Catalogrium3.32");
}

TEST_F(FormTest, PrintSetupRunsOnTheViewsPrinter) {
    Action("actionPrintSetup")->trigger();
    EXPECT_EQ(dialogs.printerSetups, 1);
}

TEST(PreviewPlacementTest, PreviewIsCentredAndSmallerOnNarrowScreens) {
    EXPECT_EQ(PreviewWindowSize(640), QSize(600, 400));
    EXPECT_EQ(CentredPosition(QRect(0, 0, 640, 480), QSize(600, 400)), QPoint(20, 40));
    EXPECT_EQ(PreviewWindowSize(700), QSize(660, 470));
    EXPECT_EQ(CentredPosition(QRect(0, 0, 1025, 768), QSize(660, 470)), QPoint(182, 149));
}

// The real preview window, at its size on this screen, shows every command of its tool bar:
// Print and Close need no overflow menu, and Close closes it.
TEST(PreviewWindowTest, ShowsPrintAndCloseWithoutAnOverflowMenu) {
    QPrinter printer;
    int pagesDrawn = 0;
    QStringList shown;
    bool closedByClose = false;
    WhenModal<QPrintPreviewDialog>([&](QPrintPreviewDialog& preview) {
        EXPECT_EQ(preview.size(), QSize(660, 470));
        const auto* bar = preview.findChild<QToolBar*>();
        QWidget* close = nullptr;
        for (QAction* action : bar->actions()) {
            QWidget* button = bar->widgetForAction(action);
            if (button && button->isVisible() && bar->rect().contains(button->geometry()))
                shown << action->text();
            if (action->text() == QStringLiteral("Close"))
                close = button;
        }
        EXPECT_FALSE(
            bar->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button"))->isVisible());
        if (close)
            QTest::mouseClick(close, Qt::LeftButton);
        closedByClose = !preview.isVisible();
        preview.reject();
    });
    CStandardViewDialogs().ShowPreview(printer, [&pagesDrawn](QPrinter&) { ++pagesDrawn; });
    EXPECT_TRUE(shown.contains(QStringLiteral("Print")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Close")));
    EXPECT_TRUE(closedByClose);
    EXPECT_GT(pagesDrawn, 0);
}
