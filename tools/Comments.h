#pragma once

#include "FolderEntry.h"

#include <string>
#include <vector>

// The comment lines that one entry of the listing is to carry.
struct EntryComments {
    std::string name;
    CommentLines comments;
};

// Reads a comments file: one line per entry, NAME<TAB>COMMENT1[<TAB>COMMENT2[<TAB>COMMENT3]],
// empty lines skipped, a final CR of each line dropped. False, with `error` naming the file
// and line, when the file cannot be read or a line is not of that form.
bool ReadCommentsFile(const std::string& path, std::vector<EntryComments>& comments,
                      std::string& error);

// Gives each entry the comments of the line with its name (a later line for the same name
// wins). With `upperCase` the names of the file are upper-cased as the listing's names were.
// Returns the names that match no entry, in file order.
std::vector<std::string> AttachComments(EntryList& entries,
                                        const std::vector<EntryComments>& comments, bool upperCase);
