#pragma once

#include "engine/FolderEntry.h"
#include "engine/ListingOptions.h"

#include <cstdint>
#include <ctime>
#include <dirent.h>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class CWalkPool;
class ITreeSink;
class IPrompter;
class IProgressNote;

// `total` + `bytes`, stopping at the largest value instead of wrapping: sparse files can
// claim more than 2^64 - 1 bytes together.
inline std::uint64_t AddBytes(std::uint64_t total, std::uint64_t bytes) {
    return bytes > UINT64_MAX - total ? UINT64_MAX : total + bytes;
}

// Totals gathered below one top-level sub-folder.
struct FolderTally {
    std::uint64_t bytes = 0;
    int files = 0;
    int folders = 0;
};

// Entries of the listed folder that are there but could not be examined (a folder that may be
// read but not searched): they are listed with size 0 and the time 0.
struct UnexaminedEntries {
    int count = 0;
    std::string firstPath; // of the first in the directory's order
};

// "2 entries could not be examined (the first: PATH); ...", control characters shown as "?".
std::string DescribeUnexamined(const UnexaminedEntries& unexamined);

// One entry of a folder that was read earlier and kept elsewhere (a catalogue of it), with what
// was counted below it then (zero for a file).
struct RecordedEntry {
    CFolderEntry entry;
    FolderTally below;
};

// The listing of one folder: its direct entries and the totals of everything below it.
// The document owns every entry: the scan list holds them from the scan until the sort moves
// them to the entry list, which owns them until the next reading or DeleteContents. The
// prompter and the progress note are borrowed and must outlive the document; the options
// are those of the view (null when there is none).
class CCatalogriumDoc {
public:
    CCatalogriumDoc(IPrompter& prompter, IProgressNote& progress);

    void SetOptions(ListingOptions* options) { m_pOptions = options; }
    // "Now" for the listing file's header; the clock (or SOURCE_DATE_EPOCH) by default.
    void SetClock(std::function<std::time_t()> clock) { m_clock = std::move(clock); }
    std::time_t Now() const { return m_clock(); }
    // The threads that walk the sub-folders: the program's pool unless one is set. Borrowed.
    void SetWalkPool(CWalkPool* pool) { m_walkPool = pool; }
    // Receives every folder that a scan reads below the listed folder (see ITreeSink), those in
    // it with the parent tag 0 and their index among the names read, "." and ".." included;
    // none by default. Borrowed.
    void SetFolderSink(ITreeSink* sink) { m_folderSink = sink; }

    // Normalises the path in place; false after a message.
    bool ValidateFolderName(std::string& path);
    // Reads the folder into the scan list with its totals; false after a message, or when the
    // progress note asked to stop, with an empty listing. `filesAndFolders` is 0 folders only,
    // 1 files only, 2 both.
    bool ScanFolder(const std::string& path, int filesAndFolders);
    // Fills the scan list and the totals from a reading kept elsewhere, as ScanFolder fills them
    // from the disk: `entries` in the order the folder was read, `path` the folder's path as it
    // was read. Then comes SortEntries, as after a scan.
    void ListRecordedFolder(const std::string& path, std::vector<RecordedEntry> entries,
                            int filesAndFolders);
    // Upper-cases (when asked), puts folders first, sorts and moves the entries to the entry
    // list. Does nothing without options.
    void SortEntries(bool descend, int sortBy);
    // The size text of the listing, right-aligned in 17 characters, honouring "Add Size in
    // Bytes" (off for two-column case inserts). Leaves `out` alone without options.
    void FormatSize(std::string& out, std::uint64_t size, int width) const;
    // Writes the listing file (fixed-column or comma-delimited by the options); nothing
    // without options.
    void Serialize(std::ostream& out) const;
    // Writes the listing file to `path` through a temporary file that replaces it only when
    // complete (a link is followed; a device such as /dev/null is written in place; a
    // read-only file is refused). On failure returns false with a message naming the file in
    // `error`; the previous file is left as it was.
    bool SaveListingFile(const std::string& path, std::string& error) const;
    // Destroys the entries of the entry list; totals, path and scan list stay.
    void DeleteContents();

    std::uint64_t m_nTotalSize = 0;
    int m_nFiles = 0;
    int m_nSubFolders = 0;
    ScanList m_scanList;
    EntryList m_entryList;
    std::string m_strListedFolder;
    UnexaminedEntries m_unexamined; // of the last reading

private:
    enum class ScanOutcome { Read, CannotOpen, OutOfMemory, Stopped };

    void ShowError(const std::string& text, const std::string& caption);
    void ResetListing();
    ScanOutcome ReadFolder(const std::string& path, int filesAndFolders);
    ScanOutcome ReadEntries(DIR* folder, const std::string& path, int filesAndFolders);
    void AddToTotals(CFolderEntry& entry, const FolderTally& below);
    void NoteUnexamined(const std::string& path, const std::string& name);
    void RemarkOnUnexamined();
    void Keep(std::unique_ptr<CFolderEntry> entry, int filesAndFolders);

    IPrompter& m_prompter;
    IProgressNote& m_progress;
    ListingOptions* m_pOptions = nullptr;
    CWalkPool* m_walkPool = nullptr;
    ITreeSink* m_folderSink = nullptr;
    std::function<std::time_t()> m_clock;
};
