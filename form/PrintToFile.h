#pragma once

#include <string>
#include <vector>

class CListingPrinter;
class QPrinter;

// True when `printer` prints into a file (Print to File) rather than to a printer.
bool PrintsToFile(const QPrinter& printer);

// Prints `pages` of the job into the file that `printer` prints to, written as every output
// file is: into a device or a pipe as it is, through a link to its target, and a regular file
// replaced only once the whole PDF is there, so a failed print keeps the previous file. The
// printer's settings stay as they were. Returns errno of the failure (EIO when the pages
// could not be drawn or the file came out incomplete), or 0.
int PrintToFile(CListingPrinter& job, QPrinter& printer, const std::vector<int>& pages);
