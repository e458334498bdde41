#include "FolderWalk.h"

#include "EntryStat.h"
#include "Handles.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unordered_set>
#include <utility>

namespace {

// Folders are opened only as folders and never through a symbolic link, so a FIFO, a socket
// or a device put in a folder's place is never opened.
constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// How long the thread that waits for an entry gives way to the walk's threads before it
// sleeps: most entries of a large folder are done by then.
constexpr int kYieldsBeforeSleeping = 64;

// Each thread reads a folder's entries in blocks of this size.
constexpr std::size_t kEntryBlockBytes = 32 * 1024;

// Who a folder is: its device and inode numbers.
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

// Who an open folder is, and whether another mount starts there (true when the system cannot
// tell).
bool IdentifyFolder(int fd, FolderId& id, bool& mountRoot) {
    struct statx stx;
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO, &stx) != 0)
        return false;
    id = {makedev(stx.stx_dev_major, stx.stx_dev_minor), stx.stx_ino};
    mountRoot = (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) == 0 ||
                (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return true;
}

bool IdentifyFolder(int fd, FolderId& id) {
    bool mountRoot = false;
    return IdentifyFolder(fd, id, mountRoot);
}

// Whether `folder` is open and is the folder `id`.
bool IsFolder(const Descriptor& folder, const FolderId& id) {
    FolderId found;
    return folder.IsOpen() && IdentifyFolder(folder.Get(), found) && found == id;
}

// A folder and, through `up`, its ancestors: what a piece of shared work needs to know that
// a folder below it is one of its own ancestors. A long chain is released link by link rather
// than by recursion.
struct Ancestor {
    Ancestor(FolderId folder, std::shared_ptr<const Ancestor> parent)
        : id(folder), up(std::move(parent)) {}
    ~Ancestor() {
        std::shared_ptr<const Ancestor> next = std::move(up);
        while (next && next.use_count() == 1)
            next = std::move(next->up);
    }
    Ancestor(const Ancestor&) = delete;
    Ancestor& operator=(const Ancestor&) = delete;

    FolderId id;
    mutable std::shared_ptr<const Ancestor> up;
};

bool IsInChain(const Ancestor* chain, const FolderId& id) {
    for (; chain; chain = chain->up.get())
        if (chain->id == id)
            return true;
    return false;
}

// The listed folder's descriptor, shared with the pieces of work but owned by the caller.
std::shared_ptr<Descriptor> Borrowed(int fd) {
    return std::shared_ptr<Descriptor>(new Descriptor(fd), [](Descriptor* borrowed) {
        borrowed->Release();
        delete borrowed;
    });
}

// A sub-folder to walk: its name and its index among its parent's entries.
struct NamedIndex {
    const char* name;
    std::size_t index;
};

// Names of sub-folders still to walk in one open folder, each after its index and ended by a
// NUL byte.
class NameList {
public:
    static std::string Encode(NamedIndex folder) {
        std::string encoded(sizeof folder.index, '\0');
        std::memcpy(encoded.data(), &folder.index, sizeof folder.index);
        return encoded.append(folder.name, std::strlen(folder.name) + 1);
    }

    void Clear() {
        m_names.clear();
        m_next = 0;
        m_left = 0;
    }
    void Add(NamedIndex folder) {
        m_names.append(reinterpret_cast<const char*>(&folder.index), sizeof folder.index);
        m_names.append(folder.name, std::strlen(folder.name) + 1);
        ++m_left;
    }
    void Assign(std::string names, std::size_t count) {
        m_names = std::move(names);
        m_next = 0;
        m_left = count;
    }
    bool HasNext() const { return m_left > 0; }
    std::size_t Left() const { return m_left; }
    // The name points into the list: it stays valid until the list is changed.
    NamedIndex TakeNext() {
        NamedIndex next{m_names.c_str() + m_next + sizeof(std::size_t), 0};
        std::memcpy(&next.index, m_names.data() + m_next, sizeof next.index);
        m_next = EndOf(m_next);
        --m_left;
        return next;
    }
    // Removes the later `count` of the names left and returns them.
    std::string TakeLast(std::size_t count) {
        std::size_t split = m_next;
        for (std::size_t kept = m_left - count; kept > 0; --kept)
            split = EndOf(split);
        std::string taken = m_names.substr(split);
        m_names.resize(split);
        m_left -= count;
        return taken;
    }

private:
    std::size_t EndOf(std::size_t at) const {
        at += sizeof(std::size_t);
        return at + std::strlen(m_names.c_str() + at) + 1;
    }

