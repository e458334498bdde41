#include "CatalogueCommands.h"

#include "catalogue/Adding.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CataloguedListing.h"
#include "catalogue/Export.h"
#include "catalogue/Import.h"
#include "catalogue/Json.h"
#include "catalogue/VolumeInfo.h"
#include "tools/Console.h"
#include "tools/RecordOutput.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kExitNoMatch = 1;
constexpr int kExitFailure = 1;
constexpr int kExitFindFailure = 2;
constexpr int kExitNoCatalogue = 2;
constexpr int kExitGaveUp = 2;
constexpr int kExitDiffers = 1;
constexpr int kExitDiffFailure = 2;
constexpr std::chrono::seconds kGiveUpAfter{30};

// Says after 3 s whom a call waits for, and gives up after 30 s.
std::unique_ptr<ICatalogue> Open(const CatalogueRequest& request, CatalogueUse use) {
    auto catalogue = OpenCatalogue(
        request.location.empty() ? DefaultCatalogueLocation() : request.location, use);
    CatalogueWaits waits;
    waits.note = [](const std::string& text) { Complain(text); };
    waits.giveUpAfter = kGiveUpAfter;
    catalogue->SetWaits(std::move(waits));
    return catalogue;
}
// YYYY-MM-DD HH:MM:SS in local time.
std::string LocalTimeText(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[32] = "";
    if (::localtime_r(&t, &local))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// One medium as --media prints it.
bool WriteMedium(CRecordWriter& out, const Medium& m) {
    return out.Write({m.name, m.folder, std::to_string(m.files), std::to_string(m.bytes),
                      LocalTimeText(m.added)});
}

// One line of --diff: "+", "-", "~" with the fields that changed, or "!", and the path.
bool WriteChange(CRecordWriter& out, const TreeChange& change) {
    switch (change.kind) {
    case TreeChange::Kind::Added:
        return out.Write({"+", change.path});
    case TreeChange::Kind::Removed:
        return out.Write({"-", change.path});
    case TreeChange::Kind::Changed:
        return out.Write({"~", change.path, ChangedFieldsText(change.fields)});
    case TreeChange::Kind::Content:
        return out.Write({"!", change.path});
    }
    return false;
}

// Whether the medium `name` was added with the hashes of its files; a missing medium is left to
// the comparison to tell.
bool HasChecksums(ICatalogue& catalogue, const std::string& name) {
    const auto media = catalogue.Media();
    const auto medium = std::ranges::find(media, name, &Medium::name);
    return medium == media.end() || medium->checksums;
}

// A found entry as --find prints it: medium, path, size, local time.
bool WriteMatch(CRecordWriter& out, const CatalogueMatch& m) {
    return out.Write({m.medium, m.path, std::to_string(m.size), LocalTimeText(m.modified)});
}

int Report(const CatalogueError& error, int status) {
    Complain(error.what());
    return status;
}

// Runs `call`, which returns its exit status, and tells a catalogue's failure: status 2 when
// there is no catalogue or the wait for it was given up, 1 otherwise.
template <typename Call> int WithCatalogueStatuses(const Call& call) {
    try {
        return call();
    } catch (const NoCatalogueError& error) {
        return Report(error, kExitNoCatalogue);
    } catch (const CatalogueGaveUp& error) {
        return Report(error, kExitGaveUp);
    } catch (const CatalogueError& error) {
        return Report(error, kExitFailure);
    }
}

int OutputFailure(const std::string& what, int error, int status) {
    Complain(StandardOutputFailure(what, error));
    return status;
}

// Prints what `search(catalogue, out, any)` finds, setting `any` when it writes a record: exit
// status 0 when it found any, 1 when none, 2 when the catalogue cannot be read or `what` cannot
// be written.
template <typename Search>
int PrintFound(const CatalogueRequest& request, const std::string& what, const Search& search) {
    try {
        bool any = false;
        CRecordWriter out(STDOUT_FILENO, request.format);
        search(*Open(request, CatalogueUse::LookUp), out, any);
        if (!out.Flush())
            return OutputFailure(what, out.Error(), kExitFindFailure);
        return any ? EXIT_SUCCESS : kExitNoMatch;
    } catch (const CatalogueError& error) {
        return Report(error, kExitFindFailure);
    }
}

} // namespace

