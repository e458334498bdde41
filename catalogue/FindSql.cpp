#include "FindSql.h"

#include "NameKey.h"
#include "Text.h"

#include <algorithm>
#include <limits>

namespace {

class Builder {
public:
    explicit Builder(SqlDialect dialect) : m_dialect(dialect) {}

    std::string Param(SqlValue value) {
        m_statement.params.push_back(std::move(value));
        return "$" + std::to_string(m_statement.params.size());
    }
    void Where(const std::string& condition) {
        m_where += m_where.empty() ? " WHERE " : " AND ";
        m_where += condition;
    }
    SqlDialect Dialect() const { return m_dialect; }
    SqlStatement Finish(const std::string& head, const std::string& from, const std::string& tail) {
        m_statement.text = head + from + m_where + tail;
        return std::move(m_statement);
    }

private:
    SqlDialect m_dialect;
    SqlStatement m_statement;
    std::string m_where;
};

// An FTS5 phrase: the text in double quotes, inner quotes doubled.
std::string FtsPhrase(const std::string& text) {
    std::string phrase = "\"";
    for (const char c : text) {
        phrase += c;
        if (c == '"')
            phrase += '"';
    }
    return phrase + '"';
}

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

// The distinct trigrams of the terms, each an FTS5 phrase of one token.
std::string TrigramMatch(const std::vector<std::string>& terms) {
    std::vector<std::string> trigrams;
    for (const auto& term : terms) {
        const std::u32string chars = DecodeLenient(term);
        for (std::size_t i = 0; i + 3 <= chars.size(); ++i) {
            std::string trigram = FtsPhrase(EncodeUtf8(chars.substr(i, 3)));
            if (std::find(trigrams.begin(), trigrams.end(), trigram) == trigrams.end())
                trigrams.push_back(std::move(trigram));
        }
    }
    std::string match;
    for (const auto& trigram : trigrams)
        match += (match.empty() ? "" : " AND ") + trigram;
    return match;
}

// SQLite: the trigram index finds the names that hold every trigram of the pattern's terms
// (it keeps no positions, which makes it small); the key of each is then checked. Without a
// term of three characters the index cannot help. A key equal to the name is not stored: the
// name stands for it.
std::string SqliteNameMatch(Builder& b, const NamePattern& pattern) {
    std::string from = " FROM entries e";
    if (!pattern.indexTerms.empty()) {
        from = " FROM entry_names CROSS JOIN entries e ON e.medium = entry_names.rowid >> " +
               std::to_string(kIndexIdBits) + " AND e.id = entry_names.rowid & " +
               std::to_string((std::int64_t{1} << kIndexIdBits) - 1);
        b.Where("entry_names MATCH " + b.Param(TrigramMatch(pattern.indexTerms)));
    }
    // Keys are compared as bytes, which for valid UTF-8 finds what comparing characters finds,
    // without making a text of each name that stands for its key.
    const std::string key = "coalesce(e.key, e.name)";
    if (pattern.glob)
        b.Where("catalogue_glob(" + b.Param(pattern.key) + ", " + key + ")");
    else if (!pattern.key.empty())
        b.Where("instr(CAST(" + key + " AS BLOB), " + b.Param(SqlBytes{pattern.key}) + ") > 0");
    return from;
}

// PostgreSQL: LIKE on the key, which the pg_trgm index serves.
std::string PostgresNameMatch(Builder& b, const NamePattern& pattern) {
    if (pattern.glob)
        b.Where("e.key LIKE " + b.Param(LikeFromGlob(pattern.key)));
    else if (!pattern.key.empty())
        b.Where("e.key LIKE " + b.Param("%" + LikeLiteral(pattern.key) + "%"));
    return " FROM entries e";
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

void AddFilters(Builder& b, const FindQuery& query) {
    if (query.medium)
        b.Where("m.name = " + b.Param(*query.medium));
    AddSizeRange(b, query);
    if (query.modifiedFrom)
        b.Where("e.modified >= " + b.Param(*query.modifiedFrom));
    if (query.modifiedTo)
        b.Where("e.modified <= " + b.Param(*query.modifiedTo));
}

std::string OrderBy(const FindQuery& query, SqlDialect dialect) {
    const std::string medium = dialect == SqlDialect::Postgres ? "m.name COLLATE \"C\"" : "m.name";
    const std::string direction = query.descending ? " DESC" : "";
    // A folder's rank is its place in the order of its medium's folder paths: by medium, then
    // path, puts the matches of one folder together, the folders in the order of their paths.
    std::string first;
    switch (query.order) {
    case MatchOrder::Medium:
    case MatchOrder::Path:
        return " ORDER BY " + medium + direction + ", f.rank" + direction + ", e.name" + direction;
    case MatchOrder::Size:
        first = "e.size";
        break;
    case MatchOrder::Modified:
        first = "e.modified";
        break;
    case MatchOrder::Attributes:
        first = "e.attributes";
        break;
    }
    return " ORDER BY " + first + direction + ", " + medium + ", f.rank, e.name";
}

std::string Paging(Builder& b, const FindQuery& query) {
    std::string paging;
    if (query.limit)
        paging += " LIMIT " + b.Param(static_cast<std::int64_t>(*query.limit));
    else if (query.offset != 0 && b.Dialect() == SqlDialect::Sqlite)
        paging += " LIMIT -1";
    if (query.offset != 0)
        paging += " OFFSET " + b.Param(static_cast<std::int64_t>(query.offset));
    return paging;
}

} // namespace

SqlStatement FindStatement(const FindQuery& query, SqlDialect dialect, bool count) {
    Builder b(dialect);
    const NamePattern pattern = ParsePattern(query.pattern);
    std::string from =
        dialect == SqlDialect::Sqlite ? SqliteNameMatch(b, pattern) : PostgresNameMatch(b, pattern);
    from += " JOIN media m ON m.id = e.medium JOIN folders f ON f.medium = e.medium AND f.id = "
            "e.parent";
    AddFilters(b, query);
    if (count)
        return b.Finish("SELECT count(*)", from, "");
    const std::string tail = OrderBy(query, dialect) + Paging(b, query);
    return b.Finish("SELECT m.name, m.folder, e.medium, e.parent, e.name, e.size, e.modified, "
                    "e.attributes",
                    from, tail);
}

std::string MatchPath(const std::string& mediumFolder, const std::string& folderBelow,
                      const std::string& name) {
    std::string path = mediumFolder.empty() ? "/" : mediumFolder;
    if (path.back() != '/')
        path += '/';
    return path + folderBelow + name;
}