    std::string m_names;
    std::size_t m_next = 0;
    std::size_t m_left = 0;
};

} // namespace

// A piece of work: sub-folders of one open folder still to walk, below an entry of the listed
// folder. The listed folder's own entries are counted by the caller, every other folder by the
// walk. Going down within one mount never leads back to an ancestor: a folder can be its own
// ancestor only below the start of another mount, and only there are ancestors compared.
struct Piece {
    std::size_t entry = 0;
    std::shared_ptr<Descriptor> parent;
    std::shared_ptr<const Ancestor> ancestors; // the parent folder and its ancestors
    std::uint64_t parentTag = 0;               // what the sink returned for the parent folder
    std::string names;                         // as NameList holds them
    std::size_t count = 0;
    bool countFolders = true;
    bool belowMountRoot = false; // a mount starts between the listed folder and the names
};

class Walker;

// The state of one walk, shared by the thread that waits for it and the pool's threads.
class WalkState {
public:
    WalkState(std::size_t threads, int folderFd, std::size_t count, IWalkEntries& entries,
              ITreeSink* sink, std::uint64_t parentTag);

    void Work();
    bool WaitFor(std::size_t index, std::chrono::milliseconds timeout);
    FolderTally TallyOf(std::size_t index) const;
    void RequestStop();
    std::exception_ptr Failure() const {
        std::lock_guard lock(m_failureMutex);
        return m_failure;
    }

    bool Stopped() const { return m_stopped.load(std::memory_order_relaxed); }
    ITreeSink* Sink() const { return m_pSink; }
    // True while threads wait for work and fewer pieces are queued than they could take.
    bool WantsWork() const {
        const std::size_t queued = m_queued.load(std::memory_order_relaxed);
        return queued < static_cast<std::size_t>(m_idle.load(std::memory_order_relaxed)) &&
               queued < m_maxQueued;
    }
    void Offer(Piece piece);

private:
    struct Progress {
        std::atomic<int> pending{1}; // the examination, and each piece below it still to walk
        std::atomic<std::uint64_t> bytes{0};
        std::atomic<int> files{0};
        std::atomic<int> folders{0};
    };

    // Orders the heap of queued pieces: the piece of the earliest entry on top.
    static bool EarlierFirst(const Piece& a, const Piece& b) { return a.entry > b.entry; }
    bool TakePiece(Piece& piece);
    bool WaitForPiece(Piece& piece);
    void PopPiece(Piece& piece);
    void RunEntry(Walker& walker, std::size_t index);
    void RunPiece(Walker& walker, Piece& piece);
    void Finish(std::size_t entry);
    void Fail(std::exception_ptr failure);

    IWalkEntries& m_entries;
    ITreeSink* m_pSink;
    const std::uint64_t m_parentTag;
    const std::size_t m_count;
    const std::size_t m_maxQueued;
    std::shared_ptr<Descriptor> m_folder;
    std::shared_ptr<const Ancestor> m_root;
    std::deque<Progress> m_progress;

    std::atomic<std::size_t> m_nextEntry{0};
    std::atomic<std::size_t> m_finished{0};
    std::atomic<bool> m_stopped{false};
    mutable std::mutex m_failureMutex;
    std::exception_ptr m_failure;

    std::mutex m_mutex; // the queued pieces and the threads that wait for them
    std::condition_variable m_workArrived;
    std::vector<Piece> m_queue; // a heap: the piece of the earliest entry first
    std::atomic<std::size_t> m_queued{0};
    std::atomic<int> m_idle{0};

