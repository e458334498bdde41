#include "TreeWalk.h"

#include "engine/EntryStat.h"
#include "engine/Handles.h"

#include <chrono>
#include <exception>
#include <vector>

namespace {

// While the caller waits for the walk, it looks at `stop` this often.
constexpr std::chrono::milliseconds kStopPoll{25};
// While it reads the listed folder's names, it looks at `stop` after this many.
constexpr std::size_t kNamesBetweenStopChecks = 1024;

// The entries of the listed folder: their names read first, then each examined on one of the
// walk's threads. Nothing is walked below them meanwhile.
class ListedFolder final : public IWalkEntries {
public:
    ListedFolder(DIR* folder, bool hashes)
        : m_folder(folder), m_fd(::dirfd(folder)), m_readOnlyVolume(IsReadOnlyVolume(m_fd)),
          m_hashes(hashes) {}

    // False when `stop` was set before every name was read.
    bool ReadNames(const std::atomic<bool>& stop) {
        while (const dirent* found = ::readdir(m_folder)) {
            if (IsDotOrDotDot(found->d_name))
                continue;
            m_names.emplace_back(found->d_name);
            m_types.push_back(found->d_type);
            if (m_names.size() % kNamesBetweenStopChecks == 0 && stop)
                return false;
        }
        m_entries.resize(m_names.size());
        return true;
    }

    int Fd() const { return m_fd; }
    std::size_t Count() const { return m_names.size(); }
    std::span<const WalkedEntry> Entries() const { return m_entries; }
    // Once examined.
    bool IsFolder(std::size_t index) const { return m_entries[index].kind == EntryKind::Folder; }
    const char* Name(std::size_t index) const { return m_names[index].c_str(); }

    const char* Examine(std::size_t index) override {
        WalkedEntry& entry = m_entries[index];
        entry = ExamineWalkedEntry(m_fd, m_names[index].c_str(), m_types[index], m_readOnlyVolume);
        if (m_hashes && entry.kind == EntryKind::File)
            entry.hash = HashFileContent(m_fd, m_names[index].c_str());
        entry.name = m_names[index];
        return nullptr;
    }

private:
    DIR* m_folder;
    int m_fd;
    bool m_readOnlyVolume;
    bool m_hashes;
    std::vector<std::string> m_names;
    std::vector<unsigned char> m_types;
    std::vector<WalkedEntry> m_entries;
};

// The folders among the listed folder's examined entries, which the walk goes below.
class ListedSubFolders final : public IWalkEntries {
public:
    explicit ListedSubFolders(const ListedFolder& listed) : m_listed(listed) {}

    const char* Examine(std::size_t index) override {
        return m_listed.IsFolder(index) ? m_listed.Name(index) : nullptr;
    }

private:
    const ListedFolder& m_listed;
};

// Waits until the walk has been through all of its `count` entries; false when `stop` was set
// first. What stopped the walk is thrown again here.
bool WaitForAll(CFolderWalk& walk, std::size_t count, const std::atomic<bool>& stop) {
    for (std::size_t i = 0; i < count; ++i) {
        while (!walk.WaitFor(i, kStopPoll)) {
            if (const std::exception_ptr failure = walk.Failure())
                std::rethrow_exception(failure);
            if (stop)
                return false;
        }
    }
    return !stop;
}

} // namespace

// The listed folder is examined in full before it is reported: its sub-folders are walked
// only once the sink has returned its tag.
WalkOutcome WalkTree(const std::string& folder, ITreeSink& sink, const std::atomic<bool>& stop,
                     CWalkPool& pool) {
    const DirHandle handle(::opendir(folder.empty() ? "/" : folder.c_str()));
    if (!handle)
        return WalkOutcome::CannotOpen;
    ListedFolder listed(handle.get(), sink.WantsContentHashes());
    if (!listed.ReadNames(stop))
        return WalkOutcome::Stopped;
    {
        CFolderWalk examination(pool, listed.Fd(), listed.Count(), listed);
        if (!WaitForAll(examination, listed.Count(), stop))
            return WalkOutcome::Stopped;
    }
    const std::uint64_t tag = sink.OnFolder({0, 0, folder, listed.Entries()});
    ListedSubFolders subFolders(listed);
    CFolderWalk below(pool, listed.Fd(), listed.Count(), subFolders, &sink, tag);
    return WaitForAll(below, listed.Count(), stop) ? WalkOutcome::Done : WalkOutcome::Stopped;
}
