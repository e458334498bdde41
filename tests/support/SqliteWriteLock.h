#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

// Another program taking the SQLite catalogue at `path` for writing, as a program would: it waits
// up to 10 s for its turn (a window of the program may be opening the catalogue just then, and
// recovering its journal under the lock). The test fails when it gets no turn.
inline sqlite3* TakeSqliteWriteLock(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_busy_timeout(db, 10000);
    EXPECT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    return db;
}