    std::atomic<std::size_t> m_waitingFor{SIZE_MAX};
    std::mutex m_doneMutex;
    std::condition_variable m_entryDone;
};

// One thread's walk of a piece, depth first. Only the folder whose sub-folders are being
// walked stays open: the walk goes down with openat(child) and back up with openat(".."),
// checking that ".." is still the folder it came from. When it is not (the folder was moved
// meanwhile), the walk finds the parent again by its names from the piece's open folder, so
// the folders left there are still walked; only what moved may be missed or met twice. A
// folder without sub-folders is read and closed at once. While other threads wait for work,
// half of the sub-folders left in the open folder go to them.
class Walker {
public:
    explicit Walker(WalkState& walk) : m_walk(walk) {}

    void Walk(Piece& piece);
    FolderTally TakeTally() { return std::exchange(m_tally, FolderTally{}); }

private:
    struct Level {
        FolderId id;
        std::uint64_t tag = 0; // what the sink returned for the folder
        std::string name;      // in the folder of the level above
        bool mountRoot = false;
        NameList subFolders;
        std::shared_ptr<const Ancestor> chain; // made when work is shared from this folder
    };

    int OpenFolderFd() const { return m_depth == 1 ? m_pPiece->parent->Get() : m_current.Get(); }
    bool IsAncestor(const FolderId& id, bool mountRoot) const {
        if (!mountRoot && !m_pPiece->belowMountRoot && m_mountRoots == 0)
            return false;
        return m_ancestors.contains(id) || IsInChain(m_pPiece->ancestors.get(), id);
    }
    void Descend(NamedIndex next);
    void Leave();
    bool UpToParent();
    void FindParentAgain();
    void DropLevelsFrom(std::size_t depth);
    void Read(Descriptor& folder, Level& level, std::size_t indexInParent);
    template <typename Each> void ForEachEntry(int fd, const Each& each);
    void Count(int fd, NamedIndex entry, unsigned char type, Level& level);
    void Record(int fd, NamedIndex entry, unsigned char type, Level& level, bool readOnlyVolume);
    void Report(Level& level, std::size_t indexInParent);
    void ShareSome(Level& level);
    std::shared_ptr<const Ancestor> ChainOf(std::size_t depth);

    WalkState& m_walk;
    Piece* m_pPiece = nullptr;
    std::vector<Level> m_levels; // [0, m_depth) in use; the rest keep their buffers for reuse
    std::size_t m_depth = 0;
    std::unordered_set<FolderId, FolderIdHash> m_ancestors; // the folders of levels 1 and up
    int m_mountRoots = 0; // how many of those are where a mount starts
    Descriptor m_current;
    FolderTally m_tally;
    // Entries as the system gives them, a block at a time.
    using Block = std::uint64_t;
    std::vector<Block> m_entries = std::vector<Block>(kEntryBlockBytes / sizeof(Block));
    // With a sink: the entries of the folder being read.
    std::vector<WalkedEntry> m_found;
    std::string m_foundNames;
    std::vector<std::size_t> m_nameEnds;
};

// ---- Walker ------------------------------------------------------------------------------

