#include "FolderPaths.h"

#include "catalogue/FindSql.h"
#include "catalogue/PackedNumbers.h"

#include <stdexcept>

namespace {

// The links held before a part is written.
constexpr std::size_t kFolderLinksPartBytes = std::size_t{1} << 20;

// A medium's folders are all read once those asked for are more than this share of them: a
// folder looked up with those above it costs about as much as reading this many.
constexpr std::int64_t kShareLookedUp = 64;

[[noreturn]] void ThrowDamaged() {
    throw CatalogueError("The catalogue's tree of folders is damaged.");
}

std::uint64_t NextNumber(std::string_view bytes, std::size_t& at) {
    const auto number = ReadPackedNumber(bytes, at);
    if (!number)
        ThrowDamaged();
    return *number;
}

} // namespace

FolderLinksWriter::FolderLinksWriter(IConnection& db, std::int64_t medium)
    : m_db(db), m_medium(medium) {}

// A link: the step from the last folder's id, the parent, the rank, the name's size, the name.
void FolderLinksWriter::Add(std::int64_t id, std::int64_t parent, std::int64_t rank,
                            std::string_view name) {
    if (id <= m_lastId)
        throw std::logic_error("folder links: ids out of order");
    AppendPackedNumber(m_links, static_cast<std::uint64_t>(id - m_lastId));
    AppendPackedNumber(m_links, static_cast<std::uint64_t>(parent));
    AppendPackedNumber(m_links, static_cast<std::uint64_t>(rank));
    AppendPackedNumber(m_links, name.size());
    m_links.append(name);
    m_lastId = id;
    if (m_links.size() >= kFolderLinksPartBytes)
        WritePart();
}

void FolderLinksWriter::Finish() {
    if (!m_links.empty())
        WritePart();
}

// Each part's steps begin from 0 again, so that each part reads alone.
void FolderLinksWriter::WritePart() {
    auto rows = m_db.BeginLoad(kFolderLinksTable, {"medium", "part", "links"});
    rows->Row({m_medium, m_part++, SqlBytes{std::move(m_links)}});
    rows->Finish();
    m_links.clear();
    m_lastId = 0;
}

std::optional<std::size_t> FolderPaths::MediumFolders::PlaceOf(std::int64_t id) const {
    const auto found = std::ranges::lower_bound(folders, id, {}, &Folder::id);
    if (found == folders.end() || found->id != id)
        return std::nullopt;
    return static_cast<std::size_t>(found - folders.begin());
}

bool FolderPaths::MediumFolders::Ranked(std::int64_t id) const {
    const auto place = PlaceOf(id);
    return place && folders[*place].rank != kNoRank;
}

void FolderPaths::MediumFolders::Merge(std::vector<Folder> learnt) {
    if (folders.empty() && std::ranges::is_sorted(learnt, {}, &Folder::id)) {
        folders = std::move(learnt);
    } else {
        folders.insert(folders.end(), learnt.begin(), learnt.end());
        std::ranges::stable_sort(folders, {}, &Folder::id);
    }
    // Of a folder learnt twice, the first is kept, with the rank and the path of either.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (kept > 0 && folders[kept - 1].id == folders[i].id) {
            folders[kept - 1].rank = std::max(folders[kept - 1].rank, folders[i].rank);
            folders[kept - 1].path = std::max(folders[kept - 1].path, folders[i].path);
        } else {
            folders[kept++] = folders[i];
        }
    }
    folders.resize(kept);
}

// Ranks are looked up for the folders asked for, not for those above them, which only give
// their names to the paths.
void FolderPaths::Learn(std::int64_t medium, std::vector<std::int64_t> folders) {
    MediumFolders& known = m_media[medium];
    const auto forgetRanked = [&] {
        std::erase_if(folders,
                      [&](std::int64_t folder) { return folder == 0 || known.Ranked(folder); });
    };
    std::ranges::sort(folders);
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    forgetRanked();
    if (folders.empty())
        return;
    if (!known.whole &&
        static_cast<std::int64_t>(folders.size()) * kShareLookedUp > FoldersOf(medium)) {
        ReadEveryFolder(medium);
        forgetRanked();
    }
    // The folders still unknown are looked up with those above them: all of them when the links
    // were not read, those that they lack (a damaged catalogue) when they were.
    InBatches(folders, [&](std::span<const std::int64_t> ids) { LookUp(medium, ids); });
    // A folder without an entry (a damaged catalogue) has no name and lies at the top.
    std::vector<Folder> unknown;
    for (const std::int64_t folder : folders)
        if (!known.Ranked(folder))
            unknown.push_back({folder, 0, 0, 0, 0, 0});
    if (!unknown.empty())
        known.Merge(std::move(unknown));
}

