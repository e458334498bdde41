#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A temporary folder that the test creates and removes, with whatever it holds (permissions
// are given back first, so unreadable sub-folders go too).
class TempDir {
public:
    explicit TempDir(const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
        std::string pattern = parent / "ctlgrm-test-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() {
        RestoreAll(m_path);
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }

    // Creates a file (and its parent folders) with the given contents.
    std::filesystem::path WriteFile(const std::string& relative, const std::string& contents) {
        auto p = m_path / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << contents;
        return p;
    }
    std::filesystem::path MakeDir(const std::string& relative) {
        auto p = m_path / relative;
        std::filesystem::create_directories(p);
        return p;
    }

private:
    // Folders made unreadable by a test are opened again, depth first.
    static void RestoreAll(const std::filesystem::path& dir) {
        ::chmod(dir.c_str(), 0700);
        std::error_code ec;
        for (auto& e : std::filesystem::directory_iterator(dir, ec))
            if (e.is_directory(ec) && !e.is_symlink(ec))
                RestoreAll(e.path());
    }

    std::filesystem::path m_path;
};

// Empty files named `prefix` and 00000 to `count` - 1 in `folder`, made quickly.
inline void MakeEmptyFiles(const std::filesystem::path& folder, int count,
                           const std::string& prefix = {}) {
    for (int i = 0; i < count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%05d", i);
        ::close(::open((folder / (prefix + number)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    }
}

// The names in `folder`, sorted: what a save left beside its file shows by name when a test
// fails.
inline std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A memory file system, when there is one, makes the trees quick to make and remove.
inline std::filesystem::path QuickTempParent() {
    return std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                     : std::filesystem::temp_directory_path();
}
