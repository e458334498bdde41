#include "Copies.h"

#include "FindSql.h"
#include "FolderPaths.h"

#include <algorithm>
#include <map>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

namespace {

struct CopyMedium {
    std::string name;
    std::string folder;
    bool checksums = false;
};

// A file that a comparison selected, before its path is known.
struct CopyRow {
    std::int64_t medium = 0;
    std::int64_t parent = 0;
    std::string name;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::uint32_t attributes = 0;
    std::string same; // what the copies share besides their size: the name or the hash
};

// The catalogued media by id, and the ids of those a query compares.
class ComparedMedia {
public:
    ComparedMedia(IConnection& db, const CopiesQuery& query) {
        db.Query("SELECT id, name, folder, checksums FROM media", {}, [&](const SqlRow& row) {
            m_all.emplace(row.Int(0), CopyMedium{row.Text(1), row.Text(2), row.Int(3) != 0});
            return true;
        });
        for (const auto& [id, medium] : m_all)
            if (query.media.empty() && (query.by == CopiesBy::NameAndSize || medium.checksums))
                m_chosen.push_back(id);
        for (const std::string& name : query.media)
            Choose(name, query.by);
        std::ranges::sort(m_chosen);
        m_chosen.erase(std::unique(m_chosen.begin(), m_chosen.end()), m_chosen.end());
    }

    const CopyMedium& operator[](std::int64_t id) const { return m_all.at(id); }
    const std::vector<std::int64_t>& Chosen() const { return m_chosen; }

private:
    void Choose(const std::string& name, CopiesBy by) {
        const auto found = std::ranges::find_if(
            m_all, [&](const auto& medium) { return medium.second.name == name; });
        if (found == m_all.end())
            throw CatalogueError("There is no medium \"" + name + "\" in the catalogue.");
        if (by == CopiesBy::Content && !found->second.checksums)
            throw CatalogueError("The medium \"" + name +
                                 "\" was added without checksums: its files cannot be compared "
                                 "by content.");
        m_chosen.push_back(found->first);
    }

    std::map<std::int64_t, CopyMedium> m_all;
    std::vector<std::int64_t> m_chosen;
};

// What the copies share besides their size, and the tables that hold it, over `entries e`.
std::string SameColumn(CopiesBy by) {
    return by == CopiesBy::Content ? "h.hash" : "e.name";
}
std::string SameJoin(CopiesBy by) {
    return by == CopiesBy::Content ? " JOIN hashes h ON h.medium = e.medium AND h.id = e.id" : "";
}

constexpr const char* kRowColumns = "medium, parent, name, size, modified, attributes, same";
constexpr const char* kEntryColumns =
    "e.medium, e.parent, e.name, e.size, e.modified, e.attributes, ";

std::vector<CopyRow> ReadRows(IConnection& db, const std::string& sql) {
    std::vector<CopyRow> rows;
    db.Query(sql, {}, [&](const SqlRow& row) {
        rows.push_back({row.Int(0), row.Int(1), row.Text(2), static_cast<std::uint64_t>(row.Int(3)),
                        row.Int(4), static_cast<std::uint32_t>(row.Int(5)), row.Text(6)});
        return true;
    });
    return rows;
}

// The files of the chosen media that share their name (or hash) and size with another of them,
// those of a group together, the groups that waste the most first. Sizes are multiplied as
// decimals, which never overflow.
std::vector<CopyRow> DuplicateRows(IConnection& db, const CopiesQuery& query,
                                   const ComparedMedia& media) {
    const std::string same = SameColumn(query.by);
    return ReadRows(db, std::string("SELECT ") + kRowColumns + " FROM (SELECT " + kEntryColumns +
                            same + " AS same, count(*) OVER (PARTITION BY " + same +
                            ", e.size) AS n FROM entries e" + SameJoin(query.by) +
                            " WHERE e.kind = 0 AND e.size > 0 AND e.medium IN (" +
                            NumberList(media.Chosen()) +
                            ")) d WHERE n > 1 ORDER BY (n - 1) * 1.0 * size DESC, size DESC, same");
}

// The files of the chosen media whose name (or hash) and size no file of another medium has.
std::vector<CopyRow> LoneRows(IConnection& db, const CopiesQuery& query,
                              const ComparedMedia& media) {
    const std::string same = SameColumn(query.by);
    return ReadRows(
        db, std::string("SELECT ") + kRowColumns + " FROM (SELECT " + kEntryColumns + same +
                " AS same, min(e.medium) OVER w AS lo, max(e.medium) OVER w AS "
                "hi FROM entries e" +
                SameJoin(query.by) + " WHERE e.kind = 0 WINDOW w AS (PARTITION BY " + same +
                ", e.size)) d WHERE lo = hi AND medium IN (" + NumberList(media.Chosen()) + ")");
}

// Learns the folders of `rows`, each medium's together.
void LearnFolders(FolderPaths& paths, std::span<const CopyRow> rows) {
    std::map<std::int64_t, std::vector<std::int64_t>> folders;
    for (const CopyRow& row : rows)
        folders[row.medium].push_back(row.parent);
    for (auto& [medium, ids] : folders)
        paths.Learn(medium, std::move(ids));
}

CatalogueMatch MatchOf(const CopyRow& row, const ComparedMedia& media, FolderPaths& paths) {
    const CopyMedium& medium = media[row.medium];
    return {medium.name, MatchPath(medium.folder, paths.Below(row.medium, row.parent), row.name),
            row.size, row.modified, row.attributes};
}

bool InMediumAndPathOrder(const CatalogueMatch& a, const CatalogueMatch& b) {
    return std::tie(a.medium, a.path) < std::tie(b.medium, b.path);
}

} // namespace

