#pragma once

#include <cstdint>
#include <optional>

// The XXH3-128 hash of a file's content.
struct ContentHash {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    auto operator<=>(const ContentHash&) const = default;
};

// The hash of the content of the regular file `name` in the open folder `folderFd`, read from
// start to end with a large buffer; none when it cannot be opened or read, or is no regular
// file (a link is never followed). Safe on any number of threads at once.
std::optional<ContentHash> HashFileContent(int folderFd, const char* name);
