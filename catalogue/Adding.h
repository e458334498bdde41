#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/TreeChanges.h"
#include "engine/EntryComments.h"
#include "engine/TreeWalk.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum class AddOutcome { Added, CannotRead, Stopped };

// Reports how many entries an add has recorded so far.
using AddProgress = std::function<void(std::int64_t entries)>;

// How a medium is added.
struct AddChoices {
    // Replace a medium of the same name or of the same folder of its volume.
    bool replace = false;
    // Read every regular file for the hash of its content, which --verify compares.
    bool checksums = false;
    // The comments of a listing of the folder, kept with the listed folder's entries.
    ListingComments comments;
    // When the add replaces one medium: told how the folder differs from it once the folder
    // is read, before the old medium goes; the add goes on only when it returns true (otherwise
    // it ends with Stopped).
    std::function<bool(const ChangeCounts& counts, const std::vector<TreeChange>& changes)>
        confirmReplace;
};

// Reads `folder` again, everything below it, and adds it to the catalogue under `name` in one
// transaction: unless it ends with Added, the catalogue is as it was. The scan's walk runs on
// threads of its own while the catalogue takes the folders it has read. Throws
// MediumExistsError when the name or the volume is catalogued and `replace` is false, and
// CatalogueError when the catalogue fails. The listed folder's entries keep the comments of a
// listing of it, each those given for the name the listing showed it under.
AddOutcome AddToCatalogue(ICatalogue& catalogue, const std::string& name, const std::string& folder,
                          bool replace, const std::atomic<bool>& stop,
                          const AddProgress& progress = {}, const ListingComments& comments = {});

AddOutcome AddToCatalogue(ICatalogue& catalogue, const std::string& name, const std::string& folder,
                          const AddChoices& choices, const std::atomic<bool>& stop,
                          const AddProgress& progress = {});

// How a folder differs from a catalogued medium.
struct FolderChanges {
    std::vector<TreeChange> changes;
    ChangeCounts counts;
};

// How `folder`, read now, differs from the medium `name` as catalogued; with `contents`, the
// content of files that kept their size and time too (where both sides have hashes). None
// when the folder cannot be read or `stop` was set; throws CatalogueError when there is no such
// medium.
std::optional<FolderChanges> CompareWithFolder(ICatalogue& catalogue, const std::string& name,
                                               const std::string& folder, bool contents,
                                               const std::atomic<bool>& stop);

// The medium that adding `folder` under `name` now would make, before its totals.
Medium NewMedium(const std::string& name, const std::string& folder);
