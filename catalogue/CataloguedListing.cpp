#include "CataloguedListing.h"

#include <optional>

namespace {

// `text` is `name`, or begins with `name` and "/".
bool NamesMediumOf(const std::string& text, const std::string& name) {
    return text.starts_with(name) && (text.size() == name.size() || text[name.size()] == '/');
}

// The parts of `path` that are not empty, joined by "/".
std::string WithoutEmptyParts(const std::string& path) {
    std::string joined;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            joined.append(joined.empty() ? "" : "/").append(path, start, end - start);
        start = end + 1;
    }
    return joined;
}

std::optional<Medium> FindMedium(ICatalogue& catalogue, const std::string& name) {
    for (Medium& medium : catalogue.Media())
        if (medium.name == name)
            return std::move(medium);
    return std::nullopt;
}

RecordedEntry Recorded(CataloguedEntry&& catalogued) {
    RecordedEntry recorded;
    CFolderEntry& entry = recorded.entry;
    entry.m_dwAttributes = catalogued.attributes;
    entry.m_strName = std::move(catalogued.name);
    entry.m_nSize = catalogued.size;
    entry.m_ftLastWrite = FileTimeFromUnix(catalogued.modified);
    entry.m_comments = std::move(catalogued.comments);
    if (catalogued.totals)
        recorded.below = {catalogued.totals->bytes, static_cast<int>(catalogued.totals->files),
                          static_cast<int>(catalogued.totals->folders)};
    return recorded;
}

} // namespace

CataloguedFolder NameCataloguedFolder(ICatalogue& catalogue, const std::string& text) {
    std::optional<std::string> longest;
    for (const Medium& medium : catalogue.Media())
        if (NamesMediumOf(text, medium.name) && (!longest || medium.name.size() > longest->size()))
            longest = medium.name;
    if (!longest)
        throw CatalogueError("no medium named \"" + text + "\" in the catalogue");
    return {*longest, WithoutEmptyParts(text.substr(longest->size()))};
}

std::string PathAsAdded(const Medium& medium, const CataloguedFolder& folder) {
    if (folder.pathBelow.empty())
        return medium.folder;
    return (medium.folder == "/" ? "" : medium.folder) + "/" + folder.pathBelow;
}

CataloguedListing ReadCataloguedFolder(ICatalogue& catalogue, const CataloguedFolder& folder) {
    const std::optional<Medium> medium = FindMedium(catalogue, folder.medium);
    if (!medium)
        throw CatalogueError("no medium named \"" + folder.medium + "\" in the catalogue");
    const std::optional<std::int64_t> id = catalogue.FolderOf(folder.medium, folder.pathBelow);
    if (!id)
        throw CatalogueError("the medium \"" + folder.medium + "\" has no folder \"" +
                             folder.pathBelow + "\"");
    CataloguedListing listing{PathAsAdded(*medium, folder), {}};
    for (CataloguedEntry& catalogued : catalogue.FolderEntries(folder.medium, *id))
        listing.entries.push_back(Recorded(std::move(catalogued)));
    return listing;
}

void ListCataloguedFolder(ICatalogue& catalogue, const CataloguedFolder& folder,
                          CCatalogriumDoc& doc, int filesAndFolders) {
    CataloguedListing listing = ReadCataloguedFolder(catalogue, folder);
    doc.ListRecordedFolder(listing.path, std::move(listing.entries), filesAndFolders);
}
