#include "TreeRecorder.h"

#include "EntryStat.h"
#include "FolderEntry.h"
#include "Handles.h"

#include <deque>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

RecordedEntry Record(int folderFd, const dirent& found, bool readOnlyVolume) {
    const struct stat st = ExamineEntry(folderFd, found.d_name, found.d_type);
    RecordedEntry entry;
    entry.name = found.d_name;
    entry.attributes = EntryAttributes(folderFd, found.d_name, st, readOnlyVolume);
    entry.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    entry.modified = st.st_mtim.tv_sec;
    return entry;
}

std::string Join(const std::string& relativePath, const std::string& name) {
    return relativePath.empty() ? name : relativePath + '/' + name;
}

// Reads one open folder: its entries for the sink, its sub-folders for the walk.
std::vector<RecordedEntry> ReadFolder(Descriptor folder, const std::string& relativePath,
                                      std::deque<std::string>& pending) {
    std::vector<RecordedEntry> entries;
    const bool readOnly = IsReadOnlyVolume(folder.Get());
    DirHandle dir(::fdopendir(folder.Get()));
    if (!dir)
        return entries;
    const int fd = folder.Release();
    while (const dirent* found = ::readdir(dir.get())) {
        if (IsDotOrDotDot(found->d_name))
            continue;
        entries.push_back(Record(fd, *found, readOnly));
        if (entries.back().attributes & kAttrFolder)
            pending.push_back(Join(relativePath, entries.back().name));
    }
    return entries;
}

} // namespace

RecordOutcome RecordTree(const std::string& folder, const FolderRecordSink& sink,
                         const std::atomic<bool>& stop) {
    Descriptor root(
        ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.IsOpen())
        return RecordOutcome::CannotOpen;
    std::deque<std::string> pending;
    sink({}, ReadFolder(Descriptor(::dup(root.Get())), {}, pending));
    while (!pending.empty()) {
        if (stop)
            return RecordOutcome::Stopped;
        std::string relativePath = std::move(pending.front());
        pending.pop_front();
        Descriptor sub(::openat(root.Get(), relativePath.c_str(), kFolderOpenFlags));
        std::vector<RecordedEntry> entries;
        if (sub.IsOpen())
            entries = ReadFolder(std::move(sub), relativePath, pending);
        sink(std::move(relativePath), std::move(entries));
    }
    return stop ? RecordOutcome::Stopped : RecordOutcome::Done;
}
