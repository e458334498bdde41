#include "FolderWalk.h"

#include "engine/EntryStat.h"
#include "engine/Handles.h"
#include "engine/WalkScheduler.h"
#include "engine/Walker.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Folders are opened only as folders and never through a symbolic link, so a FIFO, a socket
// or a device put in a folder's place is never opened.
constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Whether `folder` is open and is the folder `id`.
bool IsFolder(const Descriptor& folder, const FolderId& id) {
    FolderId found;
    return folder.IsOpen() && IdentifyFolder(folder.Get(), found) && found == id;
}

} // namespace

WalkedEntry ExamineWalkedEntry(int folderFd, const char* name, unsigned char type,
                               bool readOnlyVolume) {
    const ExaminedEntry examined = ExamineEntry(folderFd, name, type);
    const struct stat& st = examined.status;
    WalkedEntry entry;
    entry.attributes = EntryAttributes(folderFd, name, examined, readOnlyVolume);
    entry.lastWrite = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    if (S_ISDIR(st.st_mode))
        entry.kind = EntryKind::Folder;
    else if (S_ISLNK(st.st_mode))
        entry.kind = EntryKind::Link;
    else if (!S_ISREG(st.st_mode))
        entry.kind = EntryKind::Other;
    if (entry.kind != EntryKind::Folder)
        entry.size = static_cast<std::uint64_t>(st.st_size);
    return entry;
}

void Walker::Walk(Piece& piece) {
    m_piece = &piece;
    if (m_levels.empty())
        m_levels.emplace_back();
    Level& base = m_levels[0];
    base.id = piece.ancestors->id;
    base.tag = piece.parentTag;
    base.subFolders.Assign(std::move(piece.names), piece.count);
    base.chain = piece.ancestors;
    m_depth = 1;
    while (!m_walk.Stopped()) {
        // Room for the level below is made first: a name taken from a level points into it.
        if (m_depth == m_levels.size())
            m_levels.emplace_back();
        Level& level = m_levels[m_depth - 1];
        if (level.subFolders.HasNext()) {
            ShareSome(level);
            if (m_depth > 1 || piece.countFolders)
                ++m_tally.folders;
            Descend(level.subFolders.TakeNext());
        } else if (m_depth == 1) {
            break;
        } else {
            Leave();
        }
    }
    m_current.Reset(-1);
    m_ancestors.clear();
    m_mountRoots = 0;
    m_depth = 0;
    m_piece = nullptr;
}

// Reads a sub-folder and, when it has sub-folders of its own, makes it the current folder.
// A folder that cannot be opened, or that is one of its own ancestors (a bind mount looping
// back), is not read.
void Walker::Descend(NamedIndex next) {
    Descriptor folder(::openat(OpenFolderFd(), next.name, kFolderOpenFlags));
    FolderId id;
    bool mountRoot = false;
    if (!folder.IsOpen() || !IdentifyFolder(folder.Get(), id, mountRoot) ||
        IsAncestor(id, mountRoot))
        return;
    Level& level = m_levels[m_depth];
    level.id = id;
    level.name = next.name;
    level.mountRoot = mountRoot;
    level.subFolders.Clear();
    level.chain.reset();
    Read(folder, level, next.index);
    if (!folder.IsOpen())
        return;
    m_ancestors.insert(id);
    m_mountRoots += mountRoot;
    m_current = std::move(folder);
    ++m_depth;
}

// Goes back to the parent of the current folder.
void Walker::Leave() {
    DropLevelsFrom(m_depth - 1);
    if (m_depth == 1)
        m_current.Reset(-1);
    else if (!UpToParent())
        FindParentAgain();
}

// Opens ".." of the current folder; false when that is no longer the parent it came from.
bool Walker::UpToParent() {
    Descriptor parent(::openat(m_current.Get(), "..", kFolderOpenFlags));
    if (!IsFolder(parent, m_levels[m_depth - 1].id))
        return false;
    m_current = std::move(parent);
    return true;
}

// Opens the folders of the levels again by their names, from the piece's open folder down.
// The walk goes on from the deepest one that is still where it was: the levels below it moved
// away, and with them the folders left to walk there.
void Walker::FindParentAgain() {
    Descriptor reached; // the folder of level `depth - 1` once below the piece's own
    std::size_t depth = 1;
    for (; depth < m_depth; ++depth) {
        const int above = depth == 1 ? m_piece->parent->Get() : reached.Get();
        Descriptor folder(::openat(above, m_levels[depth].name.c_str(), kFolderOpenFlags));
        if (!IsFolder(folder, m_levels[depth].id))
            break;
        reached = std::move(folder);
    }
    DropLevelsFrom(depth);
    m_current = std::move(reached);
}

// Forgets the levels from `depth` down: they are no longer ancestors of the walk.
void Walker::DropLevelsFrom(std::size_t depth) {
    for (; m_depth > depth; --m_depth) {
        m_ancestors.erase(m_levels[m_depth - 1].id);
        m_mountRoots -= m_levels[m_depth - 1].mountRoot;
    }
}

// Counts the files of the folder, entry `indexInParent` of the current folder, and notes its
// sub-folders for later. The folder stays open only when it has sub-folders.
void Walker::Read(Descriptor& folder, Level& level, std::size_t indexInParent) {
    const int fd = folder.Get();
    if (m_walk.Sink()) {
        const bool readOnlyVolume = IsReadOnlyVolume(fd);
        ForEachEntry(fd, [&](const dirent64& entry, std::size_t index) {
            Record(fd, {entry.d_name, index}, entry.d_type, level, readOnlyVolume);
        });
        Report(level, indexInParent);
    } else {
        ForEachEntry(fd, [&](const dirent64& entry, std::size_t index) {
            Count(fd, {entry.d_name, index}, entry.d_type, level);
        });
    }
    if (!level.subFolders.HasNext())
        folder.Reset(-1);
}

