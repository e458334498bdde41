#include "BenchTree.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// ---- the named tree ---------------------------------------------------------------------

constexpr std::size_t kLevels = 6;
constexpr std::size_t kFilesPerFolder = 20;

using FanOut = std::array<std::size_t, kLevels>;

std::size_t FoldersBelow(const FanOut& fanOut) {
    std::size_t folders = 0, level = 1;
    for (std::size_t count : fanOut)
        folders += level *= count;
    return folders;
}

// The sub-folders a folder has at each level: b or b + 1 (the deeper levels having more),
// whichever gives the folder count nearest one for every kFilesPerFolder files.
FanOut FanOutFor(std::size_t files) {
    const double wanted = std::max<double>(kLevels, static_cast<double>(files / kFilesPerFolder));
    const auto base = static_cast<std::size_t>(std::pow(wanted, 1.0 / kLevels));
    FanOut best{};
    double bestDistance = -1;
    for (std::size_t wider = 0; wider <= kLevels; ++wider) {
        FanOut fanOut;
        for (std::size_t level = 0; level < kLevels; ++level)
            fanOut[level] = base + (level + wider >= kLevels ? 1 : 0);
        const double distance = std::abs(static_cast<double>(FoldersBelow(fanOut)) - wanted);
        if (bestDistance < 0 || distance < bestDistance) {
            best = fanOut;
            bestDistance = distance;
        }
    }
    return best;
}

constexpr std::array<std::string_view, 48> kWords{
    "holiday", "report",  "invoice", "photo",   "backup", "draft",    "final",   "notes",
    "budget",  "letter",  "music",   "track",   "summer", "winter",   "family",  "project",
    "design",  "meeting", "thesis",  "chapter", "recipe", "garden",   "travel",  "paris",
    "wedding", "school",  "receipt", "manual",  "update", "concert",  "podcast", "lecture",
    "slides",  "poster",  "archive", "export",  "sample", "release",  "version", "settings",
    "sunset",  "beach",   "river",   "kitchen", "office", "birthday", "album",   "scan"};

constexpr std::array<std::string_view, 12> kExtensions{".jpg",  ".JPG", ".pdf",    ".txt",
                                                       ".docx", ".mp3", ".flac",   ".png",
                                                       ".mkv",  ".cpp", ".tar.gz", ".odt"};

// The same well-spread bits for the same number (SplitMix64).
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15u;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
    return x ^ (x >> 31);
}

// Draws numbers below a bound from the bits of one number.
class Draw {
public:
    explicit Draw(std::uint64_t number) : m_bits(Mix(number)) {}
    std::size_t Below(std::size_t bound) {
        const std::size_t value = m_bits % bound;
        m_bits /= bound;
        return value;
    }
    std::string_view Word() { return kWords[Below(kWords.size())]; }

private:
    std::uint64_t m_bits;
};

std::string Capitalised(std::string_view word) {
    std::string text(word);
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// Every form holds the file's number, so no two files of the tree have the same name.
std::string FileName(std::size_t number) {
    Draw draw(number);
    char name[96];
    const int year = 2005 + static_cast<int>(draw.Below(20));
    const int month = 1 + static_cast<int>(draw.Below(12));
    const int day = 1 + static_cast<int>(draw.Below(28));
    switch (draw.Below(4)) {
    case 0:
        std::snprintf(name, sizeof name, "IMG_%04d%02d%02d_%05zu.%s", year, month, day, number,
                      draw.Below(2) ? "JPG" : "jpg");
        break;
    case 1:
        std::snprintf(name, sizeof name, "%s_%s_%05zu", Capitalised(draw.Word()).c_str(),
                      std::string(draw.Word()).c_str(), number);
        break;
    case 2:
        std::snprintf(name, sizeof name, "%s (%zu)", std::string(draw.Word()).c_str(), number);
        break;
    default:
        std::snprintf(name, sizeof name, "%s-%04d-%02d-%zu", std::string(draw.Word()).c_str(), year,
                      month, number);
        break;
    }
    std::string result = name;
    if (result.starts_with("IMG_"))
        return result;
    return result + std::string(kExtensions[draw.Below(kExtensions.size())]);
}

// `index` tells apart the sub-folders of one folder.
std::string FolderName(std::size_t number, std::size_t index) {
    Draw draw(number + 0x5eed);
    return Capitalised(draw.Word()) + " " + std::string(draw.Word()) + " " + std::to_string(index);
}

// Makes the sub-folders of `folder` at `level` and everything below them, each folder's path
// appended to `folders`.
void MakeFolderLevels(const std::string& folder, const FanOut& fanOut, std::size_t level,
                      std::vector<std::string>& folders) {
    if (level == kLevels)
        return;
    for (std::size_t index = 0; index < fanOut[level]; ++index) {
        const std::string sub = folder + "/" + FolderName(folders.size(), index);
        MakeFolder(sub);
        folders.push_back(sub);
        MakeFolderLevels(sub, fanOut, level + 1, folders);
    }
}

} // namespace

std::string GenerateNamedTree(const std::string& parent, std::size_t files) {
    std::string top = parent + "/catalogrium-named-XXXXXX";
    if (!::mkdtemp(top.data()))
        Fail("cannot create folder", top);
    std::vector<std::string> folders{top};
    MakeFolderLevels(top, FanOutFor(files), 0, folders);
    std::size_t number = 0;
    for (std::size_t f = 0; f < folders.size(); ++f) {
        const std::size_t count = files / folders.size() + (f < files % folders.size() ? 1 : 0);
        for (std::size_t i = 0; i < count; ++i, ++number)
            MakeFile(folders[f] + "/" + FileName(number), number);
    }
    return top;
}

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
