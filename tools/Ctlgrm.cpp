// ctlgrm: the listing file of one folder, made without a window.

#include "engine/CatalogriumDoc.h"
#include "engine/Clock.h"
#include "engine/Profile.h"
#include "engine/Text.h"
#include "tools/CatalogueCommands.h"
#include "tools/CommandLine.h"
#include "tools/Comments.h"
#include "tools/Console.h"
#include "tools/Interrupt.h"
#include "tools/PdfListing.h"

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int UsageError(const std::string& message) {
    Complain(message);
    std::cerr << '\n' << UsageText();
    return kExitUsage;
}

int Failure(const std::string& message) {
    Complain(message);
    return kExitFailure;
}

// The profile's settings with the command line's overrides on top (each was checked when
// the command line was read).
ListingOptions SettingsFor(const CommandLineRequest& request) {
    const std::string path =
        request.profilePath.empty() ? DefaultProfilePath() : request.profilePath;
    ListingOptions options;
    if (std::string error; !LoadListingOptions(path, options, error))
        Complain(error);
    for (const auto& o : request.overrides)
        ApplyProfileSetting(options, o.key, o.value);
    return options;
}

// The progress of the scan and the sort on standard error when it is a terminal.
std::unique_ptr<IProgressNote> MakeProgressNote() {
    if (::isatty(STDERR_FILENO))
        return std::make_unique<CTerminalProgressNote>(std::cerr, TerminalColumns(STDERR_FILENO));
    return std::make_unique<CSilentProgressNote>();
}

// A relative FOLDER is taken from the current folder, as everywhere on the command line; the
// folder check then sees an absolute path. "." and empty parts name nothing new and go; ".."
// stays for the kernel, which reads "L/.." as the parent of the folder that the link L leads
// to. Empty and blank arguments stay as they are.
std::string FolderToCheck(const std::string& argument) {
    std::string trimmed = TrimWhiteSpace(argument);
    if (trimmed.empty() || trimmed.front() == '/' || trimmed.front() == '~')
        return argument;
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::current_path(ec);
    if (ec)
        return argument;
    for (const auto& part : std::filesystem::path(trimmed))
        if (!part.empty() && part != ".")
            folder /= part;
    return folder.string();
}

// The listing still shows what is known of such entries, and the run goes on: a script that
// lists such a folder keeps working.
void WarnOfUnexaminedEntries(const UnexaminedEntries& unexamined) {
    if (unexamined.count > 0)
        Complain("warning: " + DescribeUnexamined(unexamined));
}

bool ReadListing(CCatalogriumDoc& doc, std::string folder, const ListingOptions& options) {
    if (!doc.ValidateFolderName(folder) || !doc.ScanFolder(folder, options.m_nFilesAndFolders))
        return false;
    WarnOfUnexaminedEntries(doc.m_unexamined);
    doc.SortEntries(options.m_bDescend != 0, options.m_nSortBy);
    return true;
}

// The catalogued folder as it was read when its medium was added, sorted as a scan is.
int ReadCataloguedListing(CCatalogriumDoc& doc, const CommandLineRequest& request,
                          const ListingOptions& options) {
    if (const int status = ListFromCatalogue(request.catalogue, *request.fromCatalogue, doc,
                                             options.m_nFilesAndFolders))
        return status;
    doc.SortEntries(options.m_bDescend != 0, options.m_nSortBy);
    return EXIT_SUCCESS;
}

bool ReadComments(const CommandLineRequest& request, std::vector<EntryComments>& comments,
                  std::string& error) {
    return request.commentsPath.empty() || ReadCommentsFile(request.commentsPath, comments, error);
}

void AddComments(CCatalogriumDoc& doc, const std::vector<EntryComments>& comments,
                 const ListingOptions& options) {
    for (const auto& name : AttachComments(doc.m_entryList, comments, options.m_bUpperCase != 0))
        Complain("no entry named \"" + name + "\" for its comments");
}

