#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The XXH3-128 hash of a file's content.
struct ContentHash {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    auto operator<=>(const ContentHash&) const = default;
};

// The hash as 16 bytes, the high half first, each half's bytes from the highest (as the
// catalogue stores it and xxhsum prints it), and back; none when the bytes are not 16.
std::string HashBytes(const ContentHash& hash);
std::optional<ContentHash> HashFromBytes(std::string_view bytes);

// The hash of the content of the regular file `name` in the open folder `folderFd`, read from
// start to end with a large buffer; none when it cannot be opened or read, or is no regular
// file (a link is never followed). Safe on any number of threads at once.
std::optional<ContentHash> HashFileContent(int folderFd, const char* name);
