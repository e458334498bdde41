#include "Store.h"

#include "catalogue/CallScope.h"
#include "catalogue/Copies.h"
#include "catalogue/FolderPaths.h"
#include "catalogue/MediaRules.h"
#include "catalogue/NameGrams.h"
#include "catalogue/NameKey.h"
#include "catalogue/Search.h"
#include "engine/FolderEntry.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

namespace {

using Call = CallScope<IConnection>;

// A folder met by an add: what its entry needs, and what lies below it once counted. Only
// folders are kept in memory, never the other entries.
struct FolderNode {
    std::int64_t id = 0;
    std::int64_t parent = -1;
    std::string name;
    std::int64_t modified = 0;
    std::uint32_t attributes = 0;
    std::int64_t first = 0;
    std::int64_t count = -1; // -1: not read
    std::int64_t rank = 0;
    FolderTotals totals;
};

// Sorts the folders by id, counts every folder's totals from those of the folders below it
// (numbered after it), and ranks them depth first, sub-folders in the order of their names
// followed by "/".
void CountAndRank(std::vector<FolderNode>& folders) {
    std::ranges::sort(folders, {}, &FolderNode::id);
    const auto at = [&](std::int64_t id) -> FolderNode& {
        return *std::ranges::lower_bound(folders, id, {}, &FolderNode::id);
    };
    for (auto node = folders.rbegin(); node != folders.rend(); ++node) {
        if (node->parent < 0)
            continue;
        FolderTotals& up = at(node->parent).totals;
        up.bytes = AddBytes(up.bytes, node->totals.bytes);
        up.files += node->totals.files;
        up.folders += node->totals.folders;
    }
    std::vector<std::size_t> order(folders.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::ranges::sort(order, [&](std::size_t a, std::size_t b) {
        if (folders[a].parent != folders[b].parent)
            return folders[a].parent < folders[b].parent;
        return PathNameLess(folders[a].name, folders[b].name);
    });
    // Children of a folder: the run of `order` with that parent.
    const auto children = [&](std::int64_t parent) {
        const auto first = std::partition_point(
            order.begin(), order.end(), [&](std::size_t i) { return folders[i].parent < parent; });
        const auto last = std::partition_point(
            first, order.end(), [&](std::size_t i) { return folders[i].parent == parent; });
        return std::pair(first, last);
    };
    std::int64_t rank = 0;
    const auto [firstRoot, lastRoot] = children(-1);
    std::vector<std::size_t> stack(firstRoot, lastRoot);
    while (!stack.empty()) {
        FolderNode& node = folders[stack.back()];
        stack.pop_back();
        node.rank = rank++;
        const auto [first, last] = children(node.id);
        stack.insert(stack.end(), std::make_reverse_iterator(last),
                     std::make_reverse_iterator(first));
    }
}

// The rows of the folders of `medium` that were read, once they are counted and ranked.
void LoadFolderRows(Store& store, std::int64_t medium, const std::vector<FolderNode>& folders) {
    auto rows = store.Db().BeginLoad(
        "folders", {"medium", "id", "first", "count", "rank", "bytes", "files", "folders"});
    for (const FolderNode& node : folders)
        if (node.count >= 0)
            rows->Row({medium, node.id, node.first, node.count, node.rank,
                       static_cast<std::int64_t>(node.totals.bytes), node.totals.files,
                       node.totals.folders});
    rows->Finish();
}

// The links of the folders of `medium`, once they are ranked (and so in the order of ids).
void LoadFolderLinks(IConnection& db, std::int64_t medium, const std::vector<FolderNode>& folders) {
    FolderLinksWriter links(db, medium);
    for (const FolderNode& node : folders)
        if (node.parent >= 0)
            links.Add(node.id, node.parent, node.rank, node.name);
    links.Finish();
}

const std::vector<std::string> kEntryColumns = {"medium", "id",   "parent",   "name",      "key",
                                                "kind",   "size", "modified", "attributes"};

// Sets `row` to the values of an entry's row, in the order of kEntryColumns; `key` is the name's
// SearchKey. The name is copied into the room the row's last name had: an add writes every entry
// of a medium through one row.
void SetEntryRow(SqlParams& row, Store& store, std::int64_t medium, std::int64_t id,
                 std::int64_t parent, const std::string& name, std::string key, EntryKind kind,
                 std::uint64_t size, std::int64_t modified, std::uint32_t attributes) {
    row.resize(kEntryColumns.size());
    row[0] = medium;
    row[1] = id;
    row[2] = parent;
    if (auto* bytes = std::get_if<SqlBytes>(&row[3]))
        bytes->bytes.assign(name);
    else
        row[3] = SqlBytes{name};
    row[4] = store.StoredKey(name, std::move(key));
    row[5] = static_cast<std::int64_t>(kind);
    row[6] = static_cast<std::int64_t>(size);
    row[7] = modified;
    row[8] = static_cast<std::int64_t>(attributes);
}

SqlParams EntryRow(Store& store, std::int64_t medium, std::int64_t id, std::int64_t parent,
                   const std::string& name, std::string key, EntryKind kind, std::uint64_t size,
                   std::int64_t modified, std::uint32_t attributes) {
    SqlParams row;
    SetEntryRow(row, store, medium, id, parent, name, std::move(key), kind, size, modified,
                attributes);
    return row;
}

// The columns of an entry as ReadEntry reads them, over `entries e` joined to the folders,
// hashes and comments: SELECT kEntryReadColumns FROM ... e kEntryReadJoins.
constexpr const char* kEntryReadColumns =
    "e.id, e.name, e.kind, e.size, e.modified, e.attributes, t.bytes, t.files, t.folders, "
    "e.parent, h.hash, c.line1, c.line2, c.line3";
constexpr const char* kEntryReadJoins =
    " LEFT JOIN folders t ON t.medium = e.medium AND t.id = e.id LEFT JOIN hashes h ON "
    "h.medium = e.medium AND h.id = e.id LEFT JOIN comments c ON c.medium = e.medium AND c.id = "
    "e.id";

// The entry's own columns, the first six of every reading of entries: id, name, kind, size,
// modified, attributes.
CataloguedEntry EntryColumns(const SqlRow& row) {
    CataloguedEntry entry;
    entry.id = row.Int(0);
    entry.name = row.Text(1);
    entry.kind = static_cast<EntryKind>(row.Int(2));
    entry.size = static_cast<std::uint64_t>(row.Int(3));
    entry.modified = row.Int(4);
    entry.attributes = static_cast<std::uint32_t>(row.Int(5));
    return entry;
}

CataloguedEntry ReadEntry(const SqlRow& row) {
    CataloguedEntry entry = EntryColumns(row);
    entry.parent = row.Int(9);
    if (!row.IsNull(6))
        entry.totals = FolderTotals{static_cast<std::uint64_t>(row.Int(6)), row.Int(7), row.Int(8)};
    if (!row.IsNull(10))
        entry.hash = HashFromBytes(row.Text(10));
    if (!row.IsNull(11))
        entry.comments = {row.Text(11), row.Text(12), row.Text(13)};
    return entry;
}

// Hashes wait in memory for their own load up to this many, so that an add's memory does not
// grow with the medium.
constexpr std::size_t kHashesBatch = 65536;

// The size of a folder's entry written before the folder's totals are known: the widest a row
// holds, so that the row only shrinks when its size is written.
constexpr std::uint64_t kSizeToCome = std::numeric_limits<std::int64_t>::max();

// One medium being added over the store's connection: the entries that are no folders are
// loaded as they come; the folders' entries, which carry the totals below them, at the end.
// Every name goes into the name index as it comes, the folders in the order of their ids.
class TreeAdd final : public ICatalogueAdd {
public:
    TreeAdd(Store& store, const Medium& medium, bool replace)
        : m_store(store), m_db(store.Db()), m_transaction(m_db) {
        CheckMediumName(medium.name); // before the database is given it
        m_store.PrepareAdd(medium);
        RemoveConflictingMedia(m_store, medium, replace);
        m_medium = QueryNumber(
            m_db,
            "INSERT INTO media(name, folder, label, uuid, fstype, volume_path, mount_point, added, "
            "files, folders, bytes, location, note, checksums) VALUES ($1, $2, $3, $4, $5, $6, "
            "$7, $8, 0, 0, 0, $9, $10, $11) RETURNING id",
            {medium.name, SqlBytes{medium.folder}, medium.volume.label, medium.volume.uuid,
             medium.volume.fsType, SqlBytes{medium.volume.path}, SqlBytes{medium.mountPoint},
             medium.added, medium.location, medium.note, std::int64_t{medium.checksums ? 1 : 0}});
        m_table = m_store.BeginEntries(m_medium);
        m_index.emplace(m_db, kNameIndexTable, m_medium);
        m_folders.push_back({});
        m_folderIndex.emplace(0, 0);
    }

    void AddFolder(const AddedFolder& folder) override {
        const auto found = m_folderIndex.find(folder.id);
        if (found == m_folderIndex.end())
            return; // not below the listed folder: nothing to hold it
        const std::size_t index = found->second;
        m_folders[index].first = folder.first;
        m_folders[index].count = static_cast<std::int64_t>(folder.entries.size());
        FolderTotals direct;
        for (std::size_t i = 0; i < folder.entries.size(); ++i) {
            const AddedEntry& entry = folder.entries[i];
            const std::int64_t id = folder.first + static_cast<std::int64_t>(i);
            KeepExtras(id, entry);
            std::string key = SearchKey(entry.name);
            m_index->Add(id, key);
            if (entry.kind == EntryKind::Folder) {
                ++direct.folders;
                m_folderIndex.emplace(id, m_folders.size());
                m_folders.push_back(
                    {id, folder.id, entry.name, entry.modified, entry.attributes, 0, -1, 0, {}});
                if (m_foldersInPlace)
                    Load(id, folder.id, entry.name, std::move(key), entry.kind, kSizeToCome,
                         entry.modified, entry.attributes);
            } else {
                ++direct.files;
                direct.bytes = AddBytes(direct.bytes, entry.size);
                Load(id, folder.id, entry.name, std::move(key), entry.kind, entry.size,
                     entry.modified, entry.attributes);
            }
        }
        m_folders[index].totals = direct;
        if (m_hashes.size() >= kHashesBatch) {
            FinishEntries();
            LoadHashes();
        }
        if (m_index->PartDue()) {
            FinishEntries();
            m_index->WritePart();
        }
    }

    void Commit() override {
        const Call call(m_db);
        m_folderIndex.clear();
        CountAndRank(m_folders);
        WriteFolderSizes();
        LoadHashes();
        LoadComments();
        m_index->WritePart();
        LoadFolderRows(m_store, m_medium, m_folders);
        LoadFolderLinks(m_db, m_medium, m_folders);
        const FolderTotals& all = m_folders.front().totals;
        m_db.Execute("UPDATE media SET files = $1, folders = $2, bytes = $3 WHERE id = $4",
                     {all.files, all.folders, static_cast<std::int64_t>(all.bytes), m_medium});
        m_store.EntriesLoaded(m_medium);
        m_transaction.Commit();
        m_store.AddCommitted(m_loaded);
    }

private:
    // A folder's size is the bytes below it.
    void WriteFolderSizes() {
        if (!m_foldersInPlace) {
            for (const FolderNode& node : m_folders)
                if (node.parent >= 0)
                    Load(node.id, node.parent, node.name, SearchKey(node.name), EntryKind::Folder,
                         node.totals.bytes, node.modified, node.attributes);
            FinishEntries();
            return;
        }
        FinishEntries();
        for (const FolderNode& node : m_folders)
            if (node.parent >= 0)
                m_db.Execute("UPDATE " + m_table + " SET size = $1 WHERE medium = $2 AND id = $3",
                             {static_cast<std::int64_t>(node.totals.bytes), m_medium, node.id});
    }

    void KeepExtras(std::int64_t id, const AddedEntry& entry) {
        if (entry.hash)
            m_hashes.emplace_back(id, *entry.hash);
        if (entry.comments.CountNonEmpty() > 0)
            m_comments.emplace_back(id, entry.comments);
    }

    // Loads the hashes kept so far; no load of entries may be under way.
    void LoadHashes() {
        if (m_hashes.empty())
            return;
        auto rows = m_db.BeginLoad("hashes", {"medium", "id", "hash"});
        for (const auto& [id, hash] : m_hashes)
            rows->Row({m_medium, id, SqlBytes{HashBytes(hash)}});
        rows->Finish();
        m_hashes.clear();
    }

    // Loads the comments; no load of entries may be under way.
    void LoadComments() {
        if (m_comments.empty())
            return;
        auto rows = m_db.BeginLoad("comments", {"medium", "id", "line1", "line2", "line3"});
        for (const auto& [id, lines] : m_comments)
            rows->Row({m_medium, id, SqlBytes{lines.Line(1)}, SqlBytes{lines.Line(2)},
                       SqlBytes{lines.Line(3)}});
        rows->Finish();
        m_comments.clear();
    }

    // Ends the load of entries under way, if any, so that the connection may do other work.
    void FinishEntries() {
        if (m_entries)
            m_entries->Finish();
        m_entries.reset();
    }

    void Load(std::int64_t id, std::int64_t parent, const std::string& name, std::string key,
              EntryKind kind, std::uint64_t size, std::int64_t modified, std::uint32_t attributes) {
        if (!m_entries)
            m_entries = m_db.BeginLoad(m_table, kEntryColumns);
        SetEntryRow(m_row, m_store, m_medium, id, parent, name, std::move(key), kind, size,
                    modified, attributes);
        m_entries->Row(m_row);
        ++m_loaded;
    }

    Store& m_store;
    IConnection& m_db;
    Transaction m_transaction;
    std::int64_t m_medium = 0;
    std::string m_table;
    std::vector<FolderNode> m_folders; // the listed folder first
    std::unordered_map<std::int64_t, std::size_t> m_folderIndex;
    std::unique_ptr<IBulkLoad> m_entries;
    SqlParams m_row; // the entry being loaded
    bool m_foldersInPlace = m_store.WritesFoldersInPlace();
    std::optional<NameIndexBuilder> m_index;
    std::int64_t m_loaded = 0;
    std::vector<std::pair<std::int64_t, ContentHash>> m_hashes;
    std::vector<std::pair<std::int64_t, CommentLines>> m_comments; // few: a listing's comments
};

// The adds within it are savepoints of its transaction.
class Batch final : public ICatalogueBatch {
public:
    explicit Batch(IConnection& db) : m_db(db), m_transaction(db) {}
    void Commit() override {
        const Call call(m_db);
        m_transaction.Commit();
    }

private:
    IConnection& m_db;
    Transaction m_transaction;
};

// Rows of entries gathered before they are loaded, so that reading the old tables and loading
// the new one never overlap (a PostgreSQL connection does one at a time).
constexpr std::size_t kUpgradeBatch = 10000;

// A folder of a version-2 catalogue, in the order it was added.
struct OldFolder {
    std::int64_t id = 0;
    std::string path; // below the listed folder, ending with "/" unless empty
};

} // namespace

std::int64_t QueryNumber(IConnection& db, const std::string& sql, const SqlParams& params) {
    std::optional<std::int64_t> number;
    db.Query(sql, params, [&](const SqlRow& row) {
        if (!number)
            number = row.IsNull(0) ? 0 : row.Int(0);
        return true;
    });
    return number.value_or(0);
}

std::string Store::InByteOrder(const std::string& column) const {
    return m_dialect == SqlDialect::Postgres ? column + " COLLATE \"C\"" : column;
}

std::vector<Medium> Store::Media() {
    const Call call(*m_db);
    std::vector<Medium> media;
    m_db->Query("SELECT name, folder, label, uuid, fstype, volume_path, mount_point, added, files, "
                "folders, bytes, location, note, checksums FROM media ORDER BY " +
                    InByteOrder("name"),
                {}, [&](const SqlRow& row) {
                    media.push_back({row.Text(0),
                                     row.Text(1),
                                     {row.Text(2), row.Text(3), row.Text(4), row.Text(5)},
                                     row.Text(6),
                                     row.Int(7),
                                     row.Int(8),
                                     row.Int(9),
                                     static_cast<std::uint64_t>(row.Int(10)),
                                     row.Text(11),
                                     row.Text(12),
                                     row.Int(13) != 0});
                    return true;
                });
    return media;
}

std::vector<std::string> Store::Conflicts(const std::string& name, const VolumeInfo& volume) {
    const Call call(*m_db);
    return FindConflicts(name, volume);
}

std::vector<std::string> Store::FindConflicts(const std::string& name, const VolumeInfo& volume) {
    std::vector<std::string> names;
    m_db->Query(
        "SELECT name, uuid, volume_path FROM media WHERE name = $1 OR "
        "(uuid <> '' AND uuid = $2) ORDER BY " +
            InByteOrder("name"),
        {name, volume.uuid}, [&](const SqlRow& row) {
            if (row.Text(0) == name || SameFolder({{}, row.Text(1), {}, row.Text(2)}, volume))
                names.push_back(row.Text(0));
            return true;
        });
    return names;
}

std::unique_ptr<ICatalogueAdd> Store::BeginAdd(const Medium& medium, bool replace) {
    const Call call(*m_db);
    return std::make_unique<TreeAdd>(*this, medium, replace);
}

std::unique_ptr<ICatalogueBatch> Store::BeginBatch() {
    const Call call(*m_db);
    return std::make_unique<Batch>(*m_db);
}

void Store::Interrupt() {
    m_db->Interrupt();
    const std::lock_guard lock(m_secondMutex);
    if (m_second)
        m_second->Interrupt();
}

// A wait on the second connection is noted by the first, whose thread the caller is on.
void Store::SetWaits(CatalogueWaits waits) {
    {
        const std::lock_guard lock(m_secondMutex);
        m_secondWaits = {nullptr, waits.noteAfter, waits.giveUpAfter};
        if (m_second)
            m_second->SetWaits(m_secondWaits);
    }
    m_db->SetWaits(std::move(waits));
}

// A database that refuses a second connection (one with no connections left, say) is searched
// on the first alone.
IConnection* Store::SecondConnection() {
    std::unique_lock lock(m_secondMutex);
    if (m_second || m_secondRefused)
        return m_second.get();
    lock.unlock();
    std::unique_ptr<IConnection> opened;
    try {
        opened = OpenSecondConnection();
    } catch (const CatalogueError&) {
    }
    lock.lock();
    m_second = std::move(opened);
    m_secondRefused = !m_second;
    if (m_second)
        m_second->SetWaits(m_secondWaits);
    return m_second.get();
}

void Store::Find(const FindQuery& query, const std::function<bool(const CatalogueMatch&)>& each) {
    const Call call(*m_db);
    std::function<IConnection*()> second;
    {
        const std::lock_guard lock(m_secondMutex);
        // An interruption of an earlier call reached the second connection too, and may be left.
        if (m_second)
            m_second->EndCall();
        // Once refused (or never to be had), no thread waits for it.
        if (!m_secondRefused)
            second = [this] { return SecondConnection(); };
    }
    FindMatches(*m_db, second, m_dialect, query, each);
}

std::size_t Store::Count(const FindQuery& query) {
    const Call call(*m_db);
    return CountMatches(*m_db, m_dialect, query);
}

std::string Store::ExplainFind(const FindQuery& query) {
    const Call call(*m_db);
    return ExplainMatches(*m_db, m_dialect, query);
}

void Store::Duplicates(const CopiesQuery& query,
                       const std::function<bool(const DuplicateGroup&)>& each) {
    const Call call(*m_db);
    FindDuplicates(*m_db, query, each);
}

void Store::OnlyOnOne(const CopiesQuery& query,
                      const std::function<bool(const CatalogueMatch&)>& each) {
    const Call call(*m_db);
    FindOnlyOnOne(*m_db, query, each);
}

bool Store::Forget(const std::string& name) {
    const Call call(*m_db);
    Transaction transaction(*m_db);
    const bool found = RemoveMedium(name);
    transaction.Commit();
    return found;
}

bool Store::Rename(const std::string& name, const std::string& newName) {
    const Call call(*m_db);
    Transaction transaction(*m_db);
    RefuseTakenName(*this, name, newName);
    const bool found =
        m_db->Execute("UPDATE media SET name = $1 WHERE name = $2", {newName, name}) > 0;
    transaction.Commit();
    return found;
}

bool Store::SetShelf(const std::string& name, const std::string& location,
                     const std::string& note) {
    const Call call(*m_db);
    Transaction transaction(*m_db);
    const bool found = m_db->Execute("UPDATE media SET location = $1, note = $2 WHERE name = $3",
                                     {location, note, name}) > 0;
    transaction.Commit();
    return found;
}

std::optional<std::int64_t> Store::MediumId(const std::string& name) {
    std::optional<std::int64_t> id;
    m_db->Query("SELECT id FROM media WHERE name = $1", {name}, [&](const SqlRow& row) {
        id = row.Int(0);
        return true;
    });
    return id;
}

std::vector<CataloguedEntry> Store::FolderEntries(const std::string& medium,
                                                  std::int64_t folderId) {
    const Call call(*m_db);
    std::vector<CataloguedEntry> entries;
    const auto id = MediumId(medium);
    if (!id)
        return entries;
    m_db->Query(std::string("SELECT ") + kEntryReadColumns +
                    " FROM folders f JOIN entries e ON e.medium = f.medium AND e.id >= f.first "
                    "AND e.id < f.first + f.count" +
                    kEntryReadJoins + " WHERE f.medium = $1 AND f.id = $2 ORDER BY e.id",
                {*id, folderId}, [&](const SqlRow& row) {
                    entries.push_back(ReadEntry(row));
                    return true;
                });
    return entries;
}

namespace {

// The rows of one of a medium's side tables (totals, hashes, comments), by entry id, met in the
// order of the ids as the medium's entries are read.
template <typename Value> class RowsById {
public:
    // `sql` selects the id and then the columns that `read` turns into a Value, for the medium $1,
    // in the order of the ids.
    RowsById(IConnection& db, const std::string& sql, std::int64_t medium,
             const std::function<Value(const SqlRow&)>& read) {
        db.QueryMany(sql, {medium}, [&](const SqlRow& row) {
            m_rows.emplace_back(row.Int(0), read(row));
            return true;
        });
    }
    // The value of the entry `id`, the ids asked for rising.
    std::optional<Value> Next(std::int64_t id) {
        while (m_next < m_rows.size() && m_rows[m_next].first < id)
            ++m_next;
        if (m_next < m_rows.size() && m_rows[m_next].first == id)
            return std::move(m_rows[m_next++].second);
        return std::nullopt;
    }

private:
    std::vector<std::pair<std::int64_t, Value>> m_rows;
    std::size_t m_next = 0;
};

} // namespace

// The entries are read alone and joined here to their totals, hashes and comments, read first in
// the same order: a join per row in the database costs three times the read.
bool Store::MediumEntries(const std::string& medium,
                          const std::function<bool(const CataloguedEntry&)>& each) {
    const Call call(*m_db);
    const auto id = MediumId(medium);
    if (!id)
        return false;
    RowsById<FolderTotals> totals(
        *m_db, "SELECT id, bytes, files, folders FROM folders WHERE medium = $1 ORDER BY id", *id,
        [](const SqlRow& row) {
            return FolderTotals{static_cast<std::uint64_t>(row.Int(1)), row.Int(2), row.Int(3)};
        });
    RowsById<std::optional<ContentHash>> hashes(
        *m_db, "SELECT id, hash FROM hashes WHERE medium = $1 ORDER BY id", *id,
        [](const SqlRow& row) { return HashFromBytes(row.Text(1)); });
    RowsById<CommentLines> comments(
        *m_db, "SELECT id, line1, line2, line3 FROM comments WHERE medium = $1 ORDER BY id", *id,
        [](const SqlRow& row) {
            return CommentLines{row.Text(1), row.Text(2), row.Text(3)};
        });
    m_db->QueryMany("SELECT id, name, kind, size, modified, attributes, parent FROM entries WHERE "
                    "medium = $1 ORDER BY id",
                    {*id}, [&](const SqlRow& row) {
                        CataloguedEntry entry = EntryColumns(row);
                        entry.parent = row.Int(6);
                        entry.totals = totals.Next(entry.id);
                        entry.hash = hashes.Next(entry.id).value_or(std::nullopt);
                        entry.comments = comments.Next(entry.id).value_or(CommentLines{});
                        return each(entry);
                    });
    return true;
}

std::optional<std::int64_t> Store::FolderOf(const std::string& medium,
                                            const std::string& pathBelow) {
    const Call call(*m_db);
    const auto id = MediumId(medium);
    if (!id)
        return std::nullopt;
    std::optional<std::int64_t> folder =
        QueryNumber(*m_db, "SELECT count(*) FROM folders WHERE medium = $1 AND id = 0", {*id}) > 0
            ? std::optional<std::int64_t>(0)
            : std::nullopt;
    std::size_t start = 0;
    while (folder && start < pathBelow.size()) {
        std::size_t end = pathBelow.find('/', start);
        if (end == std::string::npos)
            end = pathBelow.size();
        const std::string name = pathBelow.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        std::optional<std::int64_t> child;
        m_db->Query("SELECT e.id FROM folders f JOIN entries e ON e.medium = f.medium AND e.id >= "
                    "f.first AND e.id < f.first + f.count WHERE f.medium = $1 AND f.id = $2 AND "
                    "e.name = $3 AND e.kind = $4",
                    {*id, *folder, SqlBytes{name}, static_cast<std::int64_t>(EntryKind::Folder)},
                    [&](const SqlRow& row) {
                        child = row.Int(0);
                        return true;
                    });
        folder = child;
    }
    return folder;
}

// Up from the folder, parent by parent: a folder's id is below those of its entries, so the walk
// ends at the listed folder.
std::optional<std::string> Store::PathOf(const std::string& medium, std::int64_t folderId) {
    const Call call(*m_db);
    const auto id = MediumId(medium);
    if (!id)
        return std::nullopt;
    std::vector<std::string> names;
    for (std::int64_t at = folderId; at != 0;) {
        std::optional<std::int64_t> parent;
        m_db->Query("SELECT parent, name FROM entries WHERE medium = $1 AND id = $2 AND kind = $3",
                    {*id, at, static_cast<std::int64_t>(EntryKind::Folder)},
                    [&](const SqlRow& row) {
                        parent = row.Int(0);
                        names.push_back(row.Text(1));
                        return true;
                    });
        if (!parent || *parent >= at)
            return std::nullopt;
        at = *parent;
    }
    if (names.empty() &&
        QueryNumber(*m_db, "SELECT count(*) FROM folders WHERE medium = $1 AND id = 0", {*id}) == 0)
        return std::nullopt;
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        path.append(path.empty() ? "" : "/").append(*name);
    return path;
}

std::vector<std::int64_t> Store::MediumIds() {
    std::vector<std::int64_t> media;
    m_db->Query("SELECT id FROM media ORDER BY id", {}, [&](const SqlRow& row) {
        media.push_back(row.Int(0));
        return true;
    });
    return media;
}

void Store::CopyVersion2Entries() {
    for (const std::int64_t medium : MediumIds())
        CopyVersion2Medium(medium);
}

// The folders are read in the order they were added, the listed folder first: a folder's entry
// is then always numbered before the entries in it.
void Store::CopyVersion2Medium(std::int64_t medium) {
    std::vector<OldFolder> old;
    std::unordered_map<std::string, std::int64_t> oldIdAt;
    m_db->Query("SELECT id, path FROM folders_v2 WHERE medium = $1 ORDER BY path <> $2, id",
                {medium, SqlBytes{""}}, [&](const SqlRow& row) {
                    old.push_back({row.Int(0), row.Text(1)});
                    oldIdAt.emplace(old.back().path, old.back().id);
                    return true;
                });
    std::vector<FolderNode> folders(1);                   // the listed folder
    std::unordered_map<std::int64_t, std::size_t> nodeOf; // old folder id -> its node
    if (!old.empty() && old.front().path.empty())
        nodeOf.emplace(old.front().id, 0);
    const std::string table = BeginEntries(medium);
    std::vector<SqlParams> pending;
    const auto flush = [&] {
        if (pending.empty())
            return;
        auto load = m_db->BeginLoad(table, kEntryColumns);
        for (const auto& row : pending)
            load->Row(row);
        load->Finish();
        pending.clear();
    };
    std::int64_t next = 1;
    for (const OldFolder& folder : old) {
        const auto found = nodeOf.find(folder.id);
        if (found == nodeOf.end())
            continue; // no entry of this medium holds it
        const std::size_t index = found->second;
        struct OldEntry {
            std::string name;
            std::int64_t size, modified, attributes;
        };
        std::vector<OldEntry> entries;
        m_db->Query("SELECT name, size, modified, attributes FROM entries_v2 WHERE parent = $1 "
                    "ORDER BY id",
                    {folder.id}, [&](const SqlRow& row) {
                        entries.push_back({row.Text(0), row.Int(1), row.Int(2), row.Int(3)});
                        return true;
                    });
        folders[index].first = next;
        folders[index].count = static_cast<std::int64_t>(entries.size());
        FolderTotals direct;
        for (const OldEntry& entry : entries) {
            const std::int64_t id = next++;
            const auto attributes = static_cast<std::uint32_t>(entry.attributes);
            if (attributes & kAttrFolder) {
                ++direct.folders;
                if (const auto read = oldIdAt.find(folder.path + entry.name + '/');
                    read != oldIdAt.end())
                    nodeOf.emplace(read->second, folders.size());
                folders.push_back(
                    {id, folders[index].id, entry.name, entry.modified, attributes, 0, -1, 0, {}});
            } else {
                ++direct.files;
                direct.bytes = AddBytes(direct.bytes, static_cast<std::uint64_t>(entry.size));
                pending.push_back(EntryRow(*this, medium, id, folders[index].id, entry.name,
                                           SearchKey(entry.name), EntryKind::File,
                                           static_cast<std::uint64_t>(entry.size), entry.modified,
                                           attributes));
            }
        }
        folders[index].totals = direct;
        if (pending.size() >= kUpgradeBatch)
            flush();
    }
    CountAndRank(folders);
    for (const FolderNode& node : folders)
        if (node.parent >= 0)
            pending.push_back(EntryRow(*this, medium, node.id, node.parent, node.name,
                                       SearchKey(node.name), EntryKind::Folder, node.totals.bytes,
                                       node.modified, node.attributes));
    flush();
    LoadFolderRows(*this, medium, folders);
    EntriesLoaded(medium);
}

void Store::IndexNames() {
    for (const std::int64_t medium : MediumIds())
        IndexNamesOf(medium);
}

// The entries are read a page at a time, so that no statement is under way while a part of the
// index is written.
void Store::IndexNamesOf(std::int64_t medium) {
    NameIndexBuilder index(*m_db, kNameIndexTable, medium);
    std::int64_t last = 0;
    for (std::int64_t read = kUpgradeBatch; read == kUpgradeBatch;) {
        read = 0;
        m_db->Query("SELECT e.id, " + EntryKeySql(m_dialect) +
                        " FROM entries e WHERE e.medium = $1 AND e.id > $2 ORDER BY e.id LIMIT " +
                        std::to_string(kUpgradeBatch),
                    {medium, last}, [&](const SqlRow& row) {
                        last = row.Int(0);
                        index.Add(last, row.Text(1));
                        ++read;
                        return true;
                    });
        if (index.PartDue())
            index.WritePart();
    }
    index.WritePart();
}

void Store::LinkFolders() {
    for (const std::int64_t medium : MediumIds())
        LinkFoldersOf(medium);
}

// The folders are read whole before their links are written: a connection runs one statement at
// a time.
void Store::LinkFoldersOf(std::int64_t medium) {
    std::vector<FolderNode> folders;
    m_db->QueryMany("SELECT f.id, e.parent, e.name, f.rank FROM folders f JOIN entries e ON "
                    "e.medium = f.medium AND e.id = f.id WHERE f.medium = $1 ORDER BY f.id",
                    {medium}, [&](const SqlRow& row) {
                        FolderNode& node = folders.emplace_back();
                        node.id = row.Int(0);
                        node.parent = row.Int(1);
                        node.name = row.Text(2);
                        node.rank = row.Int(3);
                        return true;
                    });
    LoadFolderLinks(*m_db, medium, folders);
}

bool Store::RemoveMedium(const std::string& name) {
    const auto id = MediumId(name);
    if (!id)
        return false;
    DropTablesOf(*id);
    for (const char* table : {"entries WHERE medium", "folders WHERE medium",
                              "folder_links WHERE medium", "name_grams WHERE medium",
                              "hashes WHERE medium", "comments WHERE medium", "media WHERE id"})
        m_db->Execute(std::string("DELETE FROM ") + table + " = $1", {*id});
    return true;
}