// Calls `each` for every entry of the open folder but "." and "..", reading them from the
// system a block at a time into this walker's buffer; ends early when the walk stops.
template <typename Each> void Walker::ForEachEntry(int fd, const Each& each) {
    std::size_t index = 0;
    while (!m_walk.Stopped()) {
        const ssize_t read = ::getdents64(fd, m_entries.data(), m_entries.size() * sizeof(Block));
        if (read <= 0)
            return;
        const char* bytes = reinterpret_cast<const char*>(m_entries.data());
        for (ssize_t at = 0; at < read;) {
            const auto* entry = reinterpret_cast<const dirent64*>(bytes + at);
            at += entry->d_reclen;
            if (!IsDotOrDotDot(entry->d_name))
                each(*entry, index++);
        }
    }
}

// The directory's entry type spares a stat for every sub-folder; only what may have a size
// is examined. An entry that vanished before it was examined counts as an empty file.
void Walker::Count(int fd, NamedIndex entry, unsigned char type, Level& level) {
    if (type == DT_DIR)
        return level.subFolders.Add(entry);
    struct stat st;
    const bool examined = ::fstatat(fd, entry.name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (type == DT_UNKNOWN && examined && S_ISDIR(st.st_mode))
        return level.subFolders.Add(entry);
    ++m_tally.files;
    if (examined)
        m_tally.bytes = AddBytes(m_tally.bytes, static_cast<std::uint64_t>(st.st_size));
}

// Counts an entry as Count does, and keeps what the sink is given of it.
void Walker::Record(int fd, NamedIndex entry, unsigned char type, Level& level,
                    bool readOnlyVolume) {
    WalkedEntry found = ExamineWalkedEntry(fd, entry.name, type, readOnlyVolume);
    if (found.kind == EntryKind::File && m_walk.Sink()->WantsContentHashes())
        found.hash = HashFileContent(fd, entry.name);
    if (found.kind == EntryKind::Folder) {
        level.subFolders.Add(entry);
    } else {
        ++m_tally.files;
        m_tally.bytes = AddBytes(m_tally.bytes, found.size);
    }
    m_foundNames += entry.name;
    m_nameEnds.push_back(m_foundNames.size());
    m_found.push_back(found);
}

// Hands the folder of `level`, entry `indexInParent` of the current folder, to the sink, and
// keeps the tag that its sub-folders are reported with.
void Walker::Report(Level& level, std::size_t indexInParent) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < m_found.size(); ++i) {
        m_found[i].name = std::string_view(m_foundNames).substr(start, m_nameEnds[i] - start);
        start = m_nameEnds[i];
    }
    if (!m_walk.Stopped())
        level.tag = m_walk.Sink()->OnFolder(
            {m_levels[m_depth - 1].tag, indexInParent, level.name, m_found});
    m_found.clear();
    m_foundNames.clear();
    m_nameEnds.clear();
}

// Gives half of the sub-folders left in the open folder to the threads that wait for work.
void Walker::ShareSome(Level& level) {
    if (level.subFolders.Left() < 2 || !m_walk.WantsWork())
        return;
    Piece piece;
    piece.entry = m_piece->entry;
    if (m_depth == 1) {
        piece.parent = m_piece->parent;
    } else {
        Descriptor copy(::fcntl(m_current.Get(), F_DUPFD_CLOEXEC, 0));
        if (!copy.IsOpen())
            return;
        piece.parent = std::make_shared<Descriptor>(std::move(copy));
    }
    piece.ancestors = ChainOf(m_depth - 1);
    piece.parentTag = level.tag;
    piece.belowMountRoot = m_piece->belowMountRoot || m_mountRoots > 0;
    piece.count = level.subFolders.Left() / 2;
    piece.names = level.subFolders.TakeLast(piece.count);
    m_walk.Offer(std::move(piece));
}

// The chain of the folder of level `depth` and its ancestors, made once per folder.
std::shared_ptr<const Ancestor> Walker::ChainOf(std::size_t depth) {
    std::size_t made = depth;
    while (!m_levels[made].chain)
        --made;
    for (++made; made <= depth; ++made)
        m_levels[made].chain =
            std::make_shared<const Ancestor>(m_levels[made].id, m_levels[made - 1].chain);
    return m_levels[depth].chain;
}

// ---- CFolderWalk -------------------------------------------------------------------------

CFolderWalk::CFolderWalk(CWalkPool& pool, int folderFd, std::size_t count, IWalkEntries& entries,
                         ITreeSink* sink, std::uint64_t parentTag)
    : m_pool(pool), m_running(pool.m_runMutex),
      m_state(
          std::make_unique<WalkState>(pool.Threads(), folderFd, count, entries, sink, parentTag)) {
    m_pool.Begin(*m_state);
}

CFolderWalk::~CFolderWalk() {
    Stop();
}

bool CFolderWalk::WaitFor(std::size_t index, std::chrono::milliseconds timeout) {
    return m_state->WaitFor(index, timeout);
}

FolderTally CFolderWalk::TallyOf(std::size_t index) const {
    return m_state->TallyOf(index);
}

void CFolderWalk::Stop() {
    m_state->RequestStop();
    m_pool.End();
}

std::exception_ptr CFolderWalk::Failure() const {
    return m_state->Failure();
}