WalkedEntry ExamineWalkedEntry(int folderFd, const char* name, unsigned char type,
                               bool readOnlyVolume) {
    const struct stat st = ExamineEntry(folderFd, name, type);
    WalkedEntry entry;
    entry.attributes = EntryAttributes(folderFd, name, st, readOnlyVolume);
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
    m_pPiece = &piece;
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
    m_pPiece = nullptr;
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
        const int above = depth == 1 ? m_pPiece->parent->Get() : reached.Get();
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
    const WalkedEntry found = ExamineWalkedEntry(fd, entry.name, type, readOnlyVolume);
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
    piece.entry = m_pPiece->entry;
    if (m_depth == 1) {
        piece.parent = m_pPiece->parent;
    } else {
        Descriptor copy(::fcntl(m_current.Get(), F_DUPFD_CLOEXEC, 0));
        if (!copy.IsOpen())
            return;
        piece.parent = std::make_shared<Descriptor>(std::move(copy));
    }
    piece.ancestors = ChainOf(m_depth - 1);
    piece.parentTag = level.tag;
    piece.belowMountRoot = m_pPiece->belowMountRoot || m_mountRoots > 0;
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

// ---- WalkState ---------------------------------------------------------------------------

WalkState::WalkState(std::size_t threads, int folderFd, std::size_t count, IWalkEntries& entries,
                     ITreeSink* sink, std::uint64_t parentTag)
    : m_entries(entries), m_pSink(sink), m_parentTag(parentTag), m_count(count),
      m_maxQueued(threads), m_folder(Borrowed(folderFd)), m_progress(count) {
    FolderId id;
    IdentifyFolder(folderFd, id);
    m_root = std::make_shared<const Ancestor>(id, nullptr);
    m_queue.reserve(threads);
}

// One of the pool's threads: entries in order and pieces shared by the others, until all is
// done or the walk stops. Whatever it meets (the sink's exception, a lack of memory) stops the
// walk; what it held is released on the way out.
void WalkState::Work() {
    try {
        Walker walker(*this);
        Piece piece;
        while (!Stopped()) {
            if (TakePiece(piece)) {
                RunPiece(walker, piece);
            } else if (std::size_t index = m_nextEntry.fetch_add(1); index < m_count) {
                RunEntry(walker, index);
            } else if (WaitForPiece(piece)) {
                RunPiece(walker, piece);
            } else {
                return;
            }
        }
    } catch (...) {
        Fail(std::current_exception());
    }
}

// Keeps the first failure, which stops the walk.
void WalkState::Fail(std::exception_ptr failure) {
    {
        std::lock_guard lock(m_failureMutex);
        if (!m_failure)
            m_failure = std::move(failure);
    }
    RequestStop();
}

namespace {

// AddBytes on a total that several threads add to.
void AddBytesTo(std::atomic<std::uint64_t>& total, std::uint64_t bytes) {
    std::uint64_t now = total.load();
    while (!total.compare_exchange_weak(now, AddBytes(now, bytes))) {
    }
}

} // namespace

void WalkState::RunEntry(Walker& walker, std::size_t index) {
    if (const char* name = m_entries.Examine(index); name && !Stopped()) {
        Piece top{.entry = index,
                  .parent = m_folder,
                  .ancestors = m_root,
                  .parentTag = m_parentTag,
                  .names = NameList::Encode({name, index}),
                  .count = 1,
                  .countFolders = false};
        walker.Walk(top);
    }
    const FolderTally tally = walker.TakeTally();
    Progress& progress = m_progress[index];
    AddBytesTo(progress.bytes, tally.bytes);
    progress.files += tally.files;
    progress.folders += tally.folders;
    Finish(index);
}

void WalkState::RunPiece(Walker& walker, Piece& piece) {
    walker.Walk(piece);
    const FolderTally tally = walker.TakeTally();
    Progress& progress = m_progress[piece.entry];
    AddBytesTo(progress.bytes, tally.bytes);
    progress.files += tally.files;
    progress.folders += tally.folders;
    const std::size_t entry = piece.entry;
    piece = Piece();
    Finish(entry);
}

bool WalkState::TakePiece(Piece& piece) {
    if (m_queued.load(std::memory_order_relaxed) == 0)
        return false;
    std::lock_guard lock(m_mutex);
    if (m_queue.empty())
        return false;
    PopPiece(piece);
    return true;
}

// With m_mutex held.
void WalkState::PopPiece(Piece& piece) {
    std::pop_heap(m_queue.begin(), m_queue.end(), EarlierFirst);
    piece = std::move(m_queue.back());
    m_queue.pop_back();
    m_queued = m_queue.size();
}

// Waits until a piece is shared (true, with the piece) or nothing is left to do (false).
bool WalkState::WaitForPiece(Piece& piece) {
    std::unique_lock lock(m_mutex);
    ++m_idle;
    m_workArrived.wait(
        lock, [&] { return !m_queue.empty() || Stopped() || m_finished.load() == m_count; });
    --m_idle;
    if (m_queue.empty())
        return false;
    PopPiece(piece);
    return true;
}

void WalkState::Offer(Piece piece) {
    const std::size_t entry = piece.entry;
    ++m_progress[entry].pending;
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(piece));
    std::push_heap(m_queue.begin(), m_queue.end(), EarlierFirst);
    m_queued = m_queue.size();
    m_workArrived.notify_one();
}

