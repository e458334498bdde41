#pragma once

#include "engine/ListingOptions.h"

#include <string>

// The profile keeps the listing options between runs: a small INI file whose section
// [Options] holds one line key=value per setting. Keys are matched byte for byte ("Print as "
// keeps its trailing blank); integers are decimal text, the font name plain text.

// ${XDG_CONFIG_HOME:-$HOME/.config}/catalogrium3.ini
std::string DefaultProfilePath();

// Sets `options` to those stored in the profile at `path` (a leading UTF-8 byte-order mark is
// skipped). A missing file, a missing key, a line that is not key=value or a value that is
// not a number leaves that setting at its default. False, with the defaults and a message in
// `error`, when the file is there but cannot be read as a profile (a folder, a file that
// cannot be opened or read, one over 1 MiB). "Size" and "Attributes" are never read.
bool LoadListingOptions(const std::string& path, ListingOptions& options, std::string& error);

// Writes every setting to the profile at `path`, creating the file and its folder when
// missing. Other sections, unknown keys, comments, a leading byte-order mark and the file's
// line ends (LF or CR LF) are kept; known keys are changed in place and missing ones added
// in the save order. The file is replaced only when the new one is complete. False, with a
// message in `error`, when an existing profile cannot be read, when the new one would be
// too large to be read back, or when it cannot be written; the old file is then left as it
// was.
bool SaveListingOptions(const std::string& path, const ListingOptions& options, std::string& error);

// Sets the field stored under `key` from its profile text. False, leaving `options` alone,
// for a key that sets no field (unknown, or "Size" and "Attributes", which are only written)
// or a value the field cannot hold (not a 32-bit decimal integer; a font name with a line
// break). Blanks and tabs around a value are dropped.
bool ApplyProfileSetting(ListingOptions& options, const std::string& key, const std::string& value);