void FolderPaths::LookUp(std::int64_t medium, std::span<const std::int64_t> folders) {
    MediumFolders& known = m_media[medium];
    std::vector<Folder> learnt;
    const std::string inMedium = "medium = " + std::to_string(medium);
    m_db.Query("WITH RECURSIVE up(id, parent, name, asked) AS (SELECT id, parent, name, 1 FROM "
               "entries WHERE " +
                   inMedium + " AND id IN (" + NumberList(folders) +
                   ") UNION SELECT e.id, e.parent, e.name, 0 FROM entries e JOIN up ON e." +
                   inMedium +
                   " AND e.id = up.parent) SELECT id, parent, name, CASE WHEN asked = 1 THEN "
                   "coalesce((SELECT rank FROM folders f WHERE f." +
                   inMedium + " AND f.id = up.id), 0) END FROM up",
               {}, [&](const SqlRow& row) {
                   const std::string name = row.Text(2);
                   learnt.push_back({row.Int(0), row.Int(1), row.IsNull(3) ? kNoRank : row.Int(3),
                                     known.names.size(), name.size(), 0});
                   known.names += name;
                   return true;
               });
    known.Merge(std::move(learnt));
}

void FolderPaths::ReadEveryFolder(std::int64_t medium) {
    MediumFolders& known = m_media[medium];
    std::vector<Folder> learnt;
    // Made once: growing it step by step would copy it and touch fresh pages each time.
    learnt.reserve(static_cast<std::size_t>(FoldersOf(medium)));
    m_db.Query("SELECT links FROM " + std::string(kFolderLinksTable) +
                   " WHERE medium = $1 ORDER BY part",
               {medium}, [&](const SqlRow& row) {
                   std::size_t at = known.names.size();
                   if (at == 0)
                       known.names = row.Text(0);
                   else
                       known.names += row.Text(0);
                   const std::string_view links = known.names;
                   for (std::int64_t id = 0; at < links.size();) {
                       Folder folder;
                       folder.id = id += static_cast<std::int64_t>(NextNumber(links, at));
                       folder.parent = static_cast<std::int64_t>(NextNumber(links, at));
                       folder.rank = static_cast<std::int64_t>(NextNumber(links, at));
                       folder.nameSize = NextNumber(links, at);
                       folder.nameAt = at;
                       if (folder.nameSize > links.size() - at)
                           ThrowDamaged();
                       at += folder.nameSize;
                       learnt.push_back(folder);
                   }
                   return true;
               });
    known.Merge(std::move(learnt));
    known.whole = true;
}

std::int64_t FolderPaths::FoldersOf(std::int64_t medium) {
    if (!m_folderCounts) {
        m_folderCounts.emplace();
        m_db.Query("SELECT id, folders FROM media", {}, [&](const SqlRow& row) {
            m_folderCounts->emplace(row.Int(0), row.Int(1));
            return true;
        });
    }
    const auto found = m_folderCounts->find(medium);
    return found == m_folderCounts->end() ? 0 : found->second;
}

std::int64_t FolderPaths::RankOf(std::int64_t medium, std::int64_t folder) const {
    if (folder == 0)
        return 0;
    const MediumFolders& known = m_media.at(medium);
    return known.folders.at(known.PlaceOf(folder).value()).rank;
}

// Up from the folder, parent by parent: a folder's id is below those of its entries, so the
// chain ends at the listed folder, or the catalogue is damaged.
const std::string& FolderPaths::Below(std::int64_t medium, std::int64_t folder) {
    static const std::string listed;
    if (folder == 0)
        return listed;
    MediumFolders& known = m_media.at(medium);
    Folder& asked = known.folders.at(known.PlaceOf(folder).value());
    if (asked.path != 0)
        return known.paths[asked.path - 1];
    std::vector<const Folder*> chain;
    for (std::int64_t up = folder; up != 0; up = chain.back()->parent) {
        const auto place = known.PlaceOf(up);
        if (!place || known.folders[*place].parent >= up)
            ThrowDamaged();
        chain.push_back(&known.folders[*place]);
    }
    std::string path;
    for (auto link = chain.rbegin(); link != chain.rend(); ++link)
        path.append(known.names, (*link)->nameAt, (*link)->nameSize).append("/");
    known.paths.push_back(std::move(path));
    asked.path = known.paths.size();
    return known.paths.back();
}
