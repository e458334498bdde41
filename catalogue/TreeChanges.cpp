#include "TreeChanges.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

// The path below the listed folder of the entry `name` of `folder`.
std::string PathOf(const PathFolder& folder, std::string_view name) {
    std::string path = folder.path;
    if (!path.empty())
        path += '/';
    return path.append(name);
}

} // namespace

PathTreeBuilder::PathTreeBuilder(TreeSize expected) {
    m_folderPaths.reserve(expected.folders);
    m_tree.folders.reserve(expected.folders);
    m_tree.entries.reserve(expected.entries);
}

void PathTreeBuilder::StartFolder(std::int64_t id) {
    m_folder = id;
    m_tree.folders.push_back({m_folderPaths.at(id), m_tree.entries.size(), 0});
}

void PathTreeBuilder::Add(std::int64_t id, std::string_view name, EntryKind kind,
                          std::uint64_t size, std::int64_t modified,
                          const std::optional<ContentHash>& hash) {
    if (kind == EntryKind::Folder)
        m_folderPaths.emplace(id, PathOf(m_tree.folders.back(), name));
    m_tree.entries.push_back(
        {m_tree.names.size(), static_cast<std::uint32_t>(name.size()), kind, size, modified, hash});
    m_tree.names.append(name);
    ++m_tree.folders.back().count;
}

void PathTreeBuilder::AddFolder(const AddedFolder& folder) {
    StartFolder(folder.id);
    std::int64_t id = folder.first;
    for (const AddedEntry& e : folder.entries)
        Add(id++, e.name, e.kind, e.size, e.modified, e.hash);
}

void PathTreeBuilder::AddEntry(std::int64_t parent, const CataloguedEntry& entry) {
    if (m_folder != parent)
        StartFolder(parent);
    Add(entry.id, entry.name, entry.kind, entry.size, entry.modified, entry.hash);
}

PathTree PathTreeBuilder::Take() {
    const auto name = [&](const TreeEntry& entry) { return m_tree.NameOf(entry); };
    for (const PathFolder& folder : m_tree.folders) {
        const auto first = m_tree.entries.begin() + static_cast<std::ptrdiff_t>(folder.first);
        std::ranges::sort(first, first + static_cast<std::ptrdiff_t>(folder.count), {}, name);
    }
    m_folderPaths = {{0, {}}};
    m_folder.reset();
    return std::exchange(m_tree, {});
}

TreeSize CataloguedSize(ICatalogue& catalogue, const std::string& name) {
    for (const Medium& medium : catalogue.Media())
        if (medium.name == name)
            return {static_cast<std::size_t>(medium.folders) + 1,
                    static_cast<std::size_t>(medium.files + medium.folders)};
    return {};
}

PathTree CataloguedTree(ICatalogue& catalogue, const std::string& name, TreeSize expected) {
    PathTreeBuilder builder(expected);
    const bool found = catalogue.MediumEntries(name, [&](const CataloguedEntry& entry) {
        builder.AddEntry(entry.parent, entry);
        return true;
    });
    if (!found)
        throw CatalogueError("no medium named \"" + name + "\" in the catalogue");
    return builder.Take();
}

namespace {

unsigned ChangedFields(const TreeEntry& before, const TreeEntry& now) {
    unsigned fields = 0;
    const bool folders = before.kind == EntryKind::Folder || now.kind == EntryKind::Folder;
    if (!folders && before.size != now.size)
        fields |= kSizeChanged;
    if (before.modified != now.modified)
        fields |= kTimeChanged;
    if (before.kind != now.kind)
        fields |= kKindChanged;
    return fields;
}

bool ContentDiffers(const TreeEntry& before, const TreeEntry& now) {
    return before.hash && now.hash &&
           (before.hash->high != now.hash->high || before.hash->low != now.hash->low);
}

std::span<const TreeEntry> EntriesOf(const PathTree& tree, const PathFolder& folder) {
    return std::span(tree.entries).subspan(folder.first, folder.count);
}

// The changes between two trees' folders of the same path, their entries in name order.
class FolderComparison {
public:
    FolderComparison(const PathTree& catalogued, const PathTree& disk,
                     std::vector<TreeChange>& changes, bool contents)
        : m_catalogued(catalogued), m_disk(disk), m_changes(changes), m_contents(contents) {}

