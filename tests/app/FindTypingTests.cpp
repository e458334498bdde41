// Typing in Find in Catalogue stops the search in flight, on an SQLite file and on a real
// PostgreSQL server, with a catalogue large enough that a search takes seconds: only the last
// search's matches show, and no thread or connection of a stopped search is left behind.

#include "catalogue/Adding.h"
#include "catalogue/Catalogue.h"
#include "shell/CatalogueMenu.h"
#include "shell/FindCatalogueWindow.h"
#include "tests/app/CatalogueAppFixture.h"
#include "tests/support/MadeUpEntry.h"
#include "tests/support/PostgresServer.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

// 150,000 files: a search that matches nearly all of them takes seconds, the window taking its
// first 100,000 matches.
constexpr int kFolders = 150;
constexpr int kFilesPerFolder = 1000;
const char* const kRareNames[] = {"Zebra.jpg", "zebra crossing.png", "ZEBRA", "ze bra"};

int ThreadsOfThisProcess() {
    const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
    return static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

// One statement's single number, on the server's own database.
long long PostgresNumber(const PostgresServer& server, const std::string& sql) {
    PGconn* conn = PQconnectdb(server.Uri().c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
    const long long number = ok ? std::stoll(PQgetvalue(result, 0, 0)) : -1;
    PQclear(result);
    PQfinish(conn);
    return number;
}

class FindTypingTest : public CatalogueAppTest {
protected:
    void BeforeTheApplication() override { FillCatalogue(); }

    // Every name holds "file" but the rare ones, which are in the last folder.
    void FillCatalogue() {
        auto catalogue = OpenCatalogue(location);
        auto add = catalogue->BeginAdd(NewMedium("Disc", folder.str()), false);
        AddedFolder top{0, 1, {}};
        for (int f = 0; f < kFolders; ++f)
            top.entries.push_back(
                MadeUpEntry("folder" + std::to_string(f), EntryKind::Folder, 0, 1700000000, 0x10));
        add->AddFolder(top);
        std::int64_t next = 1 + kFolders;
        for (int f = 0; f < kFolders; ++f) {
            AddedFolder below{1 + f, next, {}};
            for (int i = 0; i < kFilesPerFolder; ++i)
                below.entries.push_back(MadeUpEntry("file" + std::to_string(i) + ".dat",
                                                    EntryKind::File, static_cast<std::uint64_t>(i),
                                                    1700000000 + i, 0x20));
            if (f == kFolders - 1)
                for (const char* name : kRareNames)
                    below.entries.push_back(
                        MadeUpEntry(name, EntryKind::File, 1, 1700000000, 0x20));
            next += static_cast<std::int64_t>(below.entries.size());
            const std::string path = "folder" + std::to_string(f);
            for (const auto& entry : below.entries)
                paths.push_back(folder.str() + "/" + path + "/" + entry.name);
            add->AddFolder(below);
        }
        add->Commit();
    }

    // The paths whose name holds `text`, case aside (the names here are ASCII).
    std::set<std::string> PathsHolding(std::string text) const {
        const auto lower = [](std::string s) {
            std::transform(s.begin(), s.end(), s.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            return s;
        };
        std::set<std::string> found;
        for (const std::string& path : paths)
            if (lower(std::filesystem::path(path).filename().string()).find(lower(text)) !=
                std::string::npos)
                found.insert(path);
        return found;
    }

    // Connections to the catalogue's database (never the counting one).
    long long Connections() const { return OfConnections("count(*)"); }
    // The server processes of those connections, told apart by the sum of their ids.
    long long ConnectionProcesses() const { return OfConnections("coalesce(sum(pid), 0)"); }
    long long OfConnections(const std::string& aggregate) const {
        return PostgresNumber(*server, "SELECT " + aggregate +
                                           " FROM pg_stat_activity WHERE datname = '" + kDatabase +
                                           "'");
    }

    // The window, idle and active, with the focus in its search field.
    CFindCatalogueWindow* OpenFind() {
        Action("actionFindInCatalogue")->trigger();
        CFindCatalogueWindow* window = app->CatalogueMenu()->FindWindow();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            return nullptr;
        window->findChild<QLineEdit*>(QStringLiteral("searchField"))->setFocus();
        // The medium filter's list has come.
        auto* medium = window->findChild<QComboBox*>(QStringLiteral("mediumFilter"));
        return QTest::qWaitFor([&] { return medium->count() == 2; }) ? window : nullptr;
    }
    static std::set<std::string> Shown(CFindCatalogueWindow& window) {
        std::set<std::string> shown;
        for (int row = 0; row < window.Model().rowCount(); ++row)
            shown.insert(window.Model().Match(row).path);
        return shown;
    }

    // Keys as the user types them: through the window system to the window's focus.
    static void Type(QWindow* window, const std::vector<int>& keys) {
        for (const int key : keys)
            QTest::keyClick(window, static_cast<Qt::Key>(key), Qt::NoModifier, 20);
    }

    std::vector<std::string> paths;
};

TEST_P(FindTypingTest, TypingStopsTheSearchInFlightAndLeavesNothingBehind) {
    CFindCatalogueWindow* window = OpenFind();
    ASSERT_NE(window, nullptr);
    const int threadsBefore = ThreadsOfThisProcess();
    const long long connectionsBefore = server ? Connections() : 0;

    QSignalSpy searches(&window->Model(), &QAbstractItemModel::modelReset);
    const auto inFlight = [&](int count) {
        return QTest::qWaitFor([&] { return searches.count() == count && window->Searching(); });
    };
    QWindow* input = window->windowHandle();
    Type(input, {Qt::Key_L, Qt::Key_E});
    ASSERT_TRUE(inFlight(1));
    // A pause after a key: the next search stops this one.
    Type(input, {Qt::Key_Backspace});
    ASSERT_TRUE(inFlight(2)) << "the first search ended before it could be stopped";
    // Quick keys: one search, after the last.
    Type(input, {Qt::Key_Backspace, Qt::Key_Z, Qt::Key_E, Qt::Key_B});
    ASSERT_EQ(searches.count(), 2) << "the second search ended before it could be stopped";
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return searches.count() == 3 && !window->Searching(); }, 30000));

    EXPECT_EQ(window->findChild<QLineEdit*>(QStringLiteral("searchField"))->text(),
              QStringLiteral("zeb"));
    const std::set<std::string> expected = PathsHolding("zeb");
    EXPECT_EQ(Shown(*window), expected);
    EXPECT_EQ(window->CountText(), QStringLiteral("%1 matches").arg(expected.size()));
    EXPECT_EQ(searches.count(), 3);

    // The stopped searches' threads end and their connections close (Qt's own idle pool
    // threads may end meanwhile too). The last search's catalogue stays open for the next
    // search: a connection, and a search's second one.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ThreadsOfThisProcess() <= threadsBefore; }, 10000))
        << ThreadsOfThisProcess() << " threads, " << threadsBefore << " before";
    if (server) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return Connections() <= connectionsBefore + 2; }, 10000))
            << Connections() << " connections, " << connectionsBefore << " before";
        EXPECT_GT(Connections(), connectionsBefore);
        // The next search asks the same server processes.
        const long long processes = ConnectionProcesses();
        Type(input, {Qt::Key_Backspace});
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return searches.count() == 4 && !window->Searching(); }, 30000));
        EXPECT_EQ(window->CountText(), QStringLiteral("%1 matches").arg(PathsHolding("ze").size()));
        EXPECT_EQ(ConnectionProcesses(), processes);
    }
    // Closed, the window keeps no connection.
    window->close();
    if (server) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return Connections() == connectionsBefore; }, 10000))
            << Connections() << " connections, " << connectionsBefore << " before";
    }
}

// Every name but a few matches: the window shows the first in path order and says that
// there are more, however many rows the server has sent ahead.
TEST_P(FindTypingTest, ASearchOfNearlyEveryNameShowsTheFirstMatches) {
    CFindCatalogueWindow* window = OpenFind();
    ASSERT_NE(window, nullptr);
    Type(window->windowHandle(), {Qt::Key_F, Qt::Key_I, Qt::Key_L, Qt::Key_E});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Searching(); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Searching(); }, 120000));

    const std::set<std::string> holding = PathsHolding("file");
    std::vector<std::string> inOrder(holding.begin(), holding.end());
    inOrder.resize(CFindCatalogueWindow::kMaxMatches);
    EXPECT_EQ(Shown(*window), std::set<std::string>(inOrder.begin(), inOrder.end()));
    EXPECT_TRUE(window->CountText().startsWith(QStringLiteral("The first ")))
        << window->CountText().toStdString();
    window->close();
}

INSTANTIATE_TEST_SUITE_P(Stores, FindTypingTest, testing::Values("sqlite", "postgres"),
                         [](const testing::TestParamInfo<std::string>& store) {
                             return store.param;
                         });

} // namespace
