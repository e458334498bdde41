// Calls that wait: stopped from another thread while they search or wait for a lock.

#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/SilentServer.h"
#include "tests/support/WaitUntil.h"

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Another program that holds the catalogue's write lock until dropped.
class LockHolder {
public:
    LockHolder(const std::string& location, bool sqlite) {
        if (sqlite) {
            sqlite3_open(location.c_str(), &m_sqlite);
            Check(sqlite3_exec(m_sqlite, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) ==
                  SQLITE_OK);
        } else {
            m_postgres = PQconnectdb(location.c_str());
            PGresult* r = PQexec(m_postgres, "BEGIN; LOCK TABLE media IN ACCESS EXCLUSIVE MODE");
            Check(PQresultStatus(r) == PGRES_COMMAND_OK);
            PQclear(r);
        }
    }
    ~LockHolder() {
        sqlite3_close(m_sqlite);
        PQfinish(m_postgres);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    static void Check(bool locked) {
        if (!locked)
            throw std::runtime_error("cannot lock the catalogue");
    }
    sqlite3* m_sqlite = nullptr;
    PGconn* m_postgres = nullptr;
};

// Runs `call` on a thread of its own, interrupts it once it is under way, and gives the
// exception it ended with. A call that ends before it is under way (a search that fails before
// its first match), that does not get under way or that does not end, is reported rather than
// waited for.
template <typename Call>
std::exception_ptr InterruptedCall(ICatalogue& catalogue, Call call, std::future<void> underWay) {
    auto done = std::async(std::launch::async, [&] {
        try {
            call();
        } catch (...) {
            return std::current_exception();
        }
        return std::exception_ptr();
    });
    for (int waits = 0; underWay.wait_for(10ms) != std::future_status::ready; ++waits) {
        if (done.wait_for(0s) == std::future_status::ready) {
            ADD_FAILURE() << "the call ended before it was under way";
            return done.get();
        }
        if (waits == 2000) {
            ADD_FAILURE() << "the call did not get under way";
            std::abort(); // the thread still uses the catalogue
        }
    }
    catalogue.Interrupt();
    if (done.wait_for(20s) != std::future_status::ready) {
        ADD_FAILURE() << "the call did not end";
        std::abort(); // the thread still uses the catalogue
    }
    return done.get();
}

bool IsInterruption(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CatalogueInterrupted&) {
        return true;
    } catch (...) {
        return false;
    }
}

// A search of "file" that takes its time over each match, interrupted at the first: how it
// ended, and how many matches it handed on.
std::exception_ptr SearchInterruptedAtFirstMatch(ICatalogue& catalogue, std::size_t& seen) {
    std::promise<void> firstMatch;
    seen = 0;
    return InterruptedCall(
        catalogue,
        [&] {
            catalogue.Find(Query("file"), [&](const CatalogueMatch&) {
                if (++seen == 1)
                    firstMatch.set_value();
                std::this_thread::sleep_for(1ms);
                return true;
            });
        },
        firstMatch.get_future());
}

using CatalogueInterrupt = CatalogueTest;

TEST_P(CatalogueInterrupt, StopsASearchUnderWayAndTheCatalogueServesTheNext) {
    auto catalogue = Open();
    Add(*catalogue, "Many", ManyFiles());
    std::size_t seen = 0;
    EXPECT_TRUE(IsInterruption(SearchInterruptedAtFirstMatch(*catalogue, seen)));
    EXPECT_LT(seen, 20000u);
    // The interruption was for that call only.
    EXPECT_EQ(catalogue->Count(Query("file0")), 40u);
    EXPECT_EQ(catalogue->Count(Query("file")), 20000u);
}

// A search of many media (on a server, read on two connections) stopped at its first match:
// the catalogue serves the next search whole, and no connection outlives the catalogue.
TEST_P(CatalogueInterrupt, StopsASearchOfManyMediaAndLeavesNoConnectionBehind) {
    auto catalogue = Open();
    for (int folder = 0; folder < 6; ++folder)
        Add(*catalogue, "Part " + std::to_string(folder), ManyFiles() / std::to_string(folder));
    for (int search = 0; search < 2; ++search) {
        std::size_t seen = 0;
        EXPECT_TRUE(IsInterruption(SearchInterruptedAtFirstMatch(*catalogue, seen)));
        EXPECT_LT(seen, 3000u);
        EXPECT_EQ(Matches(*catalogue, Query("file")).size(), 3000u);
    }
    // A match handed to a caller that fails ends the search with that failure, at once.
    std::size_t seen = 0;
    EXPECT_THROW(catalogue->Find(Query("file"),
                                 [&](const CatalogueMatch&) -> bool {
                                     if (++seen == 600)
                                         throw std::runtime_error("the caller failed");
                                     return true;
                                 }),
                 std::runtime_error);
    EXPECT_EQ(seen, 600u);
    EXPECT_EQ(Matches(*catalogue, Query("file0")).size(), 6u);
    // An interruption between calls stops the next call only, not the search after it.
    catalogue->Interrupt();
    EXPECT_THROW(catalogue->Media(), CatalogueInterrupted);
    EXPECT_EQ(Matches(*catalogue, Query("file")).size(), 3000u);
    if (IsSqlite())
        return;
    const auto connections = [&] {
        return std::stoi(PostgresValue(Location(), "SELECT count(*) FROM pg_stat_activity WHERE "
                                                   "application_name = 'catalogrium3'"));
    };
    EXPECT_LE(connections(), 2);
    catalogue.reset();
    WaitUntil([&] { return connections() == 0; }, 5s, 50ms);
    EXPECT_EQ(connections(), 0);
}

TEST_P(CatalogueInterrupt, StopsAWaitForAnotherProgramsLockAndChangesNothing) {
    m_dir.WriteFile("one/a.txt", "a");
    auto catalogue = Open();
    Add(*catalogue, "One", m_dir.path() / "one");
    const std::string before = Snapshot(*catalogue);
    {
        const LockHolder lock(Location(), IsSqlite());
        std::promise<void> started;
        const auto error = InterruptedCall(
            *catalogue,
            [&] {
                started.set_value();
                catalogue->Forget("One");
            },
            started.get_future());
        EXPECT_TRUE(IsInterruption(error));
    }
    EXPECT_EQ(Snapshot(*catalogue), before);
    // An interruption between two calls stops the next one, whichever thread makes it, and
    // only that one.
    catalogue->Interrupt();
    EXPECT_THROW(catalogue->Media(), CatalogueInterrupted);
    EXPECT_TRUE(catalogue->Forget("One"));
    EXPECT_TRUE(catalogue->Media().empty());
}

// A server that takes the connection and never says a word.
TEST(PostgresCatalogue, AServerThatNeverAnswersIsGivenUpAtConnect) {
    const SilentServer server;
    const std::string uri = server.Uri("ann:s3cret@");
    auto opened = std::async(std::launch::async, [&] {
        try {
            OpenCatalogue(uri, CatalogueUse::LookUp);
            return std::string("opened");
        } catch (const CatalogueError& error) {
            return std::string(error.what());
        }
    });
    if (opened.wait_for(60s) != std::future_status::ready) {
        ADD_FAILURE() << "still connecting";
        std::abort();
    }
    const std::string message = opened.get();
    EXPECT_THAT(message, ::testing::HasSubstr("timeout"));
    EXPECT_THAT(message, ::testing::Not(::testing::HasSubstr("s3cret")));
}

INSTANTIATE_TEST_SUITE_P(Backends, CatalogueInterrupt, ::testing::Values("sqlite", "postgres"),
                         BackendName);

} // namespace
