#pragma once

// The parallel walk of the folders below a folder's entries, and what it reports of them.

#include "engine/CatalogriumDoc.h"
#include "engine/ContentHash.h"
#include "engine/WalkPool.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

// What an entry is on the disk.
enum class EntryKind : std::uint8_t {
    File = 0,
    Folder = 1,
    Link = 2,
    Other = 3 // FIFO, socket, device
};

// One entry of a folder read by the walk ("." and ".." are never reported).
struct WalkedEntry {
    std::string_view name;        // the bytes the directory gave
    std::uint32_t attributes = 0; // the kAttr... bits, as the listing shows them
    std::uint64_t size = 0;       // a file's size; 0 for a folder
    FileTime lastWrite = 0;
    EntryKind kind = EntryKind::File;
    std::optional<ContentHash> hash; // a regular file's, when the sink wants them and it was read
};

// The entry `name` of the open folder `folderFd` as the walk reports it, its name left empty:
// examined without following a symbolic link (see ExamineEntry for one that cannot be).
WalkedEntry ExamineWalkedEntry(int folderFd, const char* name, unsigned char type,
                               bool readOnlyVolume);

// One folder read by a walk, its entries in the directory's order.
struct TreeFolder {
    std::uint64_t parentTag = 0; // what OnFolder returned for the parent; 0 for the listed folder
    std::size_t index = 0; // this folder's index among its parent's entries; 0 for the listed one
    std::string_view name; // its name in its parent; the listed folder: its path
    std::span<const WalkedEntry> entries;
};

// Receives every folder that a walk reads (a folder that cannot be opened, or that is its own
// ancestor, is an entry of its parent but is not read; a folder mounted in two places is read
// in both). The walk's threads call OnFolder, several at once, once per folder read, and
// never for a folder before its parent's call returned; nothing is reported once the walk is
// stopped. The folder and its entries are lent for the call only.
class ITreeSink {
public:
    virtual ~ITreeSink() = default;
    // Returns the folder's tag, which its sub-folders are reported with as parentTag. May
    // throw: the walk then stops and the exception goes to whoever waits for the walk.
    virtual std::uint64_t OnFolder(const TreeFolder& folder) = 0;
    // Whether every regular file is also read, on the walk's threads, for the hash of its
    // content. A file that cannot be read has no hash and is reported all the same.
    virtual bool WantsContentHashes() const { return false; }
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
// With a sink, every folder read below the entries is reported to it, those in the folder it
// starts from with `parentTag` and their entry's index.
//
// The walk starts when it is made and is stopped and waited for when it goes. The folder
// descriptor, `entries` and the sink are borrowed and must outlive the walk.
class CFolderWalk {
public:
    CFolderWalk(CWalkPool& pool, int folderFd, std::size_t count, IWalkEntries& entries,
                ITreeSink* sink = nullptr, std::uint64_t parentTag = 0);
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
    // The first exception a thread met (std::bad_alloc, or one the sink threw), or null; the
    // walk is then stopped.
    std::exception_ptr Failure() const;

private:
    CWalkPool& m_pool;
    std::unique_lock<std::mutex> m_running;
    std::unique_ptr<WalkState> m_state;
};
