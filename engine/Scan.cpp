#include "engine/CatalogriumDoc.h"

#include "engine/EntryStat.h"
#include "engine/FolderWalk.h"
#include "engine/Handles.h"
#include "engine/Messages.h"
#include "engine/ProgressNote.h"
#include "engine/Prompter.h"
#include "engine/ShortName.h"
#include "engine/Text.h"

#include <chrono>
#include <deque>
#include <exception>
#include <new>
#include <system_error>
#include <vector>

namespace {

// While the scan waits for the walk, it asks this often whether to stop.
constexpr std::chrono::milliseconds kStopPoll{25};
// While it reads the listed folder's names, it asks after this many.
constexpr std::size_t kNamesBetweenStopChecks = 1024;

// The listed folder's entries in the directory's order, "." and ".." included (they count in
// the progress), each examined on one of the walk's threads.
class ListedEntries final : public IWalkEntries {
public:
    ListedEntries(int folderFd, bool readOnlyVolume)
        : m_folderFd(folderFd), m_readOnlyVolume(readOnlyVolume) {}

    void Add(const dirent& found) {
        auto entry = std::make_unique<CFolderEntry>();
        entry->m_strName = found.d_name;
        m_found.push_back({std::move(entry), found.d_type, false});
    }
    std::size_t Count() const { return m_found.size(); }
    CFolderEntry& operator[](std::size_t index) { return *m_found[index].entry; }
    // True when the entry is there but could not be examined (once the walk is over).
    bool Refused(std::size_t index) const { return m_found[index].refused; }
    std::unique_ptr<CFolderEntry> Take(std::size_t index) {
        return std::move(m_found[index].entry);
    }

    // A folder's size is the total of the files below it, which the walk counts.
    const char* Examine(std::size_t index) override {
        CFolderEntry& entry = *m_found[index].entry;
        const char* name = entry.m_strName.c_str();
        if (IsDotOrDotDot(name))
            return nullptr;
        const ExaminedEntry examined =
            ExamineEntry(m_folderFd, name, m_found[index].type, &m_found[index].refused);
        const struct stat& st = examined.status;
        entry.m_dwAttributes = EntryAttributes(m_folderFd, name, examined, m_readOnlyVolume);
        entry.m_ftLastWrite = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
        if (entry.IsFolder())
            return name;
        entry.m_nSize = static_cast<std::uint64_t>(st.st_size);
        return nullptr;
    }

private:
    struct Found {
        std::unique_ptr<CFolderEntry> entry;
        unsigned char type;
        bool refused = false;
    };

    int m_folderFd;
    bool m_readOnlyVolume;
    std::deque<Found> m_found;
};

// False when the progress note asked to stop.
bool ReadNames(DIR* folder, ListedEntries& listed, IProgressNote& progress) {
    while (const dirent* found = ::readdir(folder)) {
        listed.Add(*found);
        if (listed.Count() % kNamesBetweenStopChecks == 0 && progress.StopRequested())
            return false;
    }
    return true;
}

// False when the progress note asked to stop first. What stopped the walk (std::bad_alloc, or
// what the folder sink threw) is thrown again here.
bool WaitForEntry(CFolderWalk& walk, std::size_t index, IProgressNote& progress) {
    while (!walk.WaitFor(index, kStopPoll)) {
        if (const std::exception_ptr failure = walk.Failure())
            std::rethrow_exception(failure);
        if (progress.StopRequested())
            return false;
    }
    return !progress.StopRequested();
}

} // namespace

std::string DescribeUnexamined(const UnexaminedEntries& unexamined) {
    const std::string entries =
        unexamined.count == 1 ? "1 entry" : std::to_string(unexamined.count) + " entries";
    return entries +
           " could not be examined (the first: " + ReplaceControlChars(unexamined.firstPath) +
           "); listed with size 0 and the time 0";
}

bool CCatalogriumDoc::ScanFolder(const std::string& path, int filesAndFolders) {
    m_progress.BeginProgress();
    ResetListing();
    m_progress.BeginWaitCursor();
    const ScanOutcome outcome = ReadFolder(path, filesAndFolders);
    m_progress.EndWaitCursor();
    switch (outcome) {
    case ScanOutcome::Read:
        RemarkOnUnexamined();
        m_progress.RemoveProgress();
        return true;
    case ScanOutcome::CannotOpen:
        ShowError(kReadProblem + ReplaceControlChars(path), kScanCaption);
        m_progress.RemoveProgress();
        return false;
    case ScanOutcome::OutOfMemory:
        m_progress.RemoveProgress();
        ShowError(kNoMemory, kScanCaption);
        return false;
    case ScanOutcome::Stopped:
        ResetListing();
        m_progress.RemoveProgress();
        return false;
    }
    return false;
}

