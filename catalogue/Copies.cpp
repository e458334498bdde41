#include "Copies.h"

#include "catalogue/FindSql.h"
#include "catalogue/FolderPaths.h"

#include <algorithm>
#include <map>
#include <span>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace {

struct CopyMedium {
    std::string name;
    std::string folder;
    bool checksums = false;
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

// The files that a comparison reads, with what copies share besides their size (the name, or
// the content's hash), those that share it and their size next to each other. Names and
// hashes are kept in one buffer: a million files cost little more than their names.
class ComparedFiles {
public:
    struct File {
        std::int64_t medium = 0;
        std::int64_t parent = 0;
        std::uint64_t size = 0;
        std::int64_t modified = 0;
        std::uint32_t attributes = 0;
        std::uint32_t nameLength = 0;
        std::size_t name = 0; // where the name begins in the buffer
        std::size_t same = 0; // where the name, or the hash, begins
        std::uint32_t sameLength = 0;
        std::uint64_t key = 0; // a hash of the size and what is shared
    };

    // The files of `media` (none given: of every medium), the empty ones only when
    // `withEmpty`; by content, only the files that have a hash.
    ComparedFiles(IConnection& db, CopiesBy by, std::span<const std::int64_t> media,
                  bool withEmpty) {
        const bool content = by == CopiesBy::Content;
        std::string sql = "SELECT e.medium, e.parent, e.name, e.size, e.modified, e.attributes";
        sql += content ? ", h.hash FROM entries e JOIN hashes h ON h.medium = e.medium AND "
                         "h.id = e.id"
                       : " FROM entries e";
        sql += " WHERE e.kind = 0";
        if (!withEmpty)
            sql += " AND e.size > 0";
        if (!media.empty())
            sql += " AND e.medium IN (" + NumberList(media) + ")";
        db.QueryMany(sql, {}, [&](const SqlRow& row) {
            Add(row, content);
            return true;
        });
        std::ranges::sort(m_files, [this](const File& a, const File& b) {
            return std::tie(a.key, a.size) < std::tie(b.key, b.size) ||
                   (a.key == b.key && a.size == b.size && Same(a) < Same(b));
        });
    }

    std::string_view Name(const File& file) const {
        return {m_bytes.data() + file.name, file.nameLength};
    }
    std::string_view Same(const File& file) const {
        return {m_bytes.data() + file.same, file.sameLength};
    }
    const std::vector<File>& Files() const { return m_files; }

    // The files from `first` that are copies of it: the same size, and the same name or hash.
    std::span<const File> CopiesFrom(std::size_t first) const {
        std::size_t end = first + 1;
        while (end < m_files.size() && m_files[end].key == m_files[first].key &&
               m_files[end].size == m_files[first].size &&
               Same(m_files[end]) == Same(m_files[first]))
            ++end;
        return std::span(m_files).subspan(first, end - first);
    }

private:
    void Add(const SqlRow& row, bool content) {
        File file{row.Int(0), row.Int(1), static_cast<std::uint64_t>(row.Int(3)), row.Int(4),
                  static_cast<std::uint32_t>(row.Int(5))};
        file.name = m_bytes.size();
        m_bytes += row.Text(2);
        file.nameLength = static_cast<std::uint32_t>(m_bytes.size() - file.name);
        file.same = content ? m_bytes.size() : file.name;
        if (content)
            m_bytes += row.Text(6);
        file.sameLength = static_cast<std::uint32_t>(m_bytes.size() - file.same);
        file.key = std::hash<std::string_view>{}(Same(file)) ^ (file.size * 0x9e3779b97f4a7c15);
        m_files.push_back(file);
    }

    std::string m_bytes;
    std::vector<File> m_files;
};

using File = ComparedFiles::File;

// The bytes that the copies beyond the first take; wide enough for any size and count.
__extension__ using Waste = unsigned __int128;
Waste WasteOf(std::span<const File> copies) {
    return Waste{copies.front().size} * (copies.size() - 1);
}

// The groups of copies, the largest waste first, then the largest files, then by what the
// copies share, as bytes.
std::vector<std::span<const File>> GroupsByWaste(const ComparedFiles& files) {
    std::vector<std::span<const File>> groups;
    for (std::size_t first = 0; first < files.Files().size();) {
        const auto copies = files.CopiesFrom(first);
        if (copies.size() > 1)
            groups.push_back(copies);
        first += copies.size();
    }
    std::ranges::sort(groups, [&](std::span<const File> a, std::span<const File> b) {
        const Waste wasteA = WasteOf(a), wasteB = WasteOf(b);
        if (wasteA != wasteB)
            return wasteA > wasteB;
        if (a.front().size != b.front().size)
            return a.front().size > b.front().size;
        return files.Same(a.front()) < files.Same(b.front());
    });
    return groups;
}

// Learns the folders of `files`, each medium's together.
void LearnFolders(FolderPaths& paths, std::span<const File> files) {
    std::map<std::int64_t, std::vector<std::int64_t>> folders;
    for (const File& file : files)
        folders[file.medium].push_back(file.parent);
    for (auto& [medium, ids] : folders)
        paths.Learn(medium, std::move(ids));
}

CatalogueMatch MatchOf(const File& file, const ComparedFiles& files, const ComparedMedia& media,
                       FolderPaths& paths) {
    const CopyMedium& medium = media[file.medium];
    return {medium.name,
            MatchPath(medium.folder, paths.Below(file.medium, file.parent), files.Name(file)),
            file.size, file.modified, file.attributes};
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
    const ComparedFiles files(db, query.by, media.Chosen(), false);
    FolderPaths paths(db);
    LearnFolders(paths, files.Files());
    for (const std::span<const File> copies : GroupsByWaste(files)) {
        db.ThrowIfInterrupted();
        DuplicateGroup group{copies.front().size, {}};
        for (const File& copy : copies)
            group.copies.push_back(MatchOf(copy, files, media, paths));
        std::ranges::sort(group.copies, InMediumAndPathOrder);
        if (!each(group))
            return;
    }
}

// Every medium's files are compared; those of the chosen media that no other medium holds are
// given, a medium at a time in the order of names, so that only one medium's paths are made at
// once.
void FindOnlyOnOne(IConnection& db, const CopiesQuery& query,
                   const std::function<bool(const CatalogueMatch&)>& each) {
    const ComparedMedia media(db, query);
    if (media.Chosen().empty())
        return;
    const ComparedFiles files(db, query.by, {}, true);
    std::map<std::string, std::vector<File>> lone; // by medium name
    for (std::size_t first = 0; first < files.Files().size();) {
        const auto copies = files.CopiesFrom(first);
        const std::int64_t medium = copies.front().medium;
        if (std::ranges::all_of(copies, [&](const File& f) { return f.medium == medium; }) &&
            std::ranges::binary_search(media.Chosen(), medium))
            lone[media[medium].name].insert(lone[media[medium].name].end(), copies.begin(),
                                            copies.end());
        first += copies.size();
    }
    FolderPaths paths(db);
    for (const auto& [name, ofMedium] : lone) {
        LearnFolders(paths, ofMedium);
        std::vector<CatalogueMatch> matches;
        matches.reserve(ofMedium.size());
        for (const File& file : ofMedium)
            matches.push_back(MatchOf(file, files, media, paths));
        std::ranges::sort(matches, InMediumAndPathOrder);
        for (const CatalogueMatch& match : matches) {
            db.ThrowIfInterrupted();
            if (!each(match))
                return;
        }
    }
}
