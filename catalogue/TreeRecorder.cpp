#include "TreeRecorder.h"

#include "CatalogriumDoc.h"
#include "FolderWalk.h"
#include "ProgressNote.h"
#include "Prompter.h"

#include <mutex>
#include <sys/stat.h>
#include <unordered_map>

namespace {

struct FolderIdHash {
    std::size_t operator()(const FolderId& id) const noexcept {
        return std::hash<ino_t>{}(id.ino) ^ (std::hash<dev_t>{}(id.dev) << 1);
    }
};

// Turns the walk's folders, known by their identity and name, into paths below the listed
// folder. A folder's parent is always reported before it, the listed folder excepted, whose
// identity is known from the start.
class PathSink final : public IFolderSink {
public:
    PathSink(FolderId listed, const FolderRecordSink& sink) : m_sink(sink) {
        m_paths.emplace(listed, std::string());
    }

    void OnFolder(const WalkedFolder& folder) override {
        std::string path = PathOf(folder);
        std::vector<RecordedEntry> entries;
        entries.reserve(folder.entries.size());
        for (const WalkedEntry& e : folder.entries)
            entries.push_back(
                {std::string(e.name), e.attributes, e.size, UnixSecondsFromFileTime(e.lastWrite)});
        m_sink(std::move(path), std::move(entries));
    }

private:
    std::string PathOf(const WalkedFolder& folder) {
        std::lock_guard lock(m_mutex);
        if (folder.parent == FolderId{})
            return m_paths[folder.id];
        const std::string& parent = m_paths[folder.parent];
        std::string path =
            parent.empty() ? std::string(folder.name) : parent + '/' + std::string(folder.name);
        m_paths[folder.id] = path;
        return path;
    }

    const FolderRecordSink& m_sink;
    std::mutex m_mutex;
    std::unordered_map<FolderId, std::string, FolderIdHash> m_paths;
};

class StopNote final : public CSilentProgressNote {
public:
    explicit StopNote(const std::atomic<bool>& stop) : m_stop(stop) {}
    bool StopRequested() override { return m_stop; }

private:
    const std::atomic<bool>& m_stop;
};

} // namespace

RecordOutcome RecordTree(const std::string& folder, const FolderRecordSink& sink,
                         const std::atomic<bool>& stop) {
    struct stat st;
    if (::stat(folder.empty() ? "/" : folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return RecordOutcome::CannotOpen;
    CSilentPrompter prompter;
    StopNote note(stop);
    PathSink paths({st.st_dev, st.st_ino}, sink);
    CCatalogriumDoc doc(prompter, note);
    doc.SetFolderSink(&paths);
    if (doc.ScanFolder(folder, 2))
        return RecordOutcome::Done;
    return stop ? RecordOutcome::Stopped : RecordOutcome::CannotOpen;
}