    void Compare(const PathFolder& folder, std::span<const TreeEntry> before,
                 std::span<const TreeEntry> now) {
        auto was = before.begin();
        auto is = now.begin();
        while (was != before.end() || is != now.end()) {
            const std::string_view wasName = was != before.end() ? m_catalogued.NameOf(*was) : "";
            const std::string_view isName = is != now.end() ? m_disk.NameOf(*is) : "";
            if (is == now.end() || (was != before.end() && wasName < isName)) {
                Note(TreeChange::Kind::Removed, folder, wasName);
                ++was;
            } else if (was == before.end() || isName < wasName) {
                Note(TreeChange::Kind::Added, folder, isName);
                ++is;
            } else {
                if (const unsigned fields = ChangedFields(*was, *is))
                    Note(TreeChange::Kind::Changed, folder, isName, fields);
                else if (m_contents && ContentDiffers(*was, *is))
                    Note(TreeChange::Kind::Content, folder, isName);
                ++was;
                ++is;
            }
        }
    }

private:
    void Note(TreeChange::Kind kind, const PathFolder& folder, std::string_view name,
              unsigned fields = 0) {
        m_changes.push_back({kind, PathOf(folder, name), fields});
    }

    const PathTree& m_catalogued;
    const PathTree& m_disk;
    std::vector<TreeChange>& m_changes;
    bool m_contents;
};

} // namespace

// Folders are matched by their paths, and their entries by name; only the changes are sorted.
std::vector<TreeChange> CompareTrees(const PathTree& catalogued, const PathTree& disk,
                                     bool contents) {
    std::unordered_map<std::string_view, const PathFolder*> before;
    before.reserve(catalogued.folders.size());
    for (const PathFolder& folder : catalogued.folders)
        before.emplace(folder.path, &folder);
    std::vector<TreeChange> changes;
    FolderComparison compare(catalogued, disk, changes, contents);
    for (const PathFolder& folder : disk.folders) {
        const auto found = before.extract(folder.path);
        compare.Compare(
            folder, found ? EntriesOf(catalogued, *found.mapped()) : std::span<const TreeEntry>{},
            EntriesOf(disk, folder));
    }
    for (const auto& [path, folder] : before)
        compare.Compare(*folder, EntriesOf(catalogued, *folder), {});
    std::ranges::sort(changes, {}, &TreeChange::path);
    return changes;
}

namespace {

std::int64_t FileBytes(const PathTree& tree) {
    std::uint64_t bytes = 0;
    for (const TreeEntry& e : tree.entries)
        if (e.kind != EntryKind::Folder)
            bytes += e.size;
    return static_cast<std::int64_t>(bytes);
}

} // namespace

ChangeCounts CountChanges(const std::vector<TreeChange>& changes, const PathTree& catalogued,
                          const PathTree& disk) {
    ChangeCounts counts;
    for (const TreeChange& change : changes) {
        switch (change.kind) {
        case TreeChange::Kind::Added:
            ++counts.added;
            break;
        case TreeChange::Kind::Removed:
            ++counts.removed;
            break;
        case TreeChange::Kind::Changed:
        case TreeChange::Kind::Content:
            ++counts.changed;
            break;
        }
    }
    counts.byteDelta = FileBytes(disk) - FileBytes(catalogued);
    return counts;
}

std::string ChangeCountsText(const ChangeCounts& counts) {
    return std::to_string(counts.added) + " added, " + std::to_string(counts.removed) +
           " removed, " + std::to_string(counts.changed) + " changed, " +
           (counts.byteDelta < 0 ? "-" : "+") +
           std::to_string(counts.byteDelta < 0 ? -counts.byteDelta : counts.byteDelta) + " bytes";
}

std::string ChangedFieldsText(unsigned fields) {
    std::string text;
    for (const auto& [field, word] :
         {std::pair{kSizeChanged, "size"}, std::pair{kTimeChanged, "time"},
          std::pair{kKindChanged, "kind"}})
        if (fields & field)
            text.append(text.empty() ? "" : "|").append(word);
    return text;
}
