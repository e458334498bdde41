#pragma once

#include <cstdint>
#include <dirent.h>
#include <string_view>
#include <sys/stat.h>

// What the listing shows of an entry, taken from the file system without opening the entry.

// True when the volume of the open folder `fd` is mounted read-only.
bool IsReadOnlyVolume(int fd);

// An entry as ExamineEntry found it: its status, and whether another volume may be mounted
// there (a folder is taken to be such a place when the system cannot tell).
struct ExaminedEntry {
    struct stat status {};
    bool mayBeMountPoint = true;
};

// The entry `name` of the open folder `folderFd`, examined without following a symbolic link.
// An entry that vanished or cannot be examined keeps the type that the directory gave
// (`type`, a DT_ value) with size 0 and the time 0 (1970-01-01). `refused`, when given, tells
// whether the entry is still there but could not be examined (a folder that may be read but
// not searched).
ExaminedEntry ExamineEntry(int folderFd, const char* name, unsigned char type,
                           bool* refused = nullptr);

// The attribute bits of an examined entry: folder, archive (files and links) or system (FIFOs,
// sockets, devices); read-only when the owner may not write it or its volume is read-only (a
// sub-folder may be where another volume is mounted); hidden when its name starts with a dot.
std::uint32_t EntryAttributes(int folderFd, const char* name, const ExaminedEntry& entry,
                              bool readOnlyVolume);
// The same of an entry known by its type and permission bits (`mode`, as stat gives it) and
// name; `readOnly` when its volume is read-only.
std::uint32_t AttributesOfMode(mode_t mode, std::string_view name, bool readOnly);
