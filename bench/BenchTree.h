#pragma once

#include <cstddef>
#include <string>

// A generated folder tree to scan: `files` sparse files (sizes spread over 0 to 10 MB, no
// blocks used) spread over a top folder and two levels of sub-folders below it.
struct TreeShape {
    std::size_t files = 200000;
    std::size_t topFiles = 1000;  // directly in the top folder
    std::size_t topFolders = 100; // each with `subFolders` folders holding the other files
    std::size_t subFolders = 100;
};

// Creates the tree in a new folder below `parent` and returns its path; throws on failure.
std::string GenerateTree(const std::string& parent, const TreeShape& shape);
// The catalogue's tree: `files` sparse files in the top folder and six levels of folders below
// it, about one folder for every 20 files (200,000 files: 4, 4, 4, 5, 5 and 5 sub-folders a
// level, 10,005 folders in all), each folder holding an even share of the files. Names are made as
// people name files (words, dates, camera numbers, a few extensions, mixed case, spaces), about 21
// bytes on average, the same in every run.
std::string GenerateNamedTree(const std::string& parent, std::size_t files);
// Removes a generated tree with everything in it.
void RemoveTree(const std::string& path);
