#pragma once

#include <vector>

class CListingPrinter;
class QPagedPaintDevice;

// Draws pages `firstPage` to `lastPage` of the printer's current job onto a printer or PDF
// writer, one page or sheet per device page, at true size from the corner of the printable
// area (for a PDF writer, the corner of its page margins). Returns false when the device
// cannot be painted on.
bool RenderPages(CListingPrinter& printer, QPagedPaintDevice& device, int firstPage, int lastPage);
// Draws the pages listed in `pages` (1-based) in that order, one per device page; a page may
// come more than once (copies the device does not make itself).
bool RenderPages(CListingPrinter& printer, QPagedPaintDevice& device,
                 const std::vector<int>& pages);
