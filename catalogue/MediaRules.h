#pragma once

#include "Catalogue.h"
#include "CatalogueMessages.h"

#include <string>

// The rules on media names that both stores keep, inside the caller's transaction. `Store`
// answers Conflicts(name, uuid) and RemoveMedium(name).

// Makes way for adding `medium`: the media of the same name, or on the same volume, go when
// `replace` allows it; otherwise the add is refused.
template <typename Store>
void RemoveConflictingMedia(Store& store, const Medium& medium, bool replace) {
    const auto conflicts = store.Conflicts(medium.name, medium.volume.uuid);
    if (!conflicts.empty() && !replace)
        throw MediumExistsError(ExistsMessage(conflicts.front()));
    for (const auto& name : conflicts)
        store.RemoveMedium(name);
}

// A medium is never renamed to the name of another.
template <typename Store>
void RefuseTakenName(Store& store, const std::string& name, const std::string& newName) {
    if (name != newName && !store.Conflicts(newName, {}).empty())
        throw CatalogueError(TakenMessage(newName));
}
