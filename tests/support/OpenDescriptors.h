#pragma once

#include <filesystem>
#include <iterator>

// The file descriptors this process has open, to see that nothing is left open.
inline int CountOpenDescriptors() {
    return static_cast<int>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}
