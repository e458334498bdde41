#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

// One file in a private folder below $TMPDIR that a fuzz target rewrites for every input;
// the folder is removed when the process ends.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name) {
        std::string pattern = (std::filesystem::temp_directory_path() / "catalogrium-fuzz-XXXXXX");
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_folder = pattern;
        m_path = m_folder / name;
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::string& Write(const std::uint8_t* data, std::size_t size) {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return m_path;
    }
    const std::string& Path() const { return m_path; }

private:
    std::filesystem::path m_folder;
    std::string m_path;
};

// Stops the run when a property that must hold for every input does not.
inline void Require(bool holds) {
    if (!holds)
        std::abort();
}
