#include "OutputFile.h"

#include "engine/Text.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string SaveFailureText(int error, const std::string& path) {
    const std::string shown = ReplaceControlChars(path);
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return "Access to " + shown + " was denied.";
    case ENOSPC:
    case EDQUOT:
        return "Disk full while accessing " + shown + ".";
    default:
        return shown + " could not be written: " + std::strerror(error) + ".";
    }
}

// The program creates its files from one thread, so the umask may be read by setting it.
mode_t NewFilePermissions() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

namespace {

// The new file takes the place of `existing`, but it is the user's own: a set-user-ID or
// set-group-ID bit of another user's file would hand that user's rights to whatever is
// written, so it goes, as it goes when the kernel lets someone else write into such a file.
mode_t PermissionsKept(const struct stat& existing) {
    const mode_t permissions = existing.st_mode & 07777;
    return existing.st_uid == ::geteuid() ? permissions : permissions & ~(S_ISUID | S_ISGID);
}

} // namespace

COutputFile::COutputFile(const std::string& path, mode_t newFilePermissions, TemporaryFile kind) {
    const std::string target = ResolvedTarget(path, m_error);
    if (m_error != 0)
        return;
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        // Devices and pipes (such as /dev/null) cannot be replaced.
        m_inPlace.Reset(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (!m_inPlace.IsOpen())
            m_error = errno;
    } else if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        m_error = errno;
    } else {
        m_permissions = exists ? PermissionsKept(existing) : newFilePermissions;
        m_replacing.emplace(target, kind);
        m_error = m_replacing->Error();
    }
}

int COutputFile::Descriptor() const {
    if (m_error != 0)
        return -1;
    return m_replacing ? m_replacing->Descriptor() : m_inPlace.Get();
}

std::string COutputFile::DescriptorPath() const {
    return "/proc/self/fd/" + std::to_string(Descriptor());
}

bool COutputFile::Commit() {
    if (m_error != 0)
        return false;
    if (m_replacing) {
        if (!m_replacing->Commit(m_permissions))
            m_error = m_replacing->Error();
    } else if (::close(m_inPlace.Release()) != 0) {
        m_error = errno;
    }
    return m_error == 0;
}
