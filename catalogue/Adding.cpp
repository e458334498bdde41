#include "Adding.h"

#include "catalogue/VolumeInfo.h"
#include "engine/Clock.h"
#include "engine/FolderEntry.h"
#include "engine/TreeWalk.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

namespace {

// The folders read by the walk, waiting for the catalogue. Bounded, so that a slow catalogue
// holds the walk back instead of filling the memory. Each folder's entries are numbered as it
// joins the queue, so that the catalogue takes the numbers in ascending order.
class FolderQueue {
public:
    static constexpr std::size_t kCapacity = 256;

    // The number of the record's first entry; none when the queue was halted.
    std::optional<std::uint64_t> Push(AddedFolder record) {
        std::unique_lock lock(m_mutex);
        m_roomLeft.wait(lock, [&] { return m_halted || m_records.size() < kCapacity; });
        if (m_halted)
            return std::nullopt;
        const std::uint64_t first = m_next;
        m_next += record.entries.size();
        record.first = static_cast<std::int64_t>(first);
        m_records.push_back(std::move(record));
        if (m_records.size() == 1)
            m_recordsCame.notify_one();
        return first;
    }
    // False once the walk has finished and everything is taken, or the queue was halted.
    bool Pop(AddedFolder& record) {
        std::unique_lock lock(m_mutex);
        m_recordsCame.wait(lock, [&] { return m_halted || m_finished || !m_records.empty(); });
        if (m_halted || m_records.empty())
            return false;
        record = std::move(m_records.front());
        m_records.pop_front();
        if (m_records.size() == kCapacity - 1)
            m_roomLeft.notify_all();
        return true;
    }
    void Finish() { Set(m_finished); }
    void Halt() { Set(m_halted); }

private:
    void Set(bool& flag) {
        std::lock_guard lock(m_mutex);
        flag = true;
        m_recordsCame.notify_all();
        m_roomLeft.notify_all();
    }

    std::mutex m_mutex;
    // The one taker waits for records, the walk's threads for room.
    std::condition_variable m_recordsCame;
    std::condition_variable m_roomLeft;
    std::deque<AddedFolder> m_records;
    std::uint64_t m_next = 1;
    bool m_finished = false;
    bool m_halted = false;
};

// The comments of a listing of the folder being added, by the names the listing showed; a later
// one for the same name wins, as when they were attached to the listing.
class CommentsByName {
public:
    explicit CommentsByName(const ListingComments& comments) : m_upperCase(comments.upperCase) {
        for (const EntryComments& c : comments.entries)
            m_byName[ShownName(c.name, m_upperCase)] = c.comments;
    }

    CommentLines For(const std::string& name) const {
        if (m_byName.empty())
            return {};
        const auto found = m_byName.find(ShownName(name, m_upperCase));
        return found == m_byName.end() ? CommentLines{} : found->second;
    }

private:
    bool m_upperCase;
    std::unordered_map<std::string, CommentLines> m_byName;
};

// Queues the folders the walk reads for the add, which numbers their entries, each folder's in a
// run of its own in the directory's order. A folder's tag is the first number of its entries,
// so a sub-folder's number is its parent's tag plus its index. The listed folder's entries get
// their comments.
class NumberingSink final : public ITreeSink {
public:
    NumberingSink(FolderQueue& queue, std::atomic<bool>& halt, bool hashes,
                  const CommentsByName& comments)
        : m_queue(queue), m_halt(halt), m_hashes(hashes), m_comments(comments) {}

    bool WantsContentHashes() const override { return m_hashes; }

    std::uint64_t OnFolder(const TreeFolder& folder) override {
        AddedFolder added;
        added.id =
            static_cast<std::int64_t>(folder.parentTag == 0 ? 0 : folder.parentTag + folder.index);
        added.entries.reserve(folder.entries.size());
        for (const WalkedEntry& e : folder.entries)
            added.entries.push_back({std::string(e.name),
                                     e.kind,
                                     e.size,
                                     UnixSecondsFromFileTime(e.lastWrite),
                                     e.attributes,
                                     e.hash,
                                     {}});
        if (folder.parentTag == 0)
            for (AddedEntry& entry : added.entries)
                entry.comments = m_comments.For(entry.name);
        const auto first = m_queue.Push(std::move(added));
        if (!first)
            m_halt = true;
        return first.value_or(0);
    }

private:
    FolderQueue& m_queue;
    std::atomic<bool>& m_halt;
    const bool m_hashes;
    const CommentsByName& m_comments;
};

// Reads `folder` with the walk on threads of its own, each file's content too with `hashes`, and
// hands each folder it read to `take` (which may take its names), on the calling thread, until the
// walk ends or `stop` is set. What `take` throws halts the walk and is thrown again.
WalkOutcome WalkFolders(const std::string& folder, bool hashes, const CommentsByName& comments,
                        const std::atomic<bool>& stop,
                        const std::function<void(AddedFolder&)>& take) {
    FolderQueue queue;
    std::atomic<bool> halt = false;
    WalkOutcome walked = WalkOutcome::Done;
    std::exception_ptr failure;
    NumberingSink sink(queue, halt, hashes, comments);
    std::jthread walk([&] {
        try {
            walked = WalkTree(folder, sink, halt);
        } catch (...) {
            failure = std::current_exception();
        }
        queue.Finish();
    });
    try {
        AddedFolder record;
        while (!stop && queue.Pop(record))
            take(record);
    } catch (...) {
        halt = true;
        queue.Halt();
        throw;
    }
    halt = halt || stop.load();
    queue.Halt();
    walk.join();
    if (failure)
        std::rethrow_exception(failure);
    return stop ? WalkOutcome::Stopped : walked;
}

// The tree of the one medium that adding `medium` replaces, when the add is to tell how it
// changes; none otherwise.
std::optional<PathTree> ReplacedTree(ICatalogue& catalogue, const Medium& medium,
                                     const AddChoices& choices) {
    if (!choices.replace || !choices.confirmReplace)
        return std::nullopt;
    const auto conflicts = catalogue.Conflicts(medium.name, medium.volume);
    if (conflicts.size() != 1)
        return std::nullopt;
    return CataloguedTree(catalogue, conflicts.front(),
                          CataloguedSize(catalogue, conflicts.front()));
}

} // namespace

