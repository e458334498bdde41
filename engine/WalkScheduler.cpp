#include "WalkScheduler.h"

#include "engine/Walker.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>

namespace {

// How long the thread that waits for an entry gives way to the walk's threads before it
// sleeps: most entries of a large folder are done by then.
constexpr int kYieldsBeforeSleeping = 64;

// The listed folder's descriptor, shared with the pieces of work but owned by the caller.
std::shared_ptr<Descriptor> Borrowed(int fd) {
    return std::shared_ptr<Descriptor>(new Descriptor(fd), [](Descriptor* borrowed) {
        borrowed->Release();
        delete borrowed;
    });
}

} // namespace

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

WalkState::WalkState(std::size_t threads, int folderFd, std::size_t count, IWalkEntries& entries,
                     ITreeSink* sink, std::uint64_t parentTag)
    : m_entries(entries), m_sink(sink), m_parentTag(parentTag), m_count(count),
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
