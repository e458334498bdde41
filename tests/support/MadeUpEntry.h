#pragma once

#include "catalogue/Catalogue.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Made-up entries and media for a catalogue's add.

// An entry of a made-up folder, without a hash or comments.
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

// Adds `medium` holding `folders` folders, "folder0" and on, each holding `files` files,
// "file0.dat" and on; file i has `i * sizeStep` bytes and was modified at 1700000000 + i.
inline void AddFoldersOfFiles(ICatalogue& catalogue, const Medium& medium, int folders, int files,
                              std::uint64_t sizeStep = 1) {
    auto add = catalogue.BeginAdd(medium, false);
    AddedFolder top{0, 1, {}};
    for (int f = 0; f < folders; ++f)
        top.entries.push_back(
            MadeUpEntry("folder" + std::to_string(f), EntryKind::Folder, 0, 1700000000, 0x10));
    add->AddFolder(top);
    std::int64_t next = 1 + folders;
    for (int f = 0; f < folders; ++f) {
        AddedFolder folder{1 + f, next, {}};
        for (int i = 0; i < files; ++i)
            folder.entries.push_back(
                MadeUpEntry("file" + std::to_string(i) + ".dat", EntryKind::File,
                            static_cast<std::uint64_t>(i) * sizeStep, 1700000000 + i, 0x20));
        next += files;
        add->AddFolder(folder);
    }
    add->Commit();
}