Medium NewMedium(const std::string& name, const std::string& folder) {
    Medium medium;
    medium.name = name;
    medium.folder = folder.empty() ? "/" : folder;
    medium.volume = VolumeOf(medium.folder);
    medium.mountPoint = MountPointOf(medium.folder);
    medium.added = CurrentTime();
    return medium;
}

AddOutcome AddToCatalogue(ICatalogue& catalogue, const std::string& name, const std::string& folder,
                          const AddChoices& choices, const std::atomic<bool>& stop,
                          const AddProgress& progress) {
    Medium medium = NewMedium(name, folder);
    medium.checksums = choices.checksums;
    const std::optional<PathTree> replaced = ReplacedTree(catalogue, medium, choices);
    auto add = catalogue.BeginAdd(medium, choices.replace);
    const CommentsByName comments(choices.comments);
    PathTreeBuilder read(replaced ? TreeSize{replaced->folders.size(), replaced->entries.size()}
                                  : TreeSize{});
    std::int64_t entries = 0;
    const WalkOutcome walked =
        WalkFolders(medium.folder, choices.checksums, comments, stop, [&](AddedFolder& record) {
            add->AddFolder(record);
            entries += static_cast<std::int64_t>(record.entries.size());
            if (replaced)
                read.AddFolder(record);
            if (progress)
                progress(entries);
        });
    if (walked == WalkOutcome::Stopped)
        return AddOutcome::Stopped;
    if (walked == WalkOutcome::CannotOpen)
        return AddOutcome::CannotRead;
    if (replaced) {
        const PathTree now = read.Take();
        const auto changes = CompareTrees(*replaced, now, choices.checksums);
        if (!choices.confirmReplace(CountChanges(changes, *replaced, now), changes))
            return AddOutcome::Stopped;
    }
    add->Commit();
    return AddOutcome::Added;
}

AddOutcome AddToCatalogue(ICatalogue& catalogue, const std::string& name, const std::string& folder,
                          bool replace, const std::atomic<bool>& stop, const AddProgress& progress,
                          const ListingComments& comments) {
    AddChoices choices;
    choices.replace = replace;
    choices.comments = comments;
    return AddToCatalogue(catalogue, name, folder, choices, stop, progress);
}

// The medium is read from the catalogue on a thread of its own while the folder is walked; a
// failure of the catalogue (no such medium) stops the walk.
std::optional<FolderChanges> CompareWithFolder(ICatalogue& catalogue, const std::string& name,
                                               const std::string& folder, bool contents,
                                               const std::atomic<bool>& stop) {
    // The folder is expected to hold about what the medium held.
    const TreeSize expected = CataloguedSize(catalogue, name);
    std::future<PathTree> reading =
        std::async(std::launch::async, [&] { return CataloguedTree(catalogue, name, expected); });
    std::optional<PathTree> catalogued;
    PathTreeBuilder read(expected);
    const CommentsByName noComments({});
    const auto take = [&](AddedFolder& record) {
        if (!catalogued && reading.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
            catalogued = reading.get(); // what the catalogue threw halts the walk
        read.AddFolder(record);
    };
    const WalkOutcome walked =
        WalkFolders(folder.empty() ? "/" : folder, contents, noComments, stop, take);
    if (!catalogued)
        catalogued = reading.get();
    if (walked != WalkOutcome::Done)
        return std::nullopt;
    const PathTree now = read.Take();
    FolderChanges found;
    found.changes = CompareTrees(*catalogued, now, contents);
    found.counts = CountChanges(found.changes, *catalogued, now);
    return found;
}
