#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

// Gives `path` (a link itself, never its target) the last-write time `seconds` and
// `nanoseconds` after 1970-01-01 UTC; its last-access time is left alone. A failure fails the
// test that asked.
inline void SetLastWrite(const std::filesystem::path& path, std::time_t seconds,
                         long nanoseconds = 0) {
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        ADD_FAILURE() << "cannot set the last-write time of " << path << ": "
                      << std::strerror(errno);
}
