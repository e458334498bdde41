#pragma once

#include "Catalogue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// What an add counts while the folders come in: the medium's totals, and for every folder
// entry the bytes of all files below it, to be written once everything is in.
class AddTally {
public:
    // The entries of the folder at `relativePath`, stored under the ids `ids` (one each).
    void AddFolder(std::string_view relativePath, const std::vector<RecordedEntry>& entries,
                   const std::vector<std::int64_t>& ids);
    // Each folder entry's id with the total size of the files below it.
    std::vector<std::pair<std::int64_t, std::uint64_t>> FolderSizes() const;

    std::int64_t files = 0;
    std::int64_t folders = 0;
    std::uint64_t bytes = 0;

private:
    std::unordered_map<std::string, std::int64_t> m_folderIds;    // path below -> entry id
    std::unordered_map<std::string, std::uint64_t> m_directBytes; // path below -> its files
};

// The path of `name` in the folder at `relativePath` (empty for the listed folder).
std::string JoinBelow(std::string_view relativePath, std::string_view name);
