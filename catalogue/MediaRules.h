#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueMessages.h"

#include <string>

// The rules on media names that both stores keep, inside the caller's transaction. `Store`
// answers FindConflicts(name, volume) and RemoveMedium(name).

// Whether a medium catalogued with `stored` is the folder `volume` describes: the volume and
// the path within it must both be known and equal. A medium catalogued before paths within
// volumes were kept has none, and is the same only by name.
inline bool SameFolder(const VolumeInfo& stored, const VolumeInfo& volume) {
    return !volume.uuid.empty() && !volume.path.empty() && stored.uuid == volume.uuid &&
           stored.path == volume.path;
}

// Makes way for adding `medium`: the medium of the same name, or of the same folder, goes
// when `replace` allows it; otherwise the add is refused. When the name is one medium's and
// the folder another's, the add is refused whatever `replace` says.
template <typename Store>
void RemoveConflictingMedia(Store& store, const Medium& medium, bool replace) {
    CheckMediumName(medium.name);
    const auto conflicts = store.FindConflicts(medium.name, medium.volume);
    if (conflicts.size() > 1)
        ReplaceQuestion(medium.name, conflicts); // throws
    if (!conflicts.empty() && !replace)
        throw MediumExistsError(ExistsMessage(medium.name, conflicts.front()));
    for (const auto& name : conflicts)
        store.RemoveMedium(name);
}

// A medium is never renamed to the name of another, nor to a name unfit for one.
template <typename Store>
void RefuseTakenName(Store& store, const std::string& name, const std::string& newName) {
    CheckMediumName(newName);
    if (name != newName && !store.FindConflicts(newName, {}).empty())
        throw CatalogueError(TakenMessage(newName));
}
