#include "AddTally.h"

#include "FolderEntry.h"

std::string JoinBelow(std::string_view relativePath, std::string_view name) {
    std::string path(relativePath);
    if (!path.empty())
        path += '/';
    path += name;
    return path;
}

void AddTally::AddFolder(std::string_view relativePath, const std::vector<RecordedEntry>& entries,
                         const std::vector<std::int64_t>& ids) {
    std::uint64_t direct = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].attributes & kAttrFolder) {
            ++folders;
            m_folderIds.emplace(JoinBelow(relativePath, entries[i].name), ids[i]);
        } else {
            ++files;
            direct += entries[i].size;
        }
    }
    bytes += direct;
    if (direct != 0)
        m_directBytes[std::string(relativePath)] += direct;
}

// Each folder's own files count for it and for every folder above it.
std::vector<std::pair<std::int64_t, std::uint64_t>> AddTally::FolderSizes() const {
    std::unordered_map<std::string, std::uint64_t> totals;
    for (const auto& [path, direct] : m_directBytes) {
        std::string_view up = path;
        while (!up.empty()) {
            totals[std::string(up)] += direct;
            const auto slash = up.rfind('/');
            up = slash == std::string_view::npos ? std::string_view() : up.substr(0, slash);
        }
    }
    std::vector<std::pair<std::int64_t, std::uint64_t>> sizes;
    for (const auto& [path, total] : totals)
        if (const auto id = m_folderIds.find(path); id != m_folderIds.end())
            sizes.emplace_back(id->second, total);
    return sizes;
}
