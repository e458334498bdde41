#pragma once

#include "Catalogue.h"
#include "Connection.h"

#include <string>
#include <vector>

enum class SqlDialect { Sqlite, Postgres };

// A statement with its parameters, written $1, $2, ... in the order of `params`.
struct SqlStatement {
    std::string text;
    std::vector<SqlValue> params;
};

// SQLite's name index numbers an entry medium << kIndexIdBits | id.
inline constexpr int kIndexIdBits = 40;

// The search as one statement. Its rows are: medium name, medium folder, medium id, the id of
// the entry's folder, entry name, size, modified, attributes. With `count`, one row with the
// number of matches.
SqlStatement FindStatement(const FindQuery& query, SqlDialect dialect, bool count);

// The full path of a match: the listed folder, then the path below it.
std::string MatchPath(const std::string& mediumFolder, const std::string& folderBelow,
                      const std::string& name);
