#pragma once

#include "catalogue/Connection.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Entries checked, or folders looked up, by one statement.
inline constexpr std::size_t kIdBatch = 5000;

// Calls `each` with `ids` in runs of at most kIdBatch.
template <typename Each> void InBatches(std::span<const std::int64_t> ids, const Each& each) {
    for (std::size_t at = 0; at < ids.size(); at += kIdBatch)
        each(ids.subspan(at, std::min(kIdBatch, ids.size() - at)));
}

// The table of folder links: every folder of a medium but the listed one, with its parent, its
// name and its rank, packed a part at a time into rows (medium, part, links), so that a search
// with matches in many folders reads them all at once instead of looking each one up.
inline constexpr const char* kFolderLinksTable = "folder_links";

// Writes one medium's rows of the table of folder links, the folders given in ascending order of
// ids; a part is written whenever it is full, in a bulk load of its own, so no other statement
// may be under way on the connection while folders are added.
class FolderLinksWriter {
public:
    FolderLinksWriter(IConnection& db, std::int64_t medium);

    // Throws std::logic_error when `id` is not above the last one added.
    void Add(std::int64_t id, std::int64_t parent, std::int64_t rank, std::string_view name);
    // Writes what is left.
    void Finish();

private:
    void WritePart();

    IConnection& m_db;
    std::int64_t m_medium;
    std::int64_t m_lastId = 0;
    std::int64_t m_part = 0;
    std::string m_links;
};

// The paths and ranks of the folders that entries are in, paths built from their parents, kept
// for the call. The folders of many entries are looked up together, with every folder above
// them; when they are many for their medium, all of its folders are read from the table of
// folder links. No other statement may be under way on the connection while it learns.
class FolderPaths {
public:
    explicit FolderPaths(IConnection& db) : m_db(db) {}

    // Looks up the folders of `medium` not known yet, and every folder above them.
    void Learn(std::int64_t medium, std::vector<std::int64_t> folders);

    // The folder's rank in the byte order of the medium's folder paths (the listed folder's is
    // 0). The folder must have been learnt.
    std::int64_t RankOf(std::int64_t medium, std::int64_t folder) const;

    // The folder's path below the listed folder, ending with "/" unless it is the listed one.
    // Its folders must have been learnt. Kept for the folder asked for, not for those above it,
    // whose paths may be long.
    const std::string& Below(std::int64_t medium, std::int64_t folder);

private:
    struct Folder {
        std::int64_t id = 0;
        std::int64_t parent = 0;
        std::int64_t rank = kNoRank; // learnt for a folder asked for; the listed one's is 0
        std::size_t nameAt = 0;      // in the medium's names
        std::size_t nameSize = 0;
        std::size_t path = 0; // 1 + its place in the medium's paths, once asked for
    };
    static constexpr std::int64_t kNoRank = -1;

    // The folders of a medium learnt so far, in ascending order of ids.
    struct MediumFolders {
        std::vector<Folder> folders;
        std::string names;
        std::deque<std::string> paths; // which stay where they are as more are made
        bool whole = false;            // every folder read from the table of folder links

        // The place of the folder `id` in `folders`, if it was learnt.
        std::optional<std::size_t> PlaceOf(std::int64_t id) const;
        bool Ranked(std::int64_t id) const;
        // Adds `learnt`, in any order, to the folders: a folder learnt twice keeps its rank.
        void Merge(std::vector<Folder> learnt);
    };

    void LookUp(std::int64_t medium, std::span<const std::int64_t> folders);
    void ReadEveryFolder(std::int64_t medium);
    std::int64_t FoldersOf(std::int64_t medium);

    IConnection& m_db;
    std::unordered_map<std::int64_t, MediumFolders> m_media;
    std::optional<std::unordered_map<std::int64_t, std::int64_t>> m_folderCounts;
};
