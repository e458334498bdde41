#pragma once

#include "engine/EntryComments.h"
#include "engine/FolderEntry.h"

#include <climits>
#include <string>
#include <vector>

// The most entries that a listing carries comments for, as in the comments dialog.
inline constexpr std::size_t kMaxCommentedEntries = 64000;
// The longest line that a comments file can need: a name of NAME_MAX bytes and three
// comments of characters of up to four bytes, each after its tab (the line end not counted).
inline constexpr std::size_t kMaxCommentLineBytes = NAME_MAX + 3 * (1 + 4 * kCommentLineChars);
// The largest comments file: a longest line with its CR LF for every entry commented.
inline constexpr std::size_t kMaxCommentsFileBytes =
    kMaxCommentedEntries * (kMaxCommentLineBytes + 2);

// Reads a comments file: one line per entry, NAME<TAB>COMMENT1[<TAB>COMMENT2[<TAB>COMMENT3]],
// empty lines skipped, a final CR of each line dropped. False, with `error` naming the file
// (and the line), when the file cannot be read, is larger than kMaxCommentsFileBytes (it is
// read no further, so a device that never ends is refused too), or has a line longer than
// kMaxCommentLineBytes or not of that form.
bool ReadCommentsFile(const std::string& path, std::vector<EntryComments>& comments,
                      std::string& error);

// Gives each entry the comments of the line with its name (a later line for the same name
// wins). With `upperCase` the names of the file are upper-cased as the listing's names were.
// Returns the names that match no entry, in file order.
std::vector<std::string> AttachComments(EntryList& entries,
                                        const std::vector<EntryComments>& comments, bool upperCase);
