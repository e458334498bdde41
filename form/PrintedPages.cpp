#include "PrintedPages.h"

#include <QPrinter>

#include <algorithm>

namespace {

std::vector<int> ChosenRange(const QPrinter& printer, int pageCount) {
    const bool range = printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0;
    const int first = range ? printer.fromPage() : 1;
    const int last = range ? std::min(printer.toPage(), pageCount) : pageCount;
    std::vector<int> pages;
    for (int page = first; page <= last; ++page)
        pages.push_back(page);
    if (printer.pageOrder() == QPrinter::LastPageFirst)
        std::reverse(pages.begin(), pages.end());
    return pages;
}

} // namespace

std::vector<int> PrintedPages(const QPrinter& printer, int pageCount) {
    const std::vector<int> range = ChosenRange(printer, pageCount);
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    std::vector<int> pages;
    if (printer.collateCopies()) {
        for (int copy = 0; copy < copies; ++copy)
            pages.insert(pages.end(), range.begin(), range.end());
    } else {
        for (int page : range)
            pages.insert(pages.end(), copies, page);
    }
    return pages;
}
