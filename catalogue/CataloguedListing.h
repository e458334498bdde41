#pragma once

#include "catalogue/Catalogue.h"

#include "engine/CatalogriumDoc.h"

#include <string>
#include <vector>

// A folder of a catalogued medium: the medium's name and the folder's path below the listed
// folder, its parts joined by "/" ("" for the listed folder itself).
struct CataloguedFolder {
    std::string medium;
    std::string pathBelow;
};

// The catalogued folder that "MEDIUM[/PATH]" names. A medium's name may hold "/", so the
// longest name of a catalogued medium that the text is, or that it begins with followed by
// "/", is the medium; empty parts of PATH are dropped. Throws CatalogueError when the text
// begins with the name of no medium.
CataloguedFolder NameCataloguedFolder(ICatalogue& catalogue, const std::string& text);

// The path that `folder` had when its medium was added: the medium's listed folder followed by
// the path below it.
std::string PathAsAdded(const Medium& medium, const CataloguedFolder& folder);

// A catalogued folder as a scan of it read it when its medium was added: its path as it was
// added, and its entries in the order they were read with their sizes, times to the second,
// attributes, comments and the totals below the folders.
struct CataloguedListing {
    std::string path;
    std::vector<RecordedEntry> entries;
};

// Reads the catalogued folder. Throws CatalogueError, naming what is missing, when the catalogue
// has no such medium or folder.
CataloguedListing ReadCataloguedFolder(ICatalogue& catalogue, const CataloguedFolder& folder);

// Fills `doc` with the catalogued folder as ScanFolder filled it from the disk (see
// CCatalogriumDoc::ListRecordedFolder); SortEntries comes next. Throws as ReadCataloguedFolder
// does, `doc` then left as it was.
void ListCataloguedFolder(ICatalogue& catalogue, const CataloguedFolder& folder,
                          CCatalogriumDoc& doc, int filesAndFolders);
