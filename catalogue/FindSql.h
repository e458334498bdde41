#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Connection.h"
#include "catalogue/NameKey.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class SqlDialect { Sqlite, Postgres };

// A statement with its parameters, written $1, $2, ... in the order of `params`.
struct SqlStatement {
    std::string text;
    std::vector<SqlValue> params;
};

// The entries of `media` that match the query's pattern (`pattern` parsed from it) and bounds,
// only those numbered `candidates` when it is not empty (then of one medium). The rows are: the
// entry's folder, its name, size, modified, attributes; with
// `count`, one row with the number of matches.
SqlStatement MatchStatement(const FindQuery& query, const NamePattern& pattern, SqlDialect dialect,
                            const std::vector<std::int64_t>& media,
                            std::span<const std::int64_t> candidates, bool count);

// An entry's key in SQL over `entries e`. SQLite leaves out a key that its lower() makes from
// the name (the name with its ASCII letters in lower case), as most names' keys are; PostgreSQL
// keeps every key.
std::string EntryKeySql(SqlDialect dialect);

// Whether SQLite's lower() makes `key` from `name`, so that SQLite need not keep it.
bool KeyMadeByLower(std::string_view name, std::string_view key);

// The full path of a match: the listed folder, then the path below it.
std::string MatchPath(std::string_view mediumFolder, std::string_view folderBelow,
                      std::string_view name);

// "1, 2, 3": numbers for a statement's list.
std::string NumberList(std::span<const std::int64_t> numbers);

// Whether `a + "/"` comes before `b + "/"` as bytes: the order of folder paths, in which a
// folder's name is followed by "/" and the names below it.
bool PathNameLess(std::string_view a, std::string_view b);
