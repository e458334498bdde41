#include "BenchTree.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

void MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0)
        Fail("cannot create folder", path);
}

// A sparse file of a size that depends on its number.
void MakeFile(const std::string& path, std::size_t number) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        Fail("cannot create file", path);
    off_t size = static_cast<off_t>((number * 2654435761u) % 10000000u);
    bool ok = ::ftruncate(fd, size) == 0;
    ::close(fd);
    if (!ok)
        Fail("cannot size file", path);
}

void MakeFiles(const std::string& folder, std::size_t first, std::size_t count) {
    char name[64];
    for (std::size_t i = first; i < first + count; ++i) {
        std::snprintf(name, sizeof name, "/file_%07zu.dat", i);
        MakeFile(folder + name, i);
    }
}

} // namespace

std::string GenerateTree(const std::string& parent, const TreeShape& shape) {
    std::string top = parent + "/catalogrium-bench-XXXXXX";
    if (!::mkdtemp(top.data()))
        Fail("cannot create folder", top);
    MakeFiles(top, 0, shape.topFiles);
    std::size_t leaves = shape.topFolders * shape.subFolders;
    std::size_t rest = shape.files > shape.topFiles ? shape.files - shape.topFiles : 0;
    std::size_t made = shape.topFiles;
    for (std::size_t leaf = 0; leaf < leaves; ++leaf) {
        std::string upper = top + "/folder_" + std::to_string(leaf / shape.subFolders);
        if (leaf % shape.subFolders == 0)
            MakeFolder(upper);
        std::string folder = upper + "/sub_" + std::to_string(leaf % shape.subFolders);
        MakeFolder(folder);
        std::size_t count = rest / leaves + (leaf < rest % leaves ? 1 : 0);
        MakeFiles(folder, made, count);
        made += count;
    }
    return top;
}

void RemoveTree(const std::string& path) {
    std::filesystem::remove_all(path);
}
