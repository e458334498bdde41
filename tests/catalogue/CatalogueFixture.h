#pragma once

#include "Catalogue.h"
#include "PostgresServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <memory>
#include <string>

// The one PostgreSQL server of the test program, started when a test first needs it.
inline PostgresServer& SharedPostgres() {
    static PostgresServer server;
    return server;
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

// A fresh, empty catalogue of either kind for each test: an SQLite file in a temporary folder,
// or a new database on the shared server.
class CatalogueTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "sqlite") {
            m_location = (m_dir.path() / "data/catalogue.sqlite").string();
        } else {
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
