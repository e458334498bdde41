#include "CatalogriumDoc.h"

#include "FolderWalk.h"
#include "Handles.h"
#include "ProgressNote.h"
#include "Prompter.h"
#include "ShortName.h"

#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

const std::string kScanCaption = "Catalogrium";
const std::string kReadProblem = "There are problem reading folder  ";
// Built before it is needed: showing it must not depend on finding more memory.
const std::string kNoMemory = " There are not enough memory! ";

bool IsReadOnlyVolume(int fd) {
    struct statvfs volume;
    return ::fstatvfs(fd, &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0;
}

// What the directory says of an entry it listed but that could not be examined: its type, with
// size 0 and the time 0 (1970-01-01).
struct stat StatFromType(unsigned char type) {
    struct stat st {};
    st.st_mode = (type == DT_UNKNOWN ? S_IFREG : DTTOIF(type)) | S_IWUSR;
    return st;
}

// A sub-folder may be where another volume is mounted (a CD below /media): whether it is
// read-only is a matter of that volume. It is looked at without being opened for reading.
bool IsReadOnlyFolder(int folderFd, const char* name, bool readOnlyVolume) {
    if (readOnlyVolume)
        return true;
    const Descriptor folder(
        ::openat(folderFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return folder.IsOpen() && IsReadOnlyVolume(folder.Get());
}

struct stat Examine(int folderFd, const dirent& found) {
    struct stat st;
    if (::fstatat(folderFd, found.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return StatFromType(found.d_type);
    return st;
}

std::uint32_t AttributesOf(const char* name, mode_t mode, bool readOnlyVolume) {
    std::uint32_t attributes = 0;
    if (S_ISDIR(mode))
        attributes |= kAttrFolder;
    else if (S_ISREG(mode) || S_ISLNK(mode))
        attributes |= kAttrArchive;
    else
        attributes |= kAttrSystem;
    if ((mode & S_IWUSR) == 0 || readOnlyVolume)
        attributes |= kAttrReadOnly;
    if (name[0] == '.')
        attributes |= kAttrHidden;
    return attributes;
}

// One entry of the listed folder. A folder's size is the total of the files below it, which
// the walk adds to `below`.
std::unique_ptr<CFolderEntry> MakeEntry(int folderFd, const dirent& found, bool readOnlyVolume,
                                        FolderTally& below) {
    auto entry = std::make_unique<CFolderEntry>();
    const struct stat st = Examine(folderFd, found);
    const bool readOnly = S_ISDIR(st.st_mode)
                              ? IsReadOnlyFolder(folderFd, found.d_name, readOnlyVolume)
                              : readOnlyVolume;
    entry->m_dwAttributes = AttributesOf(found.d_name, st.st_mode, readOnly);
    entry->m_strName = found.d_name;
    entry->m_ftLastWrite = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    if (entry->IsFolder()) {
        TallyFolder(below, folderFd, found.d_name);
        entry->m_nSize = below.bytes;
    } else {
        entry->m_nSize = static_cast<std::uint64_t>(st.st_size);
    }
    return entry;
}

} // namespace

bool CCatalogriumDoc::ScanFolder(const std::string& path, int filesAndFolders) {
    m_progress.BeginProgress();
    ResetListing();
    m_progress.BeginWaitCursor();
    const ScanOutcome outcome = ReadFolder(path, filesAndFolders);
    m_progress.EndWaitCursor();
    switch (outcome) {
    case ScanOutcome::Read:
        m_progress.RemoveProgress();
        return true;
    case ScanOutcome::CannotOpen:
        ShowError(kReadProblem + path, kScanCaption);
        m_progress.RemoveProgress();
        return false;
    case ScanOutcome::OutOfMemory:
        m_progress.RemoveProgress();
        ShowError(kNoMemory, kScanCaption);
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
    m_scanList.clear();
    DeleteContents();
}

// Every entry read counts one status text and one step, except the first; "." and ".." too.
CCatalogriumDoc::ScanOutcome CCatalogriumDoc::ReadFolder(const std::string& path,
                                                         int filesAndFolders) {
    DirHandle folder(::opendir(path.empty() ? "/" : path.c_str()));
    if (!folder)
        return ScanOutcome::CannotOpen;
    const int folderFd = ::dirfd(folder.get());
    const bool readOnlyVolume = IsReadOnlyVolume(folderFd);
    try {
        bool first = true;
        while (const dirent* found = ::readdir(folder.get())) {
            if (!first) {
                m_progress.SetStatusText(found->d_name);
                m_progress.StepIt();
            }
            first = false;
            if (IsDotOrDotDot(found->d_name))
                continue;
            FolderTally below;
            auto entry = MakeEntry(folderFd, *found, readOnlyVolume, below);
            AddToTotals(*entry, below);
            Keep(std::move(entry), filesAndFolders);
        }
        AssignShortNames(m_scanList);
        m_strListedFolder = path;
    } catch (const std::bad_alloc&) {
        m_scanList.clear();
        return ScanOutcome::OutOfMemory;
    }
    return ScanOutcome::Read;
}

// The totals count everything below the folder, whether its entry is kept or not.
void CCatalogriumDoc::AddToTotals(const CFolderEntry& entry, const FolderTally& below) {
    if (entry.IsFolder()) {
        m_nSubFolders += 1 + below.folders;
        m_nFiles += below.files;
    } else {
        m_nFiles += 1;
    }
    m_nTotalSize += entry.m_nSize;
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
