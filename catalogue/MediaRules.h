#pragma once

#include "Catalogue.h"
#include "CatalogueMessages.h"

#include <string>

// The rules on media names that both stores keep, inside the caller's transaction. `Store`
// answers FindConflicts(name, uuid) and RemoveMedium(name).

// Makes way for adding `medium`: the media of the same name, or on the same volume, go when
// `replace` allows it; otherwise the add is refused.
template <typename Store>
void RemoveConflictingMedia(Store& store, const Medium& medium, bool replace) {
    CheckMediumName(medium.name);
    const auto conflicts = store.FindConflicts(medium.name, medium.volume.uuid);
    if (!conflicts.empty() && !replace)
        throw MediumExistsError(ExistsMessage(conflicts.front()));
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