int RunFind(const CatalogueRequest& request) {
    FindQuery query;
    query.pattern = request.pattern;
    query.medium = request.medium;
    return PrintFound(request, "the matches",
                      [&](ICatalogue& catalogue, CRecordWriter& out, bool& any) {
                          catalogue.Find(query, [&](const CatalogueMatch& m) {
                              any = true;
                              return WriteMatch(out, m);
                          });
                      });
}

int RunDuplicates(const CatalogueRequest& request) {
    return PrintFound(
        request, "the duplicates", [&](ICatalogue& catalogue, CRecordWriter& out, bool& any) {
            catalogue.Duplicates({request.by, request.media}, [&](const DuplicateGroup& group) {
                any = true;
                out.Write({std::to_string(group.size), std::to_string(group.copies.size())});
                for (const CatalogueMatch& copy : group.copies)
                    out.Write({copy.medium, copy.path});
                return out.Write({});
            });
        });
}

int RunOnlyOnOne(const CatalogueRequest& request) {
    return PrintFound(
        request, "the files", [&](ICatalogue& catalogue, CRecordWriter& out, bool& any) {
            catalogue.OnlyOnOne({request.by, request.media}, [&](const CatalogueMatch& m) {
                any = true;
                return WriteMatch(out, m);
            });
        });
}

int RunMedia(const CatalogueRequest& request) {
    return WithCatalogueStatuses([&] {
        CRecordWriter out(STDOUT_FILENO, request.format);
        for (const auto& m : Open(request, CatalogueUse::LookUp)->Media())
            if (!WriteMedium(out, m))
                break;
        if (!out.Flush())
            return OutputFailure("the media", out.Error(), kExitFailure);
        return EXIT_SUCCESS;
    });
}

int RunWhich(const CatalogueRequest& request) {
    try {
        CRecordWriter out(STDOUT_FILENO, request.format);
        const auto media = MediaListedFrom(*Open(request, CatalogueUse::LookUp), request.folder);
        for (const auto& m : media)
            if (!WriteMedium(out, m))
                break;
        if (!out.Flush())
            return OutputFailure("the media", out.Error(), kExitFindFailure);
        return media.empty() ? kExitNoMatch : EXIT_SUCCESS;
    } catch (const CatalogueError& error) {
        return Report(error, kExitFindFailure);
    }
}

int RunDiff(const CatalogueRequest& request, const std::string& folder) {
    const bool verify = request.action == CatalogueAction::Verify;
    try {
        auto catalogue = Open(request, CatalogueUse::LookUp);
        if (verify && !HasChecksums(*catalogue, request.name)) {
            Complain("the medium \"" + request.name +
                     "\" was added without --checksums: its content cannot be verified");
            return kExitDiffFailure;
        }
        const std::atomic<bool> stop = false;
        const auto found = CompareWithFolder(*catalogue, request.name, folder, verify, stop);
        if (!found) {
            Complain("cannot read " + folder);
            return kExitDiffFailure;
        }
        CRecordWriter out(STDOUT_FILENO, RecordFormat::Escaped);
        for (const TreeChange& change : found->changes)
            if (!WriteChange(out, change))
                break;
        if (!out.Flush())
            return OutputFailure("the differences", out.Error(), kExitDiffFailure);
        return found->changes.empty() ? EXIT_SUCCESS : kExitDiffers;
    } catch (const CatalogueError& error) {
        return Report(error, kExitDiffFailure);
    }
}

int RunForget(const CatalogueRequest& request) {
    return WithCatalogueStatuses([&] {
        if (Open(request, CatalogueUse::Change)->Forget(request.name))
            return EXIT_SUCCESS;
        Complain("no medium named \"" + request.name + "\" in the catalogue");
        return kExitFailure;
    });
}

