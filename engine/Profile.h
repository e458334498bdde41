#pragma once

#include "ListingOptions.h"

#include <string>

// The profile keeps the listing options between runs: a small INI file whose section
// [Options] holds one line key=value per setting. Keys are matched byte for byte ("Print as "
// keeps its trailing blank); integers are decimal text, the font name plain text.

// ${XDG_CONFIG_HOME:-$HOME/.config}/catalogrium3.ini
std::string DefaultProfilePath();

// The options stored in the profile at `path`. A missing file, a missing key, a line that is
// not key=value or a value that is not a number leaves that setting at its default; a file
// that cannot be read as text gives the defaults. "Size" and "Attributes" are never read.
ListingOptions LoadListingOptions(const std::string& path);

// Writes every setting to the profile at `path`, creating the file and its folder when
// missing. Other sections, unknown keys and comments of an existing file are kept; known
// keys are changed in place and missing ones added in the save order. The file is replaced
// only when the new one is complete; false when it could not be written (or an existing
// profile could not be read), and the old file is then left as it was.
bool SaveListingOptions(const std::string& path, const ListingOptions& options);

// Sets the field stored under `key` from its profile text. False, leaving `options` alone,
// for a key that sets no field (unknown, or "Size" and "Attributes", which are only written)
// or a value the field cannot hold (not a 32-bit decimal integer; a font name with a line
// break).
bool ApplyProfileSetting(ListingOptions& options, const std::string& key, const std::string& value);
