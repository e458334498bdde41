// A catalogued medium's window, driven as the user drives it: opened from Media and from Find,
// folders opened with the keys through the window system, totals against a walk of the folder
// that was added, hostile names, and the shelf location and note saved, on SQLite and on a real
// PostgreSQL server.

#include "catalogue/Adding.h"
#include "catalogue/Catalogue.h"
#include "shell/CatalogueMenu.h"
#include "shell/FindCatalogueWindow.h"
#include "shell/MediaDlg.h"
#include "shell/MediumWindow.h"
#include "shell/NameBytes.h"
#include "tests/app/CatalogueAppFixture.h"
#include "tests/support/AddMedium.h"
#include "tests/support/ModalHelpers.h"
#include "tests/support/ReadAll.h"
#include "tests/support/SqliteWriteLock.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <gmock/gmock.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// What lies below one folder, counted by a walk of the disk that follows no link: every entry
// that is no folder is a file, of the size lstat gives.
struct Counted {
    std::uint64_t bytes = 0;
    std::int64_t files = 0;
    std::int64_t folders = 0;
};

std::uint64_t LinkSize(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Adds what lies below `folder` (at `below` under the top) to its totals and every folder's
// above it, and returns its own.
Counted Walk(const fs::path& folder, const std::string& below,
             std::map<std::string, Counted>& totals) {
    Counted counted;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.symlink_status().type() == fs::file_type::directory) {
            const Counted inside =
                Walk(entry.path(), below.empty() ? name : below + "/" + name, totals);
            counted.bytes += inside.bytes;
            counted.files += inside.files;
            counted.folders += inside.folders + 1;
        } else {
            counted.bytes += LinkSize(entry.path());
            ++counted.files;
        }
    }
    totals[below] = counted;
    return counted;
}

// The totals of every folder below `top` (and of `top`), by path below it ("" for `top`).
std::map<std::string, Counted> WalkTotals(const fs::path& top) {
    std::map<std::string, Counted> totals;
    Walk(top, "", totals);
    return totals;
}

class MediumWindowTest : public CatalogueAppTest {
protected:
    void Add(const std::string& name, const fs::path& path) { AddMedium(location, name, path); }
    CCatalogueMenu& Menu() const { return *app->CatalogueMenu(); }

    // The medium's window, active, once it has read what it shows.
    CMediumWindow* Open(const std::string& medium) {
        Menu().OpenMedium(medium);
        CMediumWindow* window = Menu().MediumWindow(medium);
        return window && Ready(*window) ? window : nullptr;
    }
    static bool Settled(CMediumWindow& window) {
        return QTest::qWaitFor([&] { return !window.Reading(); }, 10000);
    }
    static bool Ready(CMediumWindow& window) {
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window) && Settled(window);
    }
    static void Key(CMediumWindow& window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(window.windowHandle(), key, modifiers);
        Settled(window);
    }
    // The names the table shows, as the catalogue's bytes, in the table's order.
    static std::vector<std::string> Names(CMediumWindow& window) {
        std::vector<std::string> names;
        for (int row = 0; row < window.Model().rowCount(); ++row)
            names.push_back(window.Model().Entry(row).name);
        return names;
    }
    static std::vector<std::string> Sorted(std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string CurrentName(CMediumWindow& window) {
        const QModelIndex current = window.Entries()->currentIndex();
        return current.isValid() ? window.Model().Entry(current.row()).name : std::string();
    }
    // The item of the tree whose text is `text` below `parent`.
    static QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& text) {
        for (int i = 0; i < parent->childCount(); ++i)
            if (parent->child(i)->text(0) == text)
                return parent->child(i);
        return nullptr;
    }
    // From the first row, presses Down until the table's current row is the entry `name`.
    static bool GoDownTo(CMediumWindow& window, const std::string& name) {
        Key(window, Qt::Key_Home, Qt::ControlModifier);
        for (int row = 0; row < window.Model().rowCount(); ++row) {
            if (CurrentName(window) == name)
                return true;
            Key(window, Qt::Key_Down);
        }
        return CurrentName(window) == name;
    }
};

