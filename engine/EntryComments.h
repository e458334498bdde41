#pragma once

#include "engine/FolderEntry.h"

#include <string>
#include <vector>

// The comment lines that one entry of the listing is to carry, by the entry's name.
struct EntryComments {
    std::string name;
    CommentLines comments;
};

// The name of an entry as a listing shows it, and as comments name the entry: upper-cased when
// the listing's names are.
std::string ShownName(const std::string& name, bool upperCase);

// The comments that the entries of a listing carry, by the names the listing shows.
std::vector<EntryComments> CommentsOf(const EntryList& entries);

// The comments of a listing, to be kept with the entries it showed: by the names it showed
// them under (see ShownName).
struct ListingComments {
    std::vector<EntryComments> entries;
    bool upperCase = false;
};
