#include "FindSql.h"

#include "catalogue/NameKey.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

class Builder {
public:
    std::string Param(SqlValue value) {
        m_statement.params.push_back(std::move(value));
        return "$" + std::to_string(m_statement.params.size());
    }
    void Where(const std::string& condition) {
        m_where += m_where.empty() ? " WHERE " : " AND ";
        m_where += condition;
    }
    SqlStatement Finish(const std::string& head, const std::string& from, const std::string& tail) {
        m_statement.text = head + from + m_where + tail;
        return std::move(m_statement);
    }

private:
    SqlStatement m_statement;
    std::string m_where;
};

// A LIKE pattern that matches `text` literally.
std::string LikeLiteral(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == '_' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

std::string LikeFromGlob(const std::string& glob) {
    std::string out;
    for (const char c : glob) {
        if (c == '*')
            out += '%';
        else if (c == '?')
            out += '_';
        else
            out += LikeLiteral(std::string(1, c));
    }
    return out;
}

// SQLite: keys are compared as bytes, which for valid UTF-8 finds what comparing characters
// finds.
void SqliteNameMatch(Builder& b, const NamePattern& pattern) {
    const std::string key = EntryKeySql(SqlDialect::Sqlite);
    if (pattern.glob)
        b.Where("catalogue_glob(" + b.Param(pattern.key) + ", " + key + ")");
    else if (!pattern.key.empty())
        b.Where("instr(CAST(" + key + " AS BLOB), " + b.Param(SqlBytes{pattern.key}) + ") > 0");
}

// PostgreSQL: LIKE on the key.
void PostgresNameMatch(Builder& b, const NamePattern& pattern) {
    const std::string key = EntryKeySql(SqlDialect::Postgres);
    if (pattern.glob)
        b.Where(key + " LIKE " + b.Param(LikeFromGlob(pattern.key)));
    else if (!pattern.key.empty())
        b.Where(key + " LIKE " + b.Param("%" + LikeLiteral(pattern.key) + "%"));
}

// Sizes are stored as signed 64-bit numbers: a minimum beyond them matches nothing, a maximum
// beyond them bounds nothing.
void AddSizeRange(Builder& b, const FindQuery& query) {
    constexpr auto kLargestSize =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (query.minSize && *query.minSize > kLargestSize)
        b.Where("1 = 0");
    else if (query.minSize)
        b.Where("e.size >= " + b.Param(static_cast<std::int64_t>(*query.minSize)));
    if (query.maxSize && *query.maxSize <= kLargestSize)
        b.Where("e.size <= " + b.Param(static_cast<std::int64_t>(*query.maxSize)));
}

void AddBounds(Builder& b, const FindQuery& query) {
    AddSizeRange(b, query);
    if (query.modifiedFrom)
        b.Where("e.modified >= " + b.Param(*query.modifiedFrom));
    if (query.modifiedTo)
        b.Where("e.modified <= " + b.Param(*query.modifiedTo));
}

// PostgreSQL is given the ids as one array: a list of thousands of numbers in the statement
// costs it more to parse and to plan than to run.
std::string IdAmong(Builder& b, SqlDialect dialect, std::span<const std::int64_t> ids) {
    if (dialect == SqlDialect::Sqlite)
        return "e.id IN (" + NumberList(ids) + ")";
    return "e.id = ANY(" + b.Param("{" + NumberList(ids) + "}") + "::bigint[])";
}

} // namespace

SqlStatement MatchStatement(const FindQuery& query, const NamePattern& pattern, SqlDialect dialect,
                            const std::vector<std::int64_t>& media,
                            std::span<const std::int64_t> candidates, bool count) {
    Builder b;
    b.Where("e.medium IN (" + NumberList(media) + ")");
    if (!candidates.empty())
        b.Where(IdAmong(b, dialect, candidates));
    if (dialect == SqlDialect::Sqlite)
        SqliteNameMatch(b, pattern);
    else
        PostgresNameMatch(b, pattern);
    AddBounds(b, query);
    if (count)
        return b.Finish("SELECT count(*)", " FROM entries e", "");
    return b.Finish("SELECT e.parent, e.name, e.size, e.modified, e.attributes", " FROM entries e",
                    "");
}

// lower() without ICU, which the program never loads, changes the bytes A-Z alone; it reads a
// name's bytes as they are.
std::string EntryKeySql(SqlDialect dialect) {
    return dialect == SqlDialect::Sqlite ? "coalesce(e.key, lower(e.name))" : "e.key";
}

bool KeyMadeByLower(std::string_view name, std::string_view key) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return std::ranges::equal(name, key, {}, lower);
}

std::string NumberList(std::span<const std::int64_t> numbers) {
    std::string list;
    for (const std::int64_t n : numbers) {
        if (!list.empty())
            list += ", ";
        list += std::to_string(n);
    }
    return list.empty() ? "NULL" : list;
}

// Made with one allocation: a search or a comparison makes a million of them.
std::string MatchPath(std::string_view mediumFolder, std::string_view folderBelow,
                      std::string_view name) {
    const std::string_view folder = mediumFolder.empty() ? "/" : mediumFolder;
    const bool slash = folder.back() != '/';
    std::string path;
    path.reserve(folder.size() + (slash ? 1 : 0) + folderBelow.size() + name.size());
    path.append(folder);
    if (slash)
        path += '/';
    path.append(folderBelow);
    path.append(name);
    return path;
}

bool PathNameLess(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    if (const int c = std::memcmp(a.data(), b.data(), common); c != 0)
        return c < 0;
    if (a.size() == b.size())
        return false;
    if (a.size() < b.size())
        return '/' < static_cast<unsigned char>(b[common]);
    return static_cast<unsigned char>(a[common]) < '/';
}