// Each folder of the tree, expanded to the bottom, shows the totals that a walk of the disk
// counts, and the table shows a folder's entries with the sizes the disk gives.
TEST_P(MediumWindowTest, TotalsAndEntriesAreTheDisksAsAdded) {
    folder.WriteFile("top.txt", "0123456789");
    folder.WriteFile("music/a.ogg", std::string(1000, 'a'));
    folder.WriteFile("music/rock/b.ogg", std::string(70000, 'b'));
    folder.WriteFile("music/rock/old/c.ogg", "c");
    folder.WriteFile("music/jazz/d.ogg", std::string(123, 'd'));
    folder.WriteFile("photos/2024/e.jpg", std::string(4096, 'e'));
    fs::create_directories(folder.path() / "empty");
    fs::create_directories(folder.path() / "photos/2025/none");
    fs::create_symlink("../music", folder.path() / "photos/link to music");
    fs::create_symlink("loop", folder.path() / "photos/loop");
    ASSERT_EQ(::mkfifo((folder.path() / "music/pipe").c_str(), 0600), 0);
    Add("Disc", folder.path());
    CMediumWindow* window = Open("Disc");
    ASSERT_NE(window, nullptr);

    const std::map<std::string, Counted> walked = WalkTotals(folder.path());
    std::map<std::string, QTreeWidgetItem*> items{{"", window->Tree()->topLevelItem(0)}};
    std::vector<std::pair<std::string, QTreeWidgetItem*>> toOpen{{"", items[""]}};
    while (!toOpen.empty()) {
        auto [below, item] = toOpen.back();
        toOpen.pop_back();
        item->setExpanded(true);
        ASSERT_TRUE(Settled(*window));
        for (int i = 0; i < item->childCount(); ++i) {
            const std::string name = item->child(i)->text(0).toStdString();
            const std::string path = below.empty() ? name : below + "/" + name;
            items[path] = item->child(i);
            toOpen.emplace_back(path, item->child(i));
        }
    }
    std::set<std::string> folders;
    for (const auto& [path, counted] : walked)
        folders.insert(path);
    std::set<std::string> shown;
    for (const auto& [path, item] : items)
        shown.insert(path);
    EXPECT_EQ(shown, folders);
    const QLocale locale;
    for (const auto& [path, item] : items) {
        const Counted& counted = walked.at(path);
        EXPECT_EQ(item->text(1), locale.toString(static_cast<qulonglong>(counted.bytes))) << path;
        EXPECT_EQ(item->text(2), locale.toString(static_cast<qlonglong>(counted.files))) << path;
        EXPECT_EQ(item->text(3), locale.toString(static_cast<qlonglong>(counted.folders))) << path;
    }

    window->Tree()->setCurrentItem(items.at("music"));
    ASSERT_TRUE(Settled(*window));
    EXPECT_EQ(Sorted(Names(*window)), NamesIn(folder.path() / "music"));
    for (int row = 0; row < window->Model().rowCount(); ++row) {
        const CataloguedEntry& entry = window->Model().Entry(row);
        const fs::path path = folder.path() / "music" / entry.name;
        const std::uint64_t size = entry.kind == EntryKind::Folder
                                       ? walked.at("music/" + entry.name).bytes
                                       : LinkSize(path);
        EXPECT_EQ(window->Model().index(row, CMediumEntryModel::Size).data().toString(),
                  locale.toString(static_cast<qulonglong>(size)))
            << entry.name;
    }
}

