#include "PageDriver.h"

#include "ListingPrinter.h"
#include "PainterCanvas.h"

#include <QPagedPaintDevice>
#include <QPainter>

bool RenderPages(CListingPrinter& printer, QPagedPaintDevice& device, int firstPage, int lastPage) {
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    CPainterCanvas canvas(painter, device);
    for (int page = firstPage; page <= lastPage; ++page) {
        if (page != firstPage && !device.newPage())
            return false;
        printer.OnPrint(canvas, page);
    }
    return painter.end();
}
