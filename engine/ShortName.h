#pragma once

#include "engine/FolderEntry.h"

#include <string>
#include <string_view>
#include <vector>

// Linux has no short (8.3) names, so the listing makes one for each entry that stays unique
// among the listing's entries, as an 8.3 alias does. A name of at most 8 characters, or of at
// most 8 + "." + 3, is its own short name. Any other name gets an alias: its leading dots are
// dropped (".hidden folder" is taken as "hidden folder", "..two dots" as "two dots"), then
// come up to six characters of the name before its last dot (blanks and dots dropped), "~", a
// number, then "." and up to three characters of the extension when there is one; case kept.
// The number is 1, 2, ... in the names' byte order among the names whose alias would
// otherwise be the same, skipping any alias already taken; the stem shortens as the number
// grows, so that stem, "~" and number stay within 8 characters. Characters are counted as
// everywhere in names (Text.h). The time taken grows in proportion to the names (with their
// sort), however many of them share their first letters.

// The short name of each of `names` (distinct names), in the same order.
std::vector<std::string> MakeShortNames(const std::vector<std::string_view>& names);

// Sets the short name of every entry, unique among them.
void AssignShortNames(ScanList& entries);
