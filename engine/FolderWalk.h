#pragma once

#include "CatalogriumDoc.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

// Who a folder is: its device and inode numbers.
struct FolderId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FolderId&) const = default;
};

// One entry of a folder read by the walk ("." and ".." are never reported).
struct WalkedEntry {
    std::string_view name;        // the bytes the directory gave
    std::uint32_t attributes = 0; // the kAttr... bits, as the listing shows them
    std::uint64_t size = 0;       // a file's size; 0 for a folder
    FileTime lastWrite = 0;
};

// One folder read by the walk, with all of its entries in the directory's order. `name` is
// its name in its parent folder; the listed folder itself has its path as name and a zero
// parent.
struct WalkedFolder {
    FolderId id;
    FolderId parent;
    std::string_view name;
    std::span<const WalkedEntry> entries;
};

// Receives every folder that a scan reads, the listed folder and each one below it (a folder
// that cannot be opened, or that is its own ancestor, is an entry of its parent but is not
// read). The walk's threads call OnFolder, several at once, once per folder read (a folder
// mounted in two places is read in both), before anything below that folder is read; nothing
// is reported once the scan is stopped; the listed folder comes last, from the thread that
// runs the scan. The folder and its entries are lent for the call only. The sink must outlive
// the scan.
class IFolderSink {
public:
    virtual ~IFolderSink() = default;
    virtual void OnFolder(const WalkedFolder& folder) = 0;
};

// What a walk asks of the entries of the folder it starts from.
class IWalkEntries {
public:
    virtual ~IWalkEntries() = default;
    // Examines entry `index` (once per index, on one of the walk's threads). Returns the
    // entry's name when it is a folder whose contents the walk must count, otherwise null; the
    // name stays valid until the walk is over.
    virtual const char* Examine(std::size_t index) = 0;
};

class WalkState;

// The threads that walk folders: made once and kept for the life of the program (or of the
// pool object), idle between walks. A pool runs one walk at a time; a second walk waits for
// the first to end.
class CWalkPool {
public:
    explicit CWalkPool(unsigned threads);
    ~CWalkPool();
    CWalkPool(const CWalkPool&) = delete;
    CWalkPool& operator=(const CWalkPool&) = delete;

    unsigned Threads() const { return static_cast<unsigned>(m_threads.size()); }

    // The program's pool of DefaultThreads() threads, started by its first use.
    static CWalkPool& Shared();
    // Twice the processor cores: one thread per core keeps a warm cache busy, and the others
    // keep requests queued at the disk while threads wait for entries that are not cached.
    static unsigned DefaultThreads();

private:
    friend class CFolderWalk;

    void Serve();
    void Quit();
    void Begin(WalkState& walk);
    void End();

    std::mutex m_runMutex; // held while a walk runs
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_left;
    WalkState* m_pWalk = nullptr;
    std::uint64_t m_generation = 0;
    int m_inside = 0; // threads working on m_pWalk
    bool m_quit = false;
    std::vector<std::thread> m_threads;
};

// Sub-folders of one open folder walked by the pool's threads. The threads examine the
// folder's entries in index order and walk what lies below each folder among them; any
// sub-folder found at any depth can become a piece of work that an idle thread takes. Each
// such piece holds its open parent folder, the names to walk in it and the identities of its
// ancestors, so that a folder that is its own ancestor (a bind mount looping back) is counted
// but not entered. Work is shared only while threads are idle, which bounds the descriptors
// open at once by a few per thread.
//
// Below the folder the walk counts each file (any entry that is not a folder: symbolic links,
// FIFOs, sockets and devices included, by their own size, never opened) and each folder; it
// opens folders only, never through a symbolic link. A folder that cannot be opened counts as
// empty. A folder moved while the walk is inside it is not followed back up: the walk finds
// its former parent again by name, so only what moved may be missed or counted twice. The
// walk keeps its place in memory instead of on the call stack, so any depth is fine.
//
// The walk starts when it is made and is stopped and waited for when it goes. The folder
// descriptor, `entries` and the sink are borrowed and must outlive the walk.
class CFolderWalk {
public:
    CFolderWalk(CWalkPool& pool, int folderFd, std::size_t count, IWalkEntries& entries,
                IFolderSink* sink = nullptr);
    ~CFolderWalk();
    CFolderWalk(const CFolderWalk&) = delete;
    CFolderWalk& operator=(const CFolderWalk&) = delete;

    // Waits at most `timeout` until entry `index` is examined and everything below it counted;
    // true when it is. False at once after Stop or a failure.
    bool WaitFor(std::size_t index, std::chrono::milliseconds timeout);
    // Everything counted below entry `index` (zero for a file); once WaitFor(index) is true.
    FolderTally TallyOf(std::size_t index) const;
    // Ends the walk early and waits until every thread has left it (each leaves within an
    // entry or two).
    void Stop();
    // True when a thread ran out of memory; the walk is then stopped.
    bool OutOfMemory() const;

private:
    CWalkPool& m_pool;
    std::unique_lock<std::mutex> m_running;
    std::unique_ptr<WalkState> m_state;
};