// Down, Enter, Backspace and Ctrl+F through the window system.
TEST_P(MediumWindowTest, KeysOpenFoldersAndGoBackUp) {
    folder.WriteFile("alpha/inner/deep.txt", "deep");
    folder.WriteFile("alpha/one.txt", "1");
    folder.WriteFile("alpha/two.txt", "22");
    folder.WriteFile("beta/three.txt", "333");
    folder.WriteFile("root.txt", "r");
    Add("Disc", folder.path());
    CMediumWindow* window = Open("Disc");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->CurrentFolder(), 0);
    EXPECT_EQ(Sorted(Names(*window)), NamesIn(folder.path()));
    QSignalSpy changes(window, &CMediumWindow::folderChanged);

    // The tree has the focus: Down goes to the first folder below, by name.
    Key(*window, Qt::Key_Right);
    Key(*window, Qt::Key_Down);
    EXPECT_EQ(window->Tree()->currentItem()->text(0), QStringLiteral("alpha"));
    EXPECT_EQ(Sorted(Names(*window)), NamesIn(folder.path() / "alpha"));
    ASSERT_EQ(changes.count(), 1);
    const auto alpha = changes.takeFirst().at(0).toLongLong();
    EXPECT_EQ(window->CurrentFolder(), alpha);
    // Enter goes on in the table; Enter on a folder's row opens it.
    Key(*window, Qt::Key_Return);
    EXPECT_TRUE(window->Entries()->hasFocus());
    ASSERT_TRUE(GoDownTo(*window, "inner"));
    Key(*window, Qt::Key_Return);
    EXPECT_EQ(window->Tree()->currentItem()->text(0), QStringLiteral("inner"));
    EXPECT_THAT(Names(*window), testing::ElementsAre("deep.txt"));
    // Enter on a file does nothing.
    Key(*window, Qt::Key_Return);
    EXPECT_EQ(window->Tree()->currentItem()->text(0), QStringLiteral("inner"));
    // Backspace goes up, the folder it came from selected.
    Key(*window, Qt::Key_Backspace);
    EXPECT_EQ(window->CurrentFolder(), alpha);
    EXPECT_EQ(CurrentName(*window), "inner");
    Key(*window, Qt::Key_Backspace);
    EXPECT_EQ(window->CurrentFolder(), 0);
    EXPECT_EQ(CurrentName(*window), "alpha");
    Key(*window, Qt::Key_Backspace); // nothing above the listed folder
    EXPECT_EQ(window->CurrentFolder(), 0);

    // Backspace in the note edits the note.
    auto* note = window->findChild<QLineEdit*>(QStringLiteral("shelfNote"));
    note->setFocus();
    Key(*window, Qt::Key_A);
    Key(*window, Qt::Key_B);
    Key(*window, Qt::Key_Backspace);
    EXPECT_EQ(note->text(), QStringLiteral("a"));
    EXPECT_EQ(window->CurrentFolder(), 0);

    // Ctrl+F: Find, on this medium.
    Key(*window, Qt::Key_F, Qt::ControlModifier);
    CFindCatalogueWindow* find = Menu().FindWindow();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return find->Query().medium == "Disc"; }, 5000));
}

