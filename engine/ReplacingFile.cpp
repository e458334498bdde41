#include "ReplacingFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kTemporaryPrefix = "/.catalogrium3-";
// Links followed before giving up, as the kernel does (ELOOP).
constexpr int kMaxLinks = 40;
// Names tried for an unnamed file before giving up.
constexpr int kMaxNameAttempts = 100;

// ---- the temporary file that a signal handler removes ---------------------------------------

// The name of the temporary file of the save under way, in a fixed buffer that a signal
// handler reads without allocating. The state says whether the buffer is free, claimed by a
// save, or holds the name of a file that may exist.
enum PendingState : int { kFree, kClaimed, kNamed };
char g_pendingPath[PATH_MAX];
std::atomic<int> g_pendingState{kFree};
static_assert(std::atomic<int>::is_always_lock_free);
// Set before the first rename over a target, and never cleared.
std::atomic<bool> g_reachedTarget{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Claims the buffer for `path`, marked as a file that may exist; nullptr when another save
// holds it or the path is too long for any file to have it.
char* NotePending(const std::string& path) {
    if (path.size() >= sizeof g_pendingPath)
        return nullptr;
    int expected = kFree;
    if (!g_pendingState.compare_exchange_strong(expected, kClaimed))
        return nullptr;
    std::memcpy(g_pendingPath, path.c_str(), path.size() + 1);
    g_pendingState.store(kNamed);
    return g_pendingPath;
}

void ForgetPending(char*& noted) {
    if (noted)
        g_pendingState.store(kFree);
    noted = nullptr;
}

// ---- paths ---------------------------------------------------------------------------------

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The text of the link whose status is `link`, at `path`.
bool ReadLink(const std::string& path, const struct stat& link, std::string& target) {
    std::string text(static_cast<std::size_t>(link.st_size > 0 ? link.st_size : PATH_MAX) + 1,
                     '\0');
    const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
    if (length < 0 || static_cast<std::size_t>(length) >= text.size())
        return false;
    text.resize(static_cast<std::size_t>(length));
    target = std::move(text);
    return true;
}

// Anyone may put a link into a sticky world-writable folder such as /tmp, so the kernel follows
// one there only for the link's owner or the folder's owner (fs.protected_symlinks); a link
// followed here is held to the same rule, whatever that setting is.
bool MayFollow(const std::string& linkPath, const struct stat& link) {
    if (link.st_uid == ::geteuid())
        return true;
    struct stat folder {};
    if (::stat(FolderOf(linkPath).c_str(), &folder) != 0)
        return false;
    constexpr mode_t kStickyWorldWritable = S_ISVTX | S_IWOTH;
    return (folder.st_mode & kStickyWorldWritable) != kStickyWorldWritable ||
           folder.st_uid == link.st_uid;
}

// Six random letters or digits.
std::string RandomSuffix() {
    static constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    ::arc4random_buf(bytes, sizeof bytes);
    std::string suffix;
    for (unsigned char b : bytes)
        suffix += kLetters[b % kLetters.size()];
    return suffix;
}

std::string DescriptorLink(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// File systems that cannot sync (EINVAL) have nothing more to write.
bool SyncToDisk(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL;
}

} // namespace

std::string ResolvedTarget(const std::string& path, int& error) {
    std::string current = path;
    for (int hop = 0;; ++hop) {
        struct stat link {};
        std::string target;
        if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) ||
            !ReadLink(current, link, target)) {
            error = 0;
            return current;
        }
        error = hop == kMaxLinks ? ELOOP : MayFollow(current, link) ? 0 : EACCES;
        if (error != 0)
            return {};
        current = target.starts_with('/') ? target : FolderOf(current) + "/" + target;
    }
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

CReplacingFile::CReplacingFile(const std::string& target, TemporaryFile kind) : m_target(target) {
    const std::string folder = FolderOf(target);
    if (kind == TemporaryFile::Named || !OpenUnnamed(folder))
        OpenNamed(folder);
}

CReplacingFile::~CReplacingFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_tempPath.empty() && !m_committed)
        ::unlink(m_tempPath.c_str());
    ForgetPending(m_noted);
}

// The file is named later through its /proc link, which must be there to be followed.
bool CReplacingFile::OpenUnnamed(const std::string& folder) {
    if (::access("/proc/self/fd", X_OK) != 0)
        return false;
    m_fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    return m_fd >= 0;
}

void CReplacingFile::OpenNamed(const std::string& folder) {
    m_tempPath = folder + std::string(kTemporaryPrefix) + "XXXXXX";
    m_noted = NotePending(m_tempPath);
    m_fd = ::mkostemp(m_noted ? m_noted : m_tempPath.data(), O_CLOEXEC);
    if (m_noted)
        m_tempPath = m_noted;
    if (m_fd >= 0)
        return;
    m_error = errno;
    m_tempPath.clear();
    ForgetPending(m_noted);
}

// Links the unnamed file into its folder under a name of its own.
bool CReplacingFile::GiveName() {
    const std::string folder = FolderOf(m_target);
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        std::string name = folder + std::string(kTemporaryPrefix) + RandomSuffix();
        m_noted = NotePending(name);
        if (::linkat(AT_FDCWD, DescriptorLink(m_fd).c_str(), AT_FDCWD, name.c_str(),
                     AT_SYMLINK_FOLLOW) == 0) {
            m_tempPath = std::move(name);
            return true;
        }
        const int error = errno;
        ForgetPending(m_noted);
        if (error != EEXIST)
            return Check(false);
    }
    errno = EEXIST;
    return Check(false);
}

bool CReplacingFile::Commit(mode_t permissions) {
    if (!Check(::fchmod(m_fd, permissions) == 0) || !Check(SyncToDisk(m_fd)))
        return false;
    if (m_tempPath.empty() && !GiveName())
        return false;
    const int fd = m_fd;
    m_fd = -1;
    if (!Check(::close(fd) == 0))
        return false;
    g_reachedTarget.store(true);
    if (!Check(::rename(m_tempPath.c_str(), m_target.c_str()) == 0))
        return false;
    m_committed = true;
    ForgetPending(m_noted);
    return true;
}

bool CReplacingFile::Check(bool ok) {
    if (!ok && m_error == 0)
        m_error = errno;
    return ok;
}

void RemovePendingTemporaryFile() noexcept {
    if (g_pendingState.load() == kNamed)
        ::unlink(g_pendingPath);
}

bool AnySaveReachedItsTarget() noexcept {
    return g_reachedTarget.load();
}
