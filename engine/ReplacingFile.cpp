#include "ReplacingFile.h"

#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// File systems that cannot sync (EINVAL) have nothing more to write.
bool SyncToDisk(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL;
}

} // namespace

std::string ResolvedTarget(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec))
        return path;
    const auto target = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : target.string();
}

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

CReplacingFile::CReplacingFile(const std::string& target)
    : m_target(target), m_tempPath(FolderOf(target) + "/.catalogrium3-XXXXXX") {
    m_fd = ::mkostemp(m_tempPath.data(), O_CLOEXEC);
    m_created = m_fd >= 0;
    if (!m_created)
        m_error = errno;
}

CReplacingFile::~CReplacingFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_created && !m_committed)
        ::unlink(m_tempPath.c_str());
}

bool CReplacingFile::Commit(mode_t permissions) {
    if (!Check(::fchmod(m_fd, permissions) == 0) || !Check(SyncToDisk(m_fd)))
        return false;
    const int fd = m_fd;
    m_fd = -1;
    if (!Check(::close(fd) == 0) || !Check(::rename(m_tempPath.c_str(), m_target.c_str()) == 0))
        return false;
    m_committed = true;
    return true;
}

bool CReplacingFile::Check(bool ok) {
    if (!ok && m_error == 0)
        m_error = errno;
    return ok;
}