// Sizes sort as numbers and times as times, either way, and a third click gives back the
// order in which the folder was read.
TEST_P(MediumWindowTest, EntriesSortByAnyColumn) {
    const std::vector<std::pair<std::string, int>> files{
        {"nine", 9}, {"ten", 10}, {"hundred", 100}, {"Eleven", 11}, {"zero", 0}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        folder.WriteFile(files[i].first,
                         std::string(static_cast<std::size_t>(files[i].second), 'x'));
        const auto time = fs::file_time_type::clock::now() - std::chrono::hours(24 * (7 - i));
        fs::last_write_time(folder.path() / files[i].first, time);
    }
    Add("Disc", folder.path());
    CMediumWindow* window = Open("Disc");
    ASSERT_NE(window, nullptr);
    const std::vector<std::string> readOrder = Names(*window);
    // An independent order: by the disk's sizes and times.
    const auto by = [&](auto key) {
        std::vector<std::string> names = readOrder;
        std::stable_sort(
            names.begin(), names.end(),
            [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
        return names;
    };
    const auto size = [&](const std::string& name) { return fs::file_size(folder.path() / name); };
    const auto time = [&](const std::string& name) {
        return fs::last_write_time(folder.path() / name);
    };
    const auto reversed = [](std::vector<std::string> names) {
        std::reverse(names.begin(), names.end());
        return names;
    };
    // A click on a column's header, through the window system.
    QHeaderView* header = window->Entries()->horizontalHeader();
    const auto clickHeader = [&](int column) {
        const QPoint centre(header->sectionViewportPosition(column) +
                                header->sectionSize(column) / 2,
                            header->height() / 2);
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          header->viewport()->mapTo(window, centre));
    };
    clickHeader(CMediumEntryModel::Size);
    EXPECT_EQ(Names(*window), by(size));
    clickHeader(CMediumEntryModel::Size);
    EXPECT_EQ(Names(*window), reversed(by(size)));
    clickHeader(CMediumEntryModel::Size);
    EXPECT_EQ(Names(*window), readOrder);
    clickHeader(CMediumEntryModel::Modified);
    EXPECT_EQ(Names(*window), by(time));
    clickHeader(CMediumEntryModel::Name);
    EXPECT_THAT(Names(*window), testing::ElementsAre("Eleven", "hundred", "nine", "ten", "zero"));
}

// Names that are no UTF-8 or hold control characters show as the other windows show them,
// and the folder they name opens with the keys and from a search, their bytes kept.
TEST_P(MediumWindowTest, HostileNamesShowAndOpen) {
    const std::string latin = "caf\xe9";
    const std::string control = "tab\there\nline";
    folder.WriteFile(latin + "/menu.txt", "menu");
    folder.WriteFile(control + "/inside", "i");
    // Every byte but the slash, in a name of its own.
    for (int byte = 1; byte < 256; ++byte)
        if (byte != '/')
            folder.WriteFile(latin + "/b" + std::string(1, static_cast<char>(byte)), "x");
    Add("Disc", folder.path());
    CMediumWindow* window = Open("Disc");
    ASSERT_NE(window, nullptr);
    QTreeWidgetItem* root = window->Tree()->topLevelItem(0);
    root->setExpanded(true);
    ASSERT_TRUE(Settled(*window));
    ASSERT_NE(Child(root, QString::fromUtf8("caf\u00e9")), nullptr);
    ASSERT_NE(Child(root, QStringLiteral("tab?here?line")), nullptr);

    // Into the Latin-1 folder with the keys.
    window->Entries()->setFocus();
    ASSERT_TRUE(GoDownTo(*window, latin));
    Key(*window, Qt::Key_Return);
    EXPECT_EQ(window->Tree()->currentItem()->text(0), QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(Sorted(Names(*window)), NamesIn(folder.path() / latin));
    for (int row = 0; row < window->Model().rowCount(); ++row)
        EXPECT_EQ(window->Model().index(row, 0).data().toString(),
                  ReadableName(window->Model().Entry(row).name));
    Key(*window, Qt::Key_Backspace);
    EXPECT_EQ(CurrentName(*window), latin);
    ASSERT_TRUE(GoDownTo(*window, control));
    Key(*window, Qt::Key_Return);
    EXPECT_THAT(Names(*window), testing::ElementsAre("inside"));

    // From a search's path, bytes and all: the entry with a byte 0x80 selected.
    const std::string match = latin + "/b\x80";
    window->ShowEntryAt(folder.str() + "/" + match);
    ASSERT_TRUE(Settled(*window));
    EXPECT_EQ(window->Tree()->currentItem()->text(0), QString::fromUtf8("caf\u00e9"));
    EXPECT_EQ(CurrentName(*window), "b\x80");
}

// The location and note typed in the window are what a fresh connection reads; a field the
// user left keeps its bytes; a medium that went away is reported and the typing kept.
TEST_P(MediumWindowTest, LocationAndNoteAreSaved) {
    Add("Disc", folder.path());
    CMediumWindow* window = Open("Disc");
    ASSERT_NE(window, nullptr);
    auto* shelf = window->findChild<QLineEdit*>(QStringLiteral("shelfLocation"));
    auto* note = window->findChild<QLineEdit*>(QStringLiteral("shelfNote"));
    auto* save = window->findChild<QPushButton*>(QStringLiteral("saveShelf"));
    EXPECT_FALSE(save->isEnabled());
    const auto type = [&](QLineEdit* edit, const std::string& text) {
        edit->setFocus();
        for (const char c : text)
            QTest::keyClick(window->windowHandle(), c);
    };
    type(shelf, "Box 3, shelf B");
    type(note, "Scratched");
    EXPECT_TRUE(save->isEnabled());
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Saving(); }, 10000));
    EXPECT_FALSE(save->isEnabled());
    ASSERT_EQ(OpenCatalogue(location)->Media().size(), 1u);
    EXPECT_EQ(OpenCatalogue(location)->Media()[0].location, "Box 3, shelf B");
    EXPECT_EQ(OpenCatalogue(location)->Media()[0].note, "Scratched");
    EXPECT_TRUE(prompter.messages.empty());

    ASSERT_TRUE(OpenCatalogue(location)->Forget("Disc"));
    type(note, "!");
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      save->mapTo(window, save->rect().center()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Saving(); }, 10000));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_THAT(prompter.messages[0].text, testing::HasSubstr("no medium \"Disc\""));
    EXPECT_EQ(note->text(), QStringLiteral("Scratched!"));
    EXPECT_TRUE(save->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Stores, MediumWindowTest, testing::Values("sqlite", "postgres"),
                         [](const testing::TestParamInfo<std::string>& store) {
                             return store.param;
                         });

class MediumWindowOnSqliteTest : public MediumWindowTest {};