void FindDuplicates(IConnection& db, const CopiesQuery& query,
                    const std::function<bool(const DuplicateGroup&)>& each) {
    const ComparedMedia media(db, query);
    if (media.Chosen().empty())
        return;
    const std::vector<CopyRow> rows = DuplicateRows(db, query, media);
    FolderPaths paths(db);
    LearnFolders(paths, rows);
    for (std::size_t first = 0; first < rows.size();) {
        db.ThrowIfInterrupted();
        DuplicateGroup group{rows[first].size, {}};
        std::size_t end = first;
        for (; end < rows.size() && rows[end].size == group.size &&
               rows[end].same == rows[first].same;
             ++end)
            group.copies.push_back(MatchOf(rows[end], media, paths));
        std::ranges::sort(group.copies, InMediumAndPathOrder);
        if (!each(group))
            return;
        first = end;
    }
}

void FindOnlyOnOne(IConnection& db, const CopiesQuery& query,
                   const std::function<bool(const CatalogueMatch&)>& each) {
    const ComparedMedia media(db, query);
    if (media.Chosen().empty())
        return;
    std::vector<CopyRow> rows = LoneRows(db, query, media);
    // A medium at a time, in the order of names, so that only one medium's paths are made at once.
    std::ranges::stable_sort(
        rows, {}, [&](const CopyRow& row) -> const std::string& { return media[row.medium].name; });
    FolderPaths paths(db);
    for (std::size_t first = 0; first < rows.size();) {
        std::size_t end = first;
        while (end < rows.size() && rows[end].medium == rows[first].medium)
            ++end;
        const std::span<const CopyRow> ofMedium(rows.data() + first, end - first);
        LearnFolders(paths, ofMedium);
        std::vector<CatalogueMatch> matches;
        matches.reserve(ofMedium.size());
        for (const CopyRow& row : ofMedium)
            matches.push_back(MatchOf(row, media, paths));
        std::ranges::sort(matches, InMediumAndPathOrder);
        for (const CatalogueMatch& match : matches) {
            db.ThrowIfInterrupted();
            if (!each(match))
                return;
        }
        first = end;
    }
}
