#pragma once

#include "catalogue/Catalogue.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One entry of a tree, known by its folder and name. Its name is kept with the tree's names:
// a string of its own for each would cost an allocation and more memory to fill.
struct TreeEntry {
    std::size_t nameAt = 0; // in the tree's names
    std::uint32_t nameSize = 0;
    EntryKind kind = EntryKind::File;
    std::uint64_t size = 0; // a folder's is not compared
    std::int64_t modified = 0;
    std::optional<ContentHash> hash;
};

// A folder of a tree: its path below the listed folder (the names joined by "/"; the listed
// folder's is empty) and its entries, a run of the tree's.
struct PathFolder {
    std::string path;
    std::size_t first = 0;
    std::size_t count = 0;
};

// The folders of a whole tree, in no set order, each with its entries in the byte order of
// their names.
struct PathTree {
    std::vector<PathFolder> folders;
    std::vector<TreeEntry> entries;
    std::string names; // the entries' names, one after another

    std::string_view NameOf(const TreeEntry& entry) const {
        return std::string_view(names).substr(entry.nameAt, entry.nameSize);
    }
};

// What differs of an entry that both trees hold.
enum ChangedField : unsigned { kSizeChanged = 1, kTimeChanged = 2, kKindChanged = 4 };

struct TreeChange {
    enum class Kind {
        Added,   // on the disk only
        Removed, // in the catalogue only
        Changed, // its size, time or kind: `fields`
        Content, // the same size and time, another hash of the content
    };
    Kind kind = Kind::Added;
    std::string path;
    unsigned fields = 0;
};

// How much a tree changed, as an update of its medium is told.
struct ChangeCounts {
    std::int64_t added = 0;
    std::int64_t removed = 0;
    std::int64_t changed = 0;   // changed and content lines alike
    std::int64_t byteDelta = 0; // the files' bytes on the disk less those catalogued
};

// How many folders and entries a tree is expected to hold, for room made ahead: grown step by
// step, the entries' array would copy every entry and touch fresh pages at each step.
struct TreeSize {
    std::size_t folders = 0; // the listed folder's included
    std::size_t entries = 0;
};

// Gathers a tree's entries from its folders, each folder after the one that holds it.
class PathTreeBuilder {
public:
    explicit PathTreeBuilder(TreeSize expected = {});
    // The entries of the folder `id`, numbered from `folder.first`.
    void AddFolder(const AddedFolder& folder);
    // One entry of the folder `parent` (the listed folder: 0); a folder's entries come together.
    void AddEntry(std::int64_t parent, const CataloguedEntry& entry);
    PathTree Take();

private:
    void StartFolder(std::int64_t id);
    void Add(std::int64_t id, std::string_view name, EntryKind kind, std::uint64_t size,
             std::int64_t modified, const std::optional<ContentHash>& hash);

    std::unordered_map<std::int64_t, std::string> m_folderPaths{{0, {}}};
    std::optional<std::int64_t> m_folder; // the folder whose entries come now
    PathTree m_tree;
};

// The size of the medium `name` as catalogued; none when there is no such medium.
TreeSize CataloguedSize(ICatalogue& catalogue, const std::string& name);

// Every entry of the medium `name`, with its path, room made for `expected`; throws
// CatalogueError when there is no such medium.
PathTree CataloguedTree(ICatalogue& catalogue, const std::string& name, TreeSize expected);

// The differences from `catalogued` to `disk`, in the byte order of their paths. A folder's
// size (the total below it) never counts; content counts only when `contents` is set and both
// entries have a hash.
std::vector<TreeChange> CompareTrees(const PathTree& catalogued, const PathTree& disk,
                                     bool contents);

ChangeCounts CountChanges(const std::vector<TreeChange>& changes, const PathTree& catalogued,
                          const PathTree& disk);

// "N added, N removed, N changed, +B bytes" (or "-B bytes").
std::string ChangeCountsText(const ChangeCounts& counts);

// "size", "time" and "kind", those of `fields`, joined by "|".
std::string ChangedFieldsText(unsigned fields);