// A note written before the window (by another program, in Latin-1) keeps its bytes when only
// the location changes.
TEST_P(MediumWindowOnSqliteTest, ANoteLeftAsItIsKeepsItsBytes) {
    Add("Disc", folder.path());
    sqlite3* other = nullptr;
    sqlite3_open(location.c_str(), &other);
    ASSERT_EQ(sqlite3_exec(other, "UPDATE media SET note = CAST(X'4361666520E9' AS TEXT)", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    CMediumWindow* window = Open("Disc");
    ASSERT_NE(window, nullptr);
    auto* note = window->findChild<QLineEdit*>(QStringLiteral("shelfNote"));
    EXPECT_EQ(note->text(), QString::fromUtf8("Cafe \u00e9"));
    window->findChild<QLineEdit*>(QStringLiteral("shelfLocation"))->setFocus();
    QTest::keyClick(window->windowHandle(), Qt::Key_X);
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Saving(); }, 10000));
    EXPECT_EQ(OpenCatalogue(location)->Media()[0].location, "x");
    EXPECT_EQ(OpenCatalogue(location)->Media()[0].note, "Cafe \xe9");
}

// Closed while its save waits for another program's lock, the window stays until the save is
// done, then goes.
TEST_P(MediumWindowOnSqliteTest, ClosingWhileSavingKeepsTheSave) {
    Add("Disc", folder.path());
    CMediumWindow* window = Open("Disc");
    ASSERT_NE(window, nullptr);
    sqlite3* other = TakeSqliteWriteLock(location);
    window->findChild<QLineEdit*>(QStringLiteral("shelfLocation"))->setFocus();
    QTest::keyClick(window->windowHandle(), Qt::Key_Q);
    QTest::keyClick(window->windowHandle(), Qt::Key_Return);
    ASSERT_TRUE(window->Saving());
    window->close();
    EXPECT_TRUE(window->isVisible());
    QTest::qWait(300);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Menu().MediumWindow("Disc") == nullptr; }, 10000));
    EXPECT_EQ(OpenCatalogue(location)->Media()[0].location, "q");
}

// Media opens the window by a double-click on a medium, by Browse, and by Enter.
TEST_P(MediumWindowOnSqliteTest, MediaOpensTheWindow) {
    folder.WriteFile("trip/x.txt", "x");
    Add("Disc", folder.path());
    Add("Trip", folder.path() / "trip");
    // The dialog is modal: it is driven from inside its loop, once it shows.
    const auto inMedia = [&](std::function<void(CMediaDlg&)> act) {
        WhenModal<CMediaDlg>([act](CMediaDlg& dialog) {
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            act(dialog);
            if (dialog.isVisible())
                dialog.reject();
        });
        Action("actionMedia")->trigger();
    };
    inMedia([](CMediaDlg& dialog) {
        QTableWidget* table = dialog.Table();
        const QRect row = table->visualRect(table->model()->index(1, 0));
        QTest::mouseDClick(dialog.windowHandle(), Qt::LeftButton, {},
                           table->viewport()->mapTo(&dialog, row.center()));
    });
    CMediumWindow* trip = Menu().MediumWindow("Trip");
    ASSERT_NE(trip, nullptr);
    ASSERT_TRUE(Ready(*trip));
    EXPECT_EQ(trip->findChild<QLabel*>(QStringLiteral("mediumFolder"))->text(),
              QString::fromStdString((folder.path() / "trip").string()));
    EXPECT_THAT(Names(*trip), testing::ElementsAre("x.txt"));

    inMedia([](CMediaDlg& dialog) {
        dialog.Table()->selectRow(0);
        auto* browse = dialog.findChild<QPushButton*>(QStringLiteral("browseButton"));
        QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {},
                          browse->mapTo(&dialog, browse->rect().center()));
    });
    CMediumWindow* disc = Menu().MediumWindow("Disc");
    ASSERT_NE(disc, nullptr);
    ASSERT_TRUE(Ready(*disc));
    EXPECT_EQ(Sorted(Names(*disc)), NamesIn(folder.path()));

    // Enter opens the selected medium; the window that is open comes up again.
    trip->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Menu().MediumWindow("Trip") == nullptr; }));
    inMedia([](CMediaDlg& dialog) {
        dialog.Table()->setFocus();
        dialog.Table()->selectRow(1);
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Return);
    });
    ASSERT_NE(Menu().MediumWindow("Trip"), nullptr);
    inMedia([](CMediaDlg& dialog) {
        dialog.Table()->selectRow(0);
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Return);
    });
    EXPECT_EQ(Menu().MediumWindow("Disc"), disc);
}

