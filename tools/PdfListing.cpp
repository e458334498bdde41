#include "PdfListing.h"

#include "engine/CatalogriumDoc.h"
#include "engine/ListingOptions.h"
#include "engine/OutputFile.h"
#include "engine/Text.h"
#include "engine/TitlePrompter.h"
#include "print/ListingPrinter.h"
#include "print/PageDriver.h"
#include "tools/Console.h"

#include <QFile>
#include <QGuiApplication>
#include <QPdfWriter>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace {

// Splits "L1|L2|L3" into the three title lines; false, with a message, when there are more
// than three or one is longer than the title box holds.
bool ParseTitleLines(const std::string& text, TitleLines& lines, std::string& error) {
    if (std::count(text.begin(), text.end(), '|') > 2) {
        error = "the title has more than three lines";
        return false;
    }
    std::string rest = text;
    for (int number = 1; number <= 3; ++number) {
        const std::size_t bar = rest.find('|');
        lines.Line(number) = rest.substr(0, bar);
        rest = bar == std::string::npos ? std::string() : rest.substr(bar + 1);
        if (CountChars(lines.Line(number)) > static_cast<std::size_t>(TitleLines::Limit(number))) {
            error = "title line " + std::to_string(number) + " has more than " +
                    std::to_string(TitleLines::Limit(number)) + " characters";
            return false;
        }
    }
    return true;
}

// Answers the title dialog without a window: the given lines, or the proposed ones.
class CFixedTitlePrompter final : public ITitlePrompter {
public:
    explicit CFixedTitlePrompter(const std::optional<TitleLines>& lines) : m_lines(lines) {}

    bool EditTitle(TitleLines& lines) override {
        if (!m_lines)
            return false;
        lines = *m_lines;
        return true;
    }

private:
    std::optional<TitleLines> m_lines;
};

// ctlgrm reports its own failures; the toolkit's warnings (such as one about a missing
// XDG_RUNTIME_DIR) would only clutter standard error. Its errors still show.
void ShowToolkitErrorsOnly(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        Complain(message.toStdString());
}

// A Qt application for the duration of one PDF, unless the program already has one.
class ScopedGuiApplication {
public:
    ScopedGuiApplication() {
        if (QCoreApplication::instance())
            return;
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(ShowToolkitErrorsOnly);
        m_app = std::make_unique<QGuiApplication>(m_argc, m_argv);
    }

private:
    char m_name[7] = "ctlgrm";
    char* m_argv[2] = {m_name, nullptr};
    int m_argc = 1;
    std::unique_ptr<QGuiApplication> m_app;
};

QPageSize PaperSize(const std::string& paper) {
    return QPageSize(paper == "a4" ? QPageSize::A4 : QPageSize::Letter);
}

// Every page of the job, as a PDF written to `device`.
bool RenderPdf(CListingPrinter& printer, int pages, const std::string& paper,
               const std::string& title, QIODevice& device) {
    QPdfWriter writer(&device);
    writer.setCreator("ctlgrm");
    writer.setTitle(QString::fromStdString(title));
    writer.setPageSize(PaperSize(paper));
    writer.setPageMargins(
        QMarginsF(kPdfMarginInches, kPdfMarginInches, kPdfMarginInches, kPdfMarginInches),
        QPageLayout::Inch);
    return RenderPages(printer, writer, 1, pages);
}

// Writes the PDF as every output file is written: into a device or a pipe as it is, through
// a link to its target, a regular file replaced only when complete.
bool SavePdf(CListingPrinter& printer, int pages, const std::string& paper,
             const std::string& title, const std::string& path, std::string& error) {
    COutputFile output(path, NewFilePermissions());
    QFile file;
    bool written = output.Descriptor() >= 0 && file.open(output.Descriptor(), QIODevice::WriteOnly,
                                                         QFileDevice::DontCloseHandle);
    written = written && RenderPdf(printer, pages, paper, title, file) && file.flush() &&
              file.error() == QFileDevice::NoError;
    file.close();
    written = written && output.Commit();
    if (!written)
        error = "cannot write the printed listing to \"" + path + "\": " +
                (output.Error() != 0 ? std::strerror(output.Error())
                                     : file.errorString().toStdString());
    return written;
}

} // namespace

bool IsPdfOutputPath(const std::string& path) {
    constexpr std::string_view kSuffix = ".pdf";
    if (path.size() < kSuffix.size())
        return false;
    return std::equal(
        kSuffix.begin(), kSuffix.end(), path.end() - kSuffix.size(),
        [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

bool WritePdfListing(const CCatalogriumDoc& doc, ListingOptions& options,
                     const PdfSettings& settings, const std::string& path, std::string& error) {
    std::optional<TitleLines> title;
    if (settings.title && !ParseTitleLines(*settings.title, title.emplace(), error))
        return false;
    if (!IsCaseInsertLayout(options.m_nPrintAs))
        options.m_nPrintAs = kPrintStandard;
    if (settings.showComments)
        options.m_bAddComments = 1;

    ScopedGuiApplication app;
    CFixedTitlePrompter prompter(title);
    CListingPrinter printer(doc, options, prompter);
    const int pages = printer.SizeJob(doc.m_strListedFolder);
    printer.BuildPageTable();

    const bool written =
        SavePdf(printer, pages, settings.paper, doc.m_strListedFolder, path, error);
    printer.EndJob();
    return written;
}
