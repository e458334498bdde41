#pragma once

#include "catalogue/Adding.h"
#include "catalogue/Catalogue.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <set>
#include <string>

// The one PostgreSQL server of the test program, started when a test first needs it.
inline PostgresServer& SharedPostgres() {
    static PostgresServer server;
    return server;
}

// 20,000 files, made once for the test program.
inline const std::filesystem::path& ManyFiles() {
    static TempDir dir;
    static const std::filesystem::path tree = [] {
        for (int folder = 0; folder < 40; ++folder) {
            const auto sub = dir.MakeDir(std::to_string(folder));
            for (int file = 0; file < 500; ++file)
                std::ofstream(sub / ("file" + std::to_string(file * 7919)));
        }
        return dir.path();
    }();
    return tree;
}

inline std::vector<CatalogueMatch> Matches(ICatalogue& catalogue, const FindQuery& query) {
    std::vector<CatalogueMatch> matches;
    catalogue.Find(query, [&](const CatalogueMatch& m) {
        matches.push_back(m);
        return true;
    });
    return matches;
}

inline std::set<std::string> Paths(const std::vector<CatalogueMatch>& matches) {
    std::set<std::string> paths;
    for (const auto& m : matches)
        paths.insert(m.path);
    return paths;
}

inline FindQuery Query(const std::string& pattern) {
    FindQuery query;
    query.pattern = pattern;
    return query;
}

inline void Add(ICatalogue& catalogue, const std::string& name, const std::filesystem::path& folder,
                bool replace = false) {
    const std::atomic<bool> stop = false;
    ASSERT_EQ(AddToCatalogue(catalogue, name, folder.string(), replace, stop), AddOutcome::Added);
}

// Everything a catalogue holds, for checking that it did not change.
inline std::string Snapshot(ICatalogue& catalogue) {
    std::string text;
    for (const auto& m : catalogue.Media())
        text += m.name + '|' + m.folder + '|' + std::to_string(m.files) + '|' +
                std::to_string(m.bytes) + '\n';
    for (const auto& m : Matches(catalogue, Query("")))
        text += m.medium + '|' + m.path + '|' + std::to_string(m.size) + '\n';
    return text;
}

// Runs one statement on a PostgreSQL database, as an administrator would.
inline void PostgresExec(const std::string& uri, const std::string& sql) {
    PGconn* conn = PQconnectdb(uri.c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    const bool ok =
        PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
    const std::string error = PQerrorMessage(conn);
    PQclear(result);
    PQfinish(conn);
    if (!ok)
        throw std::runtime_error(sql + ": " + error);
}

// The first column of the first row of `sql` on a PostgreSQL database.
inline std::string PostgresValue(const std::string& uri, const std::string& sql) {
    PGconn* conn = PQconnectdb(uri.c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    std::string value = PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
    PQclear(result);
    PQfinish(conn);
    return value;
}

// A fresh, empty catalogue of either kind for each test: an SQLite file in a temporary folder,
// or a new database on the shared server.
class CatalogueTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "sqlite") {
            m_location = (m_dir.MakeDir("data") / "catalogue.sqlite").string();
        } else {
            SKIP_WITHOUT_POSTGRES();
            static int databases = 0;
            const std::string name = "catalogue" + std::to_string(++databases);
            PostgresExec(SharedPostgres().Uri(), "CREATE DATABASE " + name);
            m_location = SharedPostgres().Uri(name);
        }
    }

    bool IsSqlite() const { return GetParam() == "sqlite"; }
    const std::string& Location() const { return m_location; }
    std::unique_ptr<ICatalogue> Open() const { return OpenCatalogue(m_location); }

    TempDir m_dir;
    std::string m_location;
};

inline std::string BackendName(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}