// A new reading replaces the previous listing, its comments included.
void CCatalogriumDoc::ResetListing() {
    m_nTotalSize = 0;
    m_nFiles = 0;
    m_nSubFolders = 0;
    m_strListedFolder.clear();
    m_unexamined = {};
    m_scanList.clear();
    DeleteContents();
}

CCatalogriumDoc::ScanOutcome CCatalogriumDoc::ReadFolder(const std::string& path,
                                                         int filesAndFolders) {
    DirHandle folder(::opendir(path.empty() ? "/" : path.c_str()));
    if (!folder)
        return ScanOutcome::CannotOpen;
    try {
        const ScanOutcome outcome = ReadEntries(folder.get(), path, filesAndFolders);
        if (outcome != ScanOutcome::Read)
            return outcome;
        AssignShortNames(m_scanList);
        m_strListedFolder = path;
    } catch (const std::bad_alloc&) {
        m_scanList.clear();
        return ScanOutcome::OutOfMemory;
    } catch (const std::system_error&) {
        // The walk's threads could not be started: the system is out of resources.
        m_scanList.clear();
        return ScanOutcome::OutOfMemory;
    }
    return ScanOutcome::Read;
}

// Every entry read counts one status text and one step, except the first; "." and ".." too.
// The walk's threads examine the entries and total the folders; the progress follows the
// entries in their order, each once its total is known. What the walk keeps of the entries
// is gone before the scan list is worked on further.
CCatalogriumDoc::ScanOutcome CCatalogriumDoc::ReadEntries(DIR* folder, const std::string& path,
                                                          int filesAndFolders) {
    const int folderFd = ::dirfd(folder);
    ListedEntries listed(folderFd, IsReadOnlyVolume(folderFd));
    if (!ReadNames(folder, listed, m_progress))
        return ScanOutcome::Stopped;
    {
        CFolderWalk walk(m_walkPool ? *m_walkPool : CWalkPool::Shared(), folderFd, listed.Count(),
                         listed, m_folderSink);
        for (std::size_t i = 0; i < listed.Count(); ++i) {
            if (!WaitForEntry(walk, i, m_progress))
                return ScanOutcome::Stopped;
            if (i > 0) {
                m_progress.SetStatusText(listed[i].m_strName);
                m_progress.StepIt();
            }
            if (!IsDotOrDotDot(listed[i].m_strName.c_str()))
                AddToTotals(listed[i], walk.TallyOf(i));
        }
    }
    for (std::size_t i = 0; i < listed.Count(); ++i) {
        if (listed.Refused(i))
            NoteUnexamined(path, listed[i].m_strName);
        if (!IsDotOrDotDot(listed[i].m_strName.c_str()))
            Keep(listed.Take(i), filesAndFolders);
    }
    return ScanOutcome::Read;
}

void CCatalogriumDoc::ListRecordedFolder(const std::string& path,
                                         std::vector<RecordedEntry> entries, int filesAndFolders) {
    ResetListing();
    for (RecordedEntry& recorded : entries) {
        AddToTotals(recorded.entry, recorded.below);
        Keep(std::make_unique<CFolderEntry>(std::move(recorded.entry)), filesAndFolders);
    }
    AssignShortNames(m_scanList);
    m_strListedFolder = path;
}

void CCatalogriumDoc::RemarkOnUnexamined() {
    if (m_unexamined.count > 0)
        m_progress.SetClosingRemark(DescribeUnexamined(m_unexamined));
}

// The entry is listed with what is known of it: its name and type.
void CCatalogriumDoc::NoteUnexamined(const std::string& path, const std::string& name) {
    if (m_unexamined.count++ == 0)
        m_unexamined.firstPath = (path.empty() || path == "/" ? "/" : path + "/") + name;
}

// The totals count everything below the folder, whether its entry is kept or not.
void CCatalogriumDoc::AddToTotals(CFolderEntry& entry, const FolderTally& below) {
    if (entry.IsFolder()) {
        entry.m_nSize = below.bytes;
        m_nSubFolders += 1 + below.folders;
        m_nFiles += below.files;
    } else {
        m_nFiles += 1;
    }
    m_nTotalSize = AddBytes(m_nTotalSize, entry.m_nSize);
}

// Folders go to the head of the scan list, files to its tail; an entry not kept is destroyed.
void CCatalogriumDoc::Keep(std::unique_ptr<CFolderEntry> entry, int filesAndFolders) {
    const bool keepFolders = filesAndFolders == 0 || filesAndFolders == 2;
    const bool keepFiles = filesAndFolders == 1 || filesAndFolders == 2;
    if (entry->IsFolder() && keepFolders)
        m_scanList.push_front(std::move(entry));
    else if (!entry->IsFolder() && keepFiles)
        m_scanList.push_back(std::move(entry));
}
