#pragma once

#include "tests/app/AppFixture.h"
#include "tests/support/PostgresServer.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <optional>
#include <string>

// The application with a catalogue of the test's own, named by CATALOGRIUM3_CATALOGUE: a file
// for the parameter "sqlite", a database on a PostgreSQL server started for the test for
// "postgres" (skipped where no server is installed).
class CatalogueAppTest : public AppTest, public testing::WithParamInterface<std::string> {
protected:
    static constexpr const char* kDatabase = "catalogue";

    void SetUp() override {
        if (GetParam() == "postgres") {
            SKIP_WITHOUT_POSTGRES();
            server.emplace();
            MakeDatabase();
            location = server->Uri(kDatabase);
        } else {
            location = (data.path() / "catalogue.sqlite").string();
        }
        setenv("CATALOGRIUM3_CATALOGUE", location.c_str(), 1);
        BeforeTheApplication();
        AppTest::SetUp();
    }
    void TearDown() override { unsetenv("CATALOGRIUM3_CATALOGUE"); }

    // What the catalogue holds before the application starts.
    virtual void BeforeTheApplication() {}

    std::optional<PostgresServer> server;
    TempDir data;
    std::string location;

private:
    void MakeDatabase() {
        PGconn* conn = PQconnectdb(server->Uri().c_str());
        PGresult* result = PQexec(conn, (std::string("CREATE DATABASE ") + kDatabase).c_str());
        ASSERT_EQ(PQresultStatus(result), PGRES_COMMAND_OK) << PQerrorMessage(conn);
        PQclear(result);
        PQfinish(conn);
    }
};
