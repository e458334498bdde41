#pragma once

#include <optional>
#include <string>

class CCatalogriumDoc;
struct ListingOptions;

// How ctlgrm prints a listing into a PDF file.
struct PdfSettings {
    // "letter" or "a4".
    std::string paper = "letter";
    // Title lines "L1|L2|L3" replacing the proposed ones (folder path, date); at most 19, 21
    // and 21 characters, as the title box holds.
    std::optional<std::string> title;
    // Comments were attached from a file: print them under their entries.
    bool showComments = false;
};

// The margins of the PDF page, in inches on every side: the corner of the margins is the
// printable-area corner from which the printed listing measures its positions.
inline constexpr double kPdfMarginInches = 0.25;

// True when the output file name asks for the printed listing (it ends in ".pdf", in any
// case).
bool IsPdfOutputPath(const std::string& path);

// Prints the document's listing into the PDF file at `path`, every page of the job, in the
// layout of `options` (the document's options; "Print as " 2 CD, 3 Zip, anything else
// Standard, which the options then hold). Runs without a window (a Qt application on the
// offscreen platform when none is chosen). The file is replaced only when complete; on
// failure returns false with a message in `error`, leaving an earlier file as it was.
bool WritePdfListing(const CCatalogriumDoc& doc, ListingOptions& options,
                     const PdfSettings& settings, const std::string& path, std::string& error);