int RunAdd(const CatalogueRequest& request, const std::string& folder,
           const ListingComments& comments) {
    try {
        const std::atomic<bool> stop = false;
        auto catalogue = Open(request, CatalogueUse::Add);
        AddChoices choices;
        choices.replace = request.replace;
        choices.checksums = request.checksums;
        choices.comments = comments;
        choices.confirmReplace = [&](const ChangeCounts& counts, const auto&) {
            Complain("since the medium replaced was catalogued: " + ChangeCountsText(counts));
            return true;
        };
        switch (AddToCatalogue(*catalogue, request.name, folder, choices, stop)) {
        case AddOutcome::Added:
            return EXIT_SUCCESS;
        case AddOutcome::CannotRead:
            Complain("cannot read " + folder + " to add it");
            return kExitFailure;
        case AddOutcome::Stopped:
            return kExitFailure;
        }
        return kExitFailure;
    } catch (const CatalogueGaveUp& error) {
        return Report(error, kExitGaveUp);
    } catch (const MediumExistsError& error) {
        Complain(std::string(error.what()) + " --replace replaces it.");
        return kExitFailure;
    } catch (const CatalogueError& error) {
        return Report(error, kExitFailure);
    }
}

int ListFromCatalogue(const CatalogueRequest& request, const std::string& folder,
                      CCatalogriumDoc& doc, int filesAndFolders) {
    return WithCatalogueStatuses([&] {
        auto catalogue = Open(request, CatalogueUse::LookUp);
        ListCataloguedFolder(*catalogue, NameCataloguedFolder(*catalogue, folder), doc,
                             filesAndFolders);
        return EXIT_SUCCESS;
    });
}

namespace {

// Standard output's failure is told as such; a file's by ExportToFile.
class StandardOutputFailed : public CatalogueError {
public:
    StandardOutputFailed(ExportFormat format, int error)
        : CatalogueError(StandardOutputFailure(
              format == ExportFormat::Html ? "the HTML page" : "the export", error)) {}
};

ExportFormat FormatOf(ExportChoice choice) {
    return choice == ExportChoice::Json ? ExportFormat::Json : ExportFormat::Csv;
}

void ExportToStandardOutput(ICatalogue& catalogue, const std::vector<Medium>& media,
                            ExportFormat format) {
    WriteExport(catalogue, media, format, [format](std::string_view text) {
        if (const int error = WriteToStandardOutput(text))
            throw StandardOutputFailed(format, error);
    });
}

// The media of --medium (all when none) to `outputPath`, standard output when it is empty.
int ExportMedia(const CatalogueRequest& request, const std::string& outputPath,
                ExportFormat format) {
    return WithCatalogueStatuses([&] {
        auto catalogue = Open(request, CatalogueUse::LookUp);
        const auto media = SelectedMedia(*catalogue, request.media);
        if (outputPath.empty())
            ExportToStandardOutput(*catalogue, media, format);
        else
            ExportToFile(*catalogue, media, format, outputPath);
        return EXIT_SUCCESS;
    });
}

} // namespace

int RunHtml(const CatalogueRequest& request, const std::string& outputPath) {
    return ExportMedia(request, outputPath, ExportFormat::Html);
}

int RunExport(const CatalogueRequest& request, const std::string& outputPath) {
    return ExportMedia(request, outputPath, FormatOf(request.exportFormat));
}

int RunImport(const CatalogueRequest& request) {
    std::ifstream in(request.importPath, std::ios::binary);
    if (!in) {
        Complain("cannot read " + request.importPath + ": " + std::strerror(errno));
        return kExitFailure;
    }
    return WithCatalogueStatuses([&] {
        try {
            ImportMedia(*Open(request, CatalogueUse::Add), in, {request.as, request.replace});
            return EXIT_SUCCESS;
        } catch (const JsonError& error) {
            Complain(request.importPath + ": " + error.what());
            return kExitFailure;
        } catch (const MediumExistsError& error) {
            Complain(std::string(error.what()) + " --replace replaces it.");
            return kExitFailure;
        }
    });
}
