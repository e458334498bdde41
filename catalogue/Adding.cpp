#include "Adding.h"

#include "Clock.h"
#include "TreeRecorder.h"
#include "VolumeInfo.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

struct FolderRecord {
    std::string relativePath;
    std::vector<RecordedEntry> entries;
};

// The folders read by the walk, waiting for the catalogue. Bounded, so that a slow catalogue
// holds the walk back instead of filling the memory.
class FolderQueue {
public:
    static constexpr std::size_t kCapacity = 256;

    // False when the queue was halted.
    bool Push(FolderRecord record) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_halted || m_records.size() < kCapacity; });
        if (m_halted)
            return false;
        m_records.push_back(std::move(record));
        m_changed.notify_all();
        return true;
    }
    // False once the walk has finished and everything is taken, or the queue was halted.
    bool Pop(FolderRecord& record) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_halted || m_finished || !m_records.empty(); });
        if (m_halted || m_records.empty())
            return false;
        record = std::move(m_records.front());
        m_records.pop_front();
        m_changed.notify_all();
        return true;
    }
    void Finish() { Set(m_finished); }
    void Halt() { Set(m_halted); }

private:
    void Set(bool& flag) {
        std::lock_guard lock(m_mutex);
        flag = true;
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<FolderRecord> m_records;
    bool m_finished = false;
    bool m_halted = false;
};

// Moves the walk's folders into the add until the walk ends or `stop` is set.
void TakeFolders(FolderQueue& queue, ICatalogueAdd& add, const std::atomic<bool>& stop,
                 const AddProgress& progress) {
    std::int64_t entries = 0;
    FolderRecord record;
    while (!stop && queue.Pop(record)) {
        add.AddFolder(record.relativePath, record.entries);
        entries += static_cast<std::int64_t>(record.entries.size());
        if (progress)
            progress(entries);
    }
}

} // namespace

Medium NewMedium(const std::string& name, const std::string& folder) {
    Medium medium;
    medium.name = name;
    medium.folder = folder.empty() ? "/" : folder;
    medium.volume = VolumeOf(medium.folder);
    medium.added = CurrentTime();
    return medium;
}

AddOutcome AddToCatalogue(ICatalogue& catalogue, const std::string& name, const std::string& folder,
                          bool replace, const std::atomic<bool>& stop,
                          const AddProgress& progress) {
    auto add = catalogue.BeginAdd(NewMedium(name, folder), replace);
    FolderQueue queue;
    std::atomic<bool> halt = false;
    RecordOutcome walked = RecordOutcome::Done;
    std::jthread walk([&] {
        walked = RecordTree(
            folder,
            [&](std::string path, std::vector<RecordedEntry> entries) {
                if (!queue.Push({std::move(path), std::move(entries)}))
                    halt = true;
            },
            halt);
        queue.Finish();
    });
    try {
        TakeFolders(queue, *add, stop, progress);
    } catch (...) {
        halt = true;
        queue.Halt();
        throw;
    }
    halt = halt || stop.load();
    queue.Halt();
    walk.join();
    if (stop || walked == RecordOutcome::Stopped)
        return AddOutcome::Stopped;
    if (walked == RecordOutcome::CannotOpen)
        return AddOutcome::CannotRead;
    add->Commit();
    return AddOutcome::Added;
}
