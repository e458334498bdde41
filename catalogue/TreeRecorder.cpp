#include "TreeRecorder.h"

#include "TreeWalk.h"

#include <deque>
#include <mutex>
#include <new>

namespace {

// Turns the walk's folders, known by their parent's tag and their name, into paths below the
// listed folder. A folder's tag is one more than its place among the paths.
class PathSink final : public ITreeSink {
public:
    explicit PathSink(const FolderRecordSink& sink) : m_sink(sink) {}

    std::uint64_t OnFolder(const TreeFolder& folder) override {
        auto [tag, path] = Place(folder);
        std::vector<RecordedEntry> entries;
        entries.reserve(folder.entries.size());
        for (const WalkedEntry& e : folder.entries)
            entries.push_back(
                {std::string(e.name), e.attributes, e.size, UnixSecondsFromFileTime(e.lastWrite)});
        m_sink(std::move(path), std::move(entries));
        return tag;
    }

private:
    // The folder's tag and its path below the listed folder (empty for the listed folder).
    std::pair<std::uint64_t, std::string> Place(const TreeFolder& folder) {
        std::lock_guard lock(m_mutex);
        std::string path;
        if (folder.parentTag != 0) {
            const std::string& parent = m_paths[folder.parentTag - 1];
            path =
                parent.empty() ? std::string(folder.name) : parent + '/' + std::string(folder.name);
        }
        m_paths.push_back(path);
        return {m_paths.size(), std::move(path)};
    }

    const FolderRecordSink& m_sink;
    std::mutex m_mutex;
    std::deque<std::string> m_paths;
};

} // namespace

RecordOutcome RecordTree(const std::string& folder, const FolderRecordSink& sink,
                         const std::atomic<bool>& stop) {
    PathSink paths(sink);
    try {
        switch (WalkTree(folder, paths, stop)) {
        case WalkOutcome::Done:
            return RecordOutcome::Done;
        case WalkOutcome::CannotOpen:
            return RecordOutcome::CannotOpen;
        case WalkOutcome::Stopped:
            return RecordOutcome::Stopped;
        }
    } catch (const std::bad_alloc&) {
        // As a scan that runs out of memory: the folder is not recorded.
    }
    return stop ? RecordOutcome::Stopped : RecordOutcome::CannotOpen;
}
