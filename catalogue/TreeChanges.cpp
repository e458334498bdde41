#include "TreeChanges.h"

#include <algorithm>

void PathTreeBuilder::Add(std::int64_t parent, std::int64_t id, PathEntry entry,
                          const std::string& name) {
    const std::string& folderPath = m_folderPaths.at(parent);
    entry.path.reserve(folderPath.size() + 1 + name.size());
    if (!folderPath.empty())
        entry.path.append(folderPath).push_back('/');
    entry.path.append(name);
    if (entry.kind == EntryKind::Folder)
        m_folderPaths.emplace(id, entry.path);
    m_entries.push_back(std::move(entry));
}

void PathTreeBuilder::AddFolder(const AddedFolder& folder) {
    std::int64_t id = folder.first;
    for (const AddedEntry& e : folder.entries)
        Add(folder.id, id++, {{}, e.kind, e.size, e.modified, e.hash}, e.name);
}

void PathTreeBuilder::AddEntry(std::int64_t parent, const CataloguedEntry& entry) {
    Add(parent, entry.id, {{}, entry.kind, entry.size, entry.modified, entry.hash}, entry.name);
}

PathTree PathTreeBuilder::Take() {
    std::ranges::sort(m_entries, {}, &PathEntry::path);
    m_folderPaths = {{0, {}}};
    return std::move(m_entries);
}

PathTree CataloguedTree(ICatalogue& catalogue, const std::string& name) {
    PathTreeBuilder builder;
    const bool found = catalogue.MediumEntries(name, [&](const CataloguedEntry& entry) {
        builder.AddEntry(entry.parent, entry);
        return true;
    });
    if (!found)
        throw CatalogueError("no medium named \"" + name + "\" in the catalogue");
    return builder.Take();
}

namespace {

unsigned ChangedFields(const PathEntry& before, const PathEntry& now) {
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

bool ContentDiffers(const PathEntry& before, const PathEntry& now) {
    return before.hash && now.hash &&
           (before.hash->high != now.hash->high || before.hash->low != now.hash->low);
}

} // namespace

std::vector<TreeChange> CompareTrees(const PathTree& catalogued, const PathTree& disk,
                                     bool contents) {
    std::vector<TreeChange> changes;
    auto before = catalogued.begin();
    auto now = disk.begin();
    while (before != catalogued.end() || now != disk.end()) {
        if (now == disk.end() || (before != catalogued.end() && before->path < now->path)) {
            changes.push_back({TreeChange::Kind::Removed, before++->path, 0});
        } else if (before == catalogued.end() || now->path < before->path) {
            changes.push_back({TreeChange::Kind::Added, now++->path, 0});
        } else {
            if (const unsigned fields = ChangedFields(*before, *now))
                changes.push_back({TreeChange::Kind::Changed, now->path, fields});
            else if (contents && ContentDiffers(*before, *now))
                changes.push_back({TreeChange::Kind::Content, now->path, 0});
            ++before;
            ++now;
        }
    }
    return changes;
}

namespace {

std::int64_t FileBytes(const PathTree& tree) {
    std::uint64_t bytes = 0;
    for (const PathEntry& e : tree)
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