// One part of the work below an entry is done; the last one makes the entry's total known.
void WalkState::Finish(std::size_t entry) {
    if (m_progress[entry].pending.fetch_sub(1) != 1)
        return;
    if (m_finished.fetch_add(1) + 1 == m_count) {
        std::lock_guard lock(m_mutex);
        m_workArrived.notify_all();
    }
    if (m_waitingFor.load() == entry) {
        std::lock_guard lock(m_doneMutex);
        m_entryDone.notify_all();
    }
}

bool WalkState::WaitFor(std::size_t index, std::chrono::milliseconds timeout) {
    const std::atomic<int>& pending = m_progress[index].pending;
    for (int i = 0; i < kYieldsBeforeSleeping && pending.load() != 0 && !Stopped(); ++i)
        std::this_thread::yield();
    if (pending.load() != 0 && !Stopped()) {
        m_waitingFor = index;
        std::unique_lock lock(m_doneMutex);
        m_entryDone.wait_for(lock, timeout, [&] { return pending.load() == 0 || Stopped(); });
    }
    return pending.load() == 0 && !Stopped();
}

FolderTally WalkState::TallyOf(std::size_t index) const {
    const Progress& progress = m_progress[index];
    return {progress.bytes.load(), progress.files.load(), progress.folders.load()};
}

void WalkState::RequestStop() {
    m_stopped = true;
    {
        std::lock_guard lock(m_mutex);
        m_workArrived.notify_all();
    }
    std::lock_guard lock(m_doneMutex);
    m_entryDone.notify_all();
}

// ---- CWalkPool ---------------------------------------------------------------------------

CWalkPool::CWalkPool(unsigned threads) {
    try {
        for (unsigned i = 0; i < std::max(threads, 1u); ++i)
            m_threads.emplace_back([this] { Serve(); });
    } catch (...) {
        Quit();
        throw;
    }
}

CWalkPool::~CWalkPool() {
    Quit();
}

void CWalkPool::Quit() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_wake.notify_all();
    }
    for (auto& thread : m_threads)
        thread.join();
}

// A child made by fork has none of its parent's threads and starts a pool of its own. The
// pool is never destroyed: its idle threads end with the process.
CWalkPool& CWalkPool::Shared() {
    static std::mutex mutex;
    static CWalkPool* pool = nullptr;
    static pid_t owner = 0;
    std::lock_guard lock(mutex);
    if (!pool || owner != ::getpid()) {
        pool = new CWalkPool(DefaultThreads());
        owner = ::getpid();
    }
    return *pool;
}

unsigned CWalkPool::DefaultThreads() {
    return 2 * std::max(std::thread::hardware_concurrency(), 1u);
}

void CWalkPool::Serve() {
    std::uint64_t served = 0;
    for (;;) {
        WalkState* walk = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_quit || (m_pWalk && m_generation != served); });
            if (m_quit)
                return;
            served = m_generation;
            walk = m_pWalk;
            ++m_inside;
        }
        walk->Work();
        std::lock_guard lock(m_mutex);
        if (--m_inside == 0)
            m_left.notify_all();
    }
}

void CWalkPool::Begin(WalkState& walk) {
    std::lock_guard lock(m_mutex);
    m_pWalk = &walk;
    ++m_generation;
    m_wake.notify_all();
}

// Waits until every thread has left the walk; threads that had not joined it yet never will.
void CWalkPool::End() {
    std::unique_lock lock(m_mutex);
    m_pWalk = nullptr;
    m_left.wait(lock, [&] { return m_inside == 0; });
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
