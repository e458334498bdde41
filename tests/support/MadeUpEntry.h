#pragma once

#include "catalogue/Catalogue.h"

#include <cstdint>
#include <string>
#include <utility>

// An entry of a made-up folder for a catalogue's add, without a hash or comments.
inline AddedEntry MadeUpEntry(std::string name, EntryKind kind, std::uint64_t size = 0,
                              std::int64_t modified = 0, std::uint32_t attributes = 0) {
    AddedEntry entry;
    entry.name = std::move(name);
    entry.kind = kind;
    entry.size = size;
    entry.modified = modified;
    entry.attributes = attributes;
    return entry;
}