// "List This Folder" puts the catalogued folder in the form: the folder gone from the disk, Go
// writes the listing file that the disk gave, byte for byte, and the status bar names the
// medium. Such a listing is not offered to the catalogue again, and typing another folder
// returns the form to the disk.
TEST_P(MediumWindowTest, ListThisFolderListsItAsTheDiskDid) {
    folder.WriteFile("trip/notes.txt", "notes");
    folder.WriteFile("trip/days/monday.jpg", std::string(3000, 'm'));
    folder.WriteFile("trip/zz early.txt", "z");
    Doc().SetClock([] { return std::time_t{1796735109}; });
    Click(IDC_TO_FILE);
    const std::string trip = folder.str() + "/trip";
    TypeFolder(trip);
    const TempDir out;
    dialogs.saveFileName = out.str() + "/live.txt";
    ClickGo();
    const std::string live = ReadAll(out.path() / "live.txt");
    ASSERT_THAT(live, testing::HasSubstr("zz early.txt"));
    Add("Disc", folder.path());
    fs::remove_all(folder.path() / "trip");

    CMediumWindow* window = Open("Disc");
    ASSERT_NE(window, nullptr);
    window->ShowEntryAt(trip + "/notes.txt");
    ASSERT_TRUE(Settled(*window));
    ASSERT_EQ(window->Tree()->currentItem()->text(0), QStringLiteral("trip"));
    QTest::keyClick(window->windowHandle(), Qt::Key_I, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return View()->ListsRecordedFolder(); }, 5000));
    EXPECT_EQ(Control<QLineEdit>(IDC_FOLDER)->text().toStdString(), trip);
    EXPECT_THAT(Frame()->StatusText().toStdString(), testing::StartsWith("Catalogued as Disc, "));

    dialogs.saveFileName = out.str() + "/catalogued.txt";
    ClickGo();
    EXPECT_EQ(ReadAll(out.path() / "catalogued.txt"), live);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Frame()->StatusText().startsWith(QStringLiteral("Catalogued as Disc, ")); },
        2000))
        << Frame()->StatusText().toStdString();
    bool asked = false;
    Menu().askMedium = [&](const std::string&) {
        asked = true;
        return std::optional<CCatalogueMenu::MediumToAdd>();
    };
    Action("actionAddToCatalogue")->trigger();
    EXPECT_FALSE(asked);

    Frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    auto* edit = Control<QLineEdit>(IDC_FOLDER);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(Frame()->windowHandle(), Qt::Key_Backspace);
    EXPECT_FALSE(View()->ListsRecordedFolder());
}

// A double-click on a match in Find opens the medium's window at the match's folder.
TEST_P(MediumWindowOnSqliteTest, FindOpensTheMatchsFolder) {
    folder.WriteFile("deep/er/still/report.txt", "report");
    Add("Disc", folder.path());
    Action("actionFindInCatalogue")->trigger();
    CFindCatalogueWindow* find = Menu().FindWindow();
    find->findChild<QLineEdit*>(QStringLiteral("searchField"))->setText("report");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !find->Searching() && find->Model().rowCount() == 1; }, 5000));
    find->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(find));
    QTableView* table = find->Table();
    const QRect row = table->visualRect(find->Model().index(0, CCatalogueMatchModel::Path));
    QTest::mouseDClick(find->windowHandle(), Qt::LeftButton, {},
                       table->viewport()->mapTo(find, row.center()));
    CMediumWindow* window = Menu().MediumWindow("Disc");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Ready(*window));
    EXPECT_EQ(window->Tree()->currentItem()->text(0), QStringLiteral("still"));
    EXPECT_EQ(CurrentName(*window), "report.txt");
    // Backspace twice: the folders above it were read on the way.
    Key(*window, Qt::Key_Backspace);
    Key(*window, Qt::Key_Backspace);
    EXPECT_EQ(window->Tree()->currentItem()->text(0), QStringLiteral("deep"));
    EXPECT_EQ(CurrentName(*window), "er");
}

INSTANTIATE_TEST_SUITE_P(Stores, MediumWindowOnSqliteTest, testing::Values("sqlite"),
                         [](const testing::TestParamInfo<std::string>& store) {
                             return store.param;
                         });

} // namespace
