#pragma once

// Inside the folder walk: the work that its threads share and the state of one walk, which
// hands out the listed folder's entries, queues the pieces of work that threads give away and
// adds up what was counted below each entry. Only the walk's own files include this.

#include "engine/FolderWalk.h"
#include "engine/Handles.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <sys/types.h>
#include <utility>

// Who a folder is: its device and inode numbers.
struct FolderId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FolderId&) const = default;
};

template <> struct std::hash<FolderId> {
    std::size_t operator()(const FolderId& id) const noexcept {
        return std::hash<ino_t>{}(id.ino) ^ (std::hash<dev_t>{}(id.dev) << 1);
    }
};

// Who an open folder is, and whether another mount starts there (true when the system cannot
// tell).
bool IdentifyFolder(int fd, FolderId& id, bool& mountRoot);
bool IdentifyFolder(int fd, FolderId& id);

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

inline bool IsInChain(const Ancestor* chain, const FolderId& id) {
    for (; chain; chain = chain->up.get())
        if (chain->id == id)
            return true;
    return false;
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
    ITreeSink* Sink() const { return m_sink; }
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
    ITreeSink* m_sink;
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
