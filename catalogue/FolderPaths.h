#pragma once

#include "catalogue/Connection.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Entries checked, or folders looked up, by one statement.
inline constexpr std::size_t kIdBatch = 5000;

// Calls `each` with `ids` in runs of at most kIdBatch.
template <typename Each> void InBatches(std::span<const std::int64_t> ids, const Each& each) {
    for (std::size_t at = 0; at < ids.size(); at += kIdBatch)
        each(ids.subspan(at, std::min(kIdBatch, ids.size() - at)));
}

// The paths and ranks of the folders that entries are in, paths built from their parents, kept
// for the call; the folders of many entries are looked up together, with every folder above
// them. No other statement may be under way on the connection while it learns.
class FolderPaths {
public:
    explicit FolderPaths(IConnection& db) : m_db(db) {}

    // Looks up the folders of `medium` not known yet, and every folder above them; when they are
    // many, every folder of the medium.
    void Learn(std::int64_t medium, std::vector<std::int64_t> folders);

    // The folder's rank in the byte order of the medium's folder paths (the listed folder's is
    // 0). The folder must have been learnt.
    std::int64_t RankOf(std::int64_t medium, std::int64_t folder) const {
        return folder == 0 ? 0 : m_links.at({medium, folder}).rank.value();
    }

    // The folder's path below the listed folder, ending with "/" unless it is the listed one.
    // Its folders must have been learnt. Kept for the folder asked for, not for those above it,
    // whose paths may be long.
    const std::string& Below(std::int64_t medium, std::int64_t folder);

private:
    struct Link {
        std::int64_t parent = 0;
        std::string name;
        std::optional<std::int64_t> rank; // of a folder asked for; the listed one's is 0
        std::optional<std::string> path;  // once asked for
    };
    struct KeyHash {
        std::size_t operator()(const std::pair<std::int64_t, std::int64_t>& key) const noexcept {
            return std::hash<std::int64_t>{}(key.first * 1000003 ^ key.second);
        }
    };

    void LearnEveryFolder(std::int64_t medium);

    IConnection& m_db;
    std::unordered_map<std::pair<std::int64_t, std::int64_t>, Link, KeyHash> m_links;
};