bool WriteListingFile(const CCatalogriumDoc& doc, const std::string& path, std::string& error) {
    if (!path.empty())
        return doc.SaveListingFile(path, error);
    doc.Serialize(std::cout);
    std::cout.flush();
    if (!std::cout) {
        error = StandardOutputFailure("the listing", errno);
        return false;
    }
    return true;
}

// The listing file is the "To File" output whatever layout the profile last printed, so its
// sizes follow "Add Size in Bytes" alone.
bool WriteListing(CCatalogriumDoc& doc, ListingOptions& options, const CommandLineRequest& request,
                  std::string& error) {
    if (IsPdfOutputPath(request.outputPath))
        return WritePdfListing(doc, options,
                               {request.paper, request.title, !request.commentsPath.empty()},
                               request.outputPath, error);
    ListingOptions fileOptions = options;
    fileOptions.m_nPrintAs = kPrintToFile;
    doc.SetOptions(&fileOptions);
    const bool written = WriteListingFile(doc, request.outputPath, error);
    doc.SetOptions(&options);
    return written;
}

int Run(const CommandLineRequest& request) {
    std::string error;
    // "Now" of a reproducible listing must be a date, never the clock in its place.
    if (std::optional<std::time_t> now; !ReadSourceDateEpoch(now, error)) {
        Complain(error);
        return kExitUsage;
    }
    ListingOptions options = SettingsFor(request);
    std::vector<EntryComments> comments;
    if (!ReadComments(request, comments, error))
        return Failure(error);
    CStreamPrompter prompter(std::cerr);
    auto progress = MakeProgressNote();
    CCatalogriumDoc doc(prompter, *progress);
    doc.SetOptions(&options);
    if (request.fromCatalogue) {
        if (const int status = ReadCataloguedListing(doc, request, options))
            return status;
    } else if (!ReadListing(doc, FolderToCheck(request.folder), options)) {
        return kExitFailure;
    }
    AddComments(doc, comments, options);
    // The listing is written once the medium is in the catalogue, never before: an add that
    // fails or is interrupted leaves both as they were.
    if (request.catalogue.action == CatalogueAction::Add) {
        if (const int status = RunAdd(request.catalogue, doc.m_strListedFolder,
                                      {CommentsOf(doc.m_entryList), options.m_bUpperCase != 0}))
            return status;
        IgnoreInterrupts();
    }
    if (!WriteListing(doc, options, request, error))
        return Failure(error);
    return EXIT_SUCCESS;
}

// The catalogue actions that list nothing.
int RunCatalogue(const CommandLineRequest& commandLine) {
    const CatalogueRequest& request = commandLine.catalogue;
    switch (request.action) {
    case CatalogueAction::Find:
        return RunFind(request);
    case CatalogueAction::Media:
        return RunMedia(request);
    case CatalogueAction::Forget:
        return RunForget(request);
    case CatalogueAction::Duplicates:
        return RunDuplicates(request);
    case CatalogueAction::OnlyOnOne:
        return RunOnlyOnOne(request);
    case CatalogueAction::Html:
        return RunHtml(request, commandLine.outputPath);
    case CatalogueAction::Which:
        return RunWhich(request);
    case CatalogueAction::Diff:
    case CatalogueAction::Verify:
        return RunDiff(request, commandLine.folder);
    case CatalogueAction::Export:
        return RunExport(request, commandLine.outputPath);
    case CatalogueAction::Import:
        return RunImport(request);
    case CatalogueAction::None:
    case CatalogueAction::Add:
        break;
    }
    return EXIT_FAILURE;
}

} // namespace

int main(int argc, char** argv) {
    InstallInterruptHandler();
    std::ios::sync_with_stdio(false);
    std::string error;
    auto request = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!request)
        return UsageError(error);
    if (request->showHelp) {
        if (const int failure = WriteToStandardOutput(UsageText()))
            return Failure(StandardOutputFailure("the usage", failure));
        return EXIT_SUCCESS;
    }
    const CatalogueAction action = request->catalogue.action;
    if (action == CatalogueAction::None || action == CatalogueAction::Add)
        return Run(*request);
    return RunCatalogue(*request);
}
