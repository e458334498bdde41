#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// Attribute bits of an entry, with the values the listing shows and sorts by.
enum EntryAttribute : std::uint32_t {
    kAttrReadOnly = 0x1,
    kAttrHidden = 0x2,
    kAttrSystem = 0x4,
    kAttrFolder = 0x10,
    kAttrArchive = 0x20,
};

// A last-write time: 100-ns ticks since 1601-01-01 UTC.
using FileTime = std::uint64_t;

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr std::int64_t kFileTimeEpochOffsetSeconds = 11644473600LL;

// The last whole second a file time can hold, counted from 1601.
inline constexpr std::int64_t kLastFileTimeSecond = 1844674407369LL;

// Some file systems keep times before 1601 or beyond the last file time: those become the
// first or the last file time, so that they still show and sort in their order.
constexpr FileTime FileTimeFromUnix(std::int64_t seconds, long nanoseconds = 0) {
    if (seconds < -kFileTimeEpochOffsetSeconds)
        return 0;
    seconds = std::min(seconds, kLastFileTimeSecond - kFileTimeEpochOffsetSeconds);
    return static_cast<FileTime>(seconds + kFileTimeEpochOffsetSeconds) * 10000000ULL +
           static_cast<FileTime>(nanoseconds / 100);
}

// Whole seconds since 1970 of a file time; fractions of a second are dropped.
constexpr std::time_t UnixSecondsFromFileTime(FileTime ft) {
    return static_cast<std::time_t>(static_cast<std::int64_t>(ft / 10000000ULL) -
                                    kFileTimeEpochOffsetSeconds);
}

// The most characters a comment line holds, as the comment editor takes it.
inline constexpr int kCommentLineChars = 19;

// The three comment lines of an entry, empty until the user writes one; the comment editor
// and ctlgrm's comments file hand them over whole.
struct CommentLines {
    std::string m_strComment1;
    std::string m_strComment2;
    std::string m_strComment3;

    // Line `number` (1 to 3).
    const std::string& Line(int number) const {
        return number == 1 ? m_strComment1 : number == 2 ? m_strComment2 : m_strComment3;
    }
    std::string& Line(int number) {
        return number == 1 ? m_strComment1 : number == 2 ? m_strComment2 : m_strComment3;
    }
    // The number of non-empty lines (0 to 3).
    int CountNonEmpty() const {
        return !m_strComment1.empty() + !m_strComment2.empty() + !m_strComment3.empty();
    }
    bool operator==(const CommentLines&) const = default;
};

// One file or folder found directly in the listed folder. Names are the bytes the directory
// gave (UTF-8 on Linux, possibly invalid). Owned by the document's lists.
struct CFolderEntry {
    std::uint32_t m_dwAttributes = 0;
    std::string m_strName;
    std::string m_strShortName;
    std::uint64_t m_nSize = 0; // a folder: the total of all files at any depth below it
    FileTime m_ftLastWrite = 0;
    CommentLines m_comments;

    bool IsFolder() const { return (m_dwAttributes & kAttrFolder) != 0; }
};

// The scan list takes folders at its head and files at its tail.
using ScanList = std::deque<std::unique_ptr<CFolderEntry>>;
// The listing in its final order; printing reads entry i directly.
using EntryList = std::vector<std::unique_ptr<CFolderEntry>>;
