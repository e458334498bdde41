#include "FolderWalk.h"

#include "Handles.h"

#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unordered_set>
#include <vector>

namespace {

// Folders are opened only as folders and never through a symbolic link, so a FIFO, a socket
// or a device put in a folder's place is never opened.
constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct FolderId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
    std::size_t operator()(const FolderId& id) const noexcept {
        return std::hash<ino_t>{}(id.ino) ^ (std::hash<dev_t>{}(id.dev) << 1);
    }
};

bool IdentifyFolder(int fd, FolderId& id) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

// One folder on the way down: who it is, and the names of its sub-folders still to walk, each
// ended by a NUL byte.
struct Level {
    FolderId id;
    std::string subFolders;
    std::size_t next = 0;

    bool HasNext() const { return next < subFolders.size(); }
    const char* TakeNext() {
        const char* name = subFolders.c_str() + next;
        next += std::strlen(name) + 1;
        return name;
    }
};

// Walks one sub-folder depth first. Only the folder whose sub-folders are being walked stays
// open: the walk goes down with openat(child) and back up with openat(".."), checking that ".."
// is still the folder it came from. A folder without sub-folders is read and closed at once.
class Walk {
public:
    explicit Walk(FolderTally& tally) : m_tally(tally) {}

    void Run(int parentFd, const char* name) {
        FolderId parent;
        if (IdentifyFolder(parentFd, parent))
            m_ancestors.insert(parent);
        Descend(parentFd, name);
        while (m_depth > 0) {
            Level& level = m_levels[m_depth - 1];
            if (level.HasNext()) {
                ++m_tally.folders;
                Descend(m_current.Get(), level.TakeNext());
            } else if (!Leave()) {
                return;
            }
        }
    }

private:
    // Reads a sub-folder and, when it has sub-folders of its own, makes it the current folder.
    // A folder that cannot be opened, or that is one of its own ancestors (a bind mount looping
    // back), is not read.
    void Descend(int parentFd, const char* name) {
        Descriptor folder(::openat(parentFd, name, kFolderOpenFlags));
        FolderId id;
        if (!folder.IsOpen() || !IdentifyFolder(folder.Get(), id) || m_ancestors.contains(id))
            return;
        if (m_depth == m_levels.size())
            m_levels.emplace_back();
        Level& level = m_levels[m_depth];
        level.id = id;
        level.subFolders.clear();
        level.next = 0;
        Read(folder, level);
        if (!folder.IsOpen())
            return;
        m_ancestors.insert(id);
        m_current = std::move(folder);
        ++m_depth;
    }

    // Goes back to the parent of the current folder; false when it cannot be found again.
    bool Leave() {
        m_ancestors.erase(m_levels[m_depth - 1].id);
        if (--m_depth == 0) {
            m_current.Reset(-1);
            return true;
        }
        Descriptor parent(::openat(m_current.Get(), "..", kFolderOpenFlags));
        FolderId id;
        if (!parent.IsOpen() || !IdentifyFolder(parent.Get(), id) ||
            !(id == m_levels[m_depth - 1].id))
            return false;
        m_current = std::move(parent);
        return true;
    }

    // Counts the files of the folder and notes its sub-folders for later. The folder stays open
    // only when it has sub-folders.
    void Read(Descriptor& folder, Level& level) {
        DirHandle dir(::fdopendir(folder.Get()));
        if (!dir) {
            folder.Reset(-1);
            return;
        }
        const int fd = folder.Release();
        while (const dirent* entry = ::readdir(dir.get()))
            if (!IsDotOrDotDot(entry->d_name))
                Count(fd, *entry, level);
        if (level.HasNext())
            folder.Reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    }

    // The directory's entry type spares a stat for every sub-folder; only what may have a size
    // is examined. An entry that vanished before it was examined counts as an empty file.
    void Count(int fd, const dirent& entry, Level& level) {
        if (entry.d_type == DT_DIR)
            return NoteSubFolder(entry.d_name, level);
        struct stat st;
        const bool examined = ::fstatat(fd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (entry.d_type == DT_UNKNOWN && examined && S_ISDIR(st.st_mode))
            return NoteSubFolder(entry.d_name, level);
        ++m_tally.files;
        if (examined)
            m_tally.bytes += static_cast<std::uint64_t>(st.st_size);
    }

    static void NoteSubFolder(const char* name, Level& level) {
        level.subFolders.append(name, std::strlen(name) + 1);
    }

    FolderTally& m_tally;
    std::vector<Level> m_levels; // [0, m_depth) in use; the rest keep their buffers for reuse
    std::size_t m_depth = 0;
    std::unordered_set<FolderId, FolderIdHash> m_ancestors;
    Descriptor m_current;
};

} // namespace

void TallyFolder(FolderTally& tally, int parentFd, const char* name) {
    Walk(tally).Run(parentFd, name);
}
