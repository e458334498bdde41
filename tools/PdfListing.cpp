#include "PdfListing.h"

#include "CatalogriumDoc.h"
#include "ListingOptions.h"
#include "ListingPrinter.h"
#include "PageDriver.h"
#include "Text.h"
#include "TitlePrompter.h"

#include <QGuiApplication>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cctype>
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

// A Qt application for the duration of one PDF, unless the program already has one.
class ScopedGuiApplication {
public:
    ScopedGuiApplication() {
        if (QCoreApplication::instance())
            return;
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
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

    QSaveFile file(QString::fromStdString(path));
    bool written = file.open(QIODevice::WriteOnly);
    if (written) {
        QPdfWriter writer(&file);
        writer.setCreator("ctlgrm");
        writer.setTitle(QString::fromStdString(doc.m_strListedFolder));
        writer.setPageSize(PaperSize(settings.paper));
        writer.setPageMargins(
            QMarginsF(kPdfMarginInches, kPdfMarginInches, kPdfMarginInches, kPdfMarginInches),
            QPageLayout::Inch);
        written = RenderPages(printer, writer, 1, pages);
    }
    written = written && file.commit();
    printer.EndJob();
    if (!written)
        error = "cannot write the printed listing to \"" + path +
                "\": " + file.errorString().toStdString();
    return written;
}
