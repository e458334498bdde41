#include "PrintToFile.h"

#include "engine/OutputFile.h"
#include "print/PageDriver.h"

#include <QPrinter>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A PDF ends with its end-of-file marker, followed at most by a line end.
bool EndsAsAPdf(int fd) {
    constexpr std::string_view kMarker = "%%EOF";
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kMarker.size()))
        return false;
    char tail[8] = {};
    const off_t length = std::min<off_t>(st.st_size, sizeof tail);
    if (::pread(fd, tail, static_cast<std::size_t>(length), st.st_size - length) != length)
        return false;
    std::string_view text(tail, static_cast<std::size_t>(length));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text.ends_with(kMarker);
}

} // namespace

bool PrintsToFile(const QPrinter& printer) {
    return !printer.outputFileName().isEmpty();
}

// The printer writes to the open output through its /proc name, which ends in no ".pdf" and
// so leaves the output format alone.
int PrintToFile(CListingPrinter& job, QPrinter& printer, const std::vector<int>& pages) {
    const QString fileName = printer.outputFileName();
    COutputFile output(fileName.toStdString(), NewFilePermissions());
    if (output.Descriptor() < 0)
        return output.Error();
    printer.setOutputFileName(QString::fromStdString(output.DescriptorPath()));
    const bool printed = RenderPages(job, printer, pages);
    printer.setOutputFileName(fileName);
    if (!printed || (output.ReplacesFile() && !EndsAsAPdf(output.Descriptor())))
        return EIO;
    return output.Commit() ? 0 : output.Error();
}
