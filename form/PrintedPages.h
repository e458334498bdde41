#pragma once

#include <vector>

class QPrinter;

// The pages a print job sends to `printer`, in order: the range chosen in the print dialog
// (every page of `pageCount` when none was chosen), last page first when asked for, and the
// copies that the printer does not make itself (a PDF file), collated or page by page.
std::vector<int> PrintedPages(const QPrinter& printer, int pageCount);
