#include "PageDriver.h"

#include "print/ListingPrinter.h"
#include "print/PainterCanvas.h"

#include <QPagedPaintDevice>
#include <QPainter>

bool RenderPages(CListingPrinter& printer, QPagedPaintDevice& device, int firstPage, int lastPage) {
    std::vector<int> pages;
    for (int page = firstPage; page <= lastPage; ++page)
        pages.push_back(page);
    return RenderPages(printer, device, pages);
}

bool RenderPages(CListingPrinter& printer, QPagedPaintDevice& device,
                 const std::vector<int>& pages) {
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    CPainterCanvas canvas(painter, device);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i > 0 && !device.newPage())
            return false;
        printer.OnPrint(canvas, pages[i]);
    }
    return painter.end();
}
