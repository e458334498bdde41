#pragma once

#include "Catalogue.h"
#include "EntryComments.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

enum class AddOutcome { Added, CannotRead, Stopped };

// Reports how many entries an add has recorded so far.
using AddProgress = std::function<void(std::int64_t entries)>;

// Reads `folder` again, everything below it, and adds it to the catalogue under `name` in one
// transaction: unless it ends with Added, the catalogue is as it was. The scan's walk runs on
// threads of its own while the catalogue takes the folders it has read. Throws
// MediumExistsError when the name or the volume is catalogued and `replace` is false, and
// CatalogueError when the catalogue fails. The listed folder's entries keep the comments of a
// listing of it, each those given for the name the listing showed it under.
AddOutcome AddToCatalogue(ICatalogue& catalogue, const std::string& name, const std::string& folder,
                          bool replace, const std::atomic<bool>& stop,
                          const AddProgress& progress = {}, const ListingComments& comments = {});

// The medium that adding `folder` under `name` now would make, before its totals.
Medium NewMedium(const std::string& name, const std::string& folder);
