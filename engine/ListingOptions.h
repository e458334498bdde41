#pragma once

#include <string>

// Layouts and outputs of "Print as ".
enum PrintAs { kPrintStandard = 0, kPrintToFile = 1, kPrintCD = 2, kPrintZip = 3 };
// True for the CD and Zip layouts, which print panels, two to a sheet.
constexpr bool IsCaseInsertLayout(int printAs) {
    return printAs == kPrintCD || printAs == kPrintZip;
}

// Keys of "Sort by".
enum SortKey {
    kSortUnsorted = 0,
    kSortSize = 1,
    kSortName = 2,
    kSortAttribute = 3,
    kSortExtension = 4,
    kSortTime = 5
};
// Choices of "Files and Folders".
enum FilesAndFolders { kFoldersOnly = 0, kFilesOnly = 1, kFilesAndFolders = 2 };

// Every setting the user makes about a listing. Flags hold 0 or 1; stored values are taken
// as they are, without range checks. One instance lives in the form view (or in ctlgrm).
struct ListingOptions {
    int m_nPrintAs = kPrintCD;
    int m_bAddSize = 1;
    int m_bAddDate = 0;
    int m_bAddAttribute = 0;
    int m_bAddComments = 0;
    int m_bPrintSummary = 1;
    int m_bPrintTitle = 1;
    int m_bTwoColumn = 0;
    int m_bDelimited = 0;
    int m_nSortBy = kSortUnsorted;
    int m_bDescend = 0;
    int m_nFilesAndFolders = kFilesAndFolders;
    int m_bNumberStdLines = 1;
    int m_bNumberCDLines = 0;
    int m_bNumberFileLines = 1;
    std::string m_strFontName = "Arial";
    int m_bNoGrid = 0;
    int m_bSizeInBytes = 0;
    int m_bAutoRefresh = 0;
    int m_bUpperCase = 0;

    bool IsCaseInsert() const { return IsCaseInsertLayout(m_nPrintAs); }
    bool operator==(const ListingOptions&) const = default;
};
