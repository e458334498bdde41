// Listing a catalogued folder again from the catalogue, beside listing the same folder from the
// disk, on SQLite and on a PostgreSQL server started for the run. Goal: under 1 s for a folder
// of 100,000 entries. Times are medians of turns taken in alternation, printed with the load
// average (see BenchReport.h).
//
//   catalogrium_relist_bench [--entries N] [--no-postgres]
//
// The folder: N empty-looking sparse files (sizes spread over 0 to 10 MB) with names as people
// give them, made under $TMPDIR (or /tmp) and removed at the end. Each turn does what
// `ctlgrm -o /dev/null` does with a new profile's settings: the reading (the scan, or the
// catalogue opened and read), the sort and the listing file written to /dev/null. The processor
// time of the turns (all threads of this process; a PostgreSQL server's own not counted) is
// printed too: on a busy machine it tells what the wall-clock time would be on an idle one.

#include "bench/BenchReport.h"
#include "catalogue/Adding.h"
#include "catalogue/CataloguedListing.h"
#include "engine/CatalogriumDoc.h"
#include "engine/ListingOptions.h"
#include "engine/ProgressNote.h"
#include "engine/Prompter.h"
#include "tests/support/PostgresServer.h"

#include <libpq-fe.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 5;
constexpr double kGoalSeconds = 1.0;

struct Options {
    std::size_t entries = 100000;
    bool postgres = true;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--entries" && i + 1 < argc)
            options.entries = std::stoul(argv[++i]);
        else if (arg == "--no-postgres")
            options.postgres = false;
        else
            throw std::runtime_error("usage: catalogrium_relist_bench [--entries N] "
                                     "[--no-postgres]");
    }
    return options;
}

// A flat folder of `entries` files in a new folder below `parent`.
std::string MakeFlatFolder(const std::string& parent, std::size_t entries) {
    std::string folder = parent + "/relist-bench-XXXXXX";
    if (!::mkdtemp(folder.data()))
        throw std::runtime_error("cannot make a folder in " + parent);
    static const char* const words[] = {"Holiday", "report", "IMG_", "Budget 2026", "notes"};
    static const char* const extensions[] = {".jpg", ".txt", ".pdf", ".ods", ""};
    for (std::size_t i = 0; i < entries; ++i) {
        const std::string name =
            folder + "/" + words[i % 5] + std::to_string(i * 7919 % 1000003) + extensions[i % 4];
        const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(i * 104729 % 10000000)) != 0)
            throw std::runtime_error("cannot make " + name);
        ::close(fd);
    }
    return folder;
}

// Sorts the listing and writes its file to /dev/null.
void SortAndWrite(CCatalogriumDoc& doc, const ListingOptions& options) {
    doc.SortEntries(options.m_bDescend != 0, options.m_nSortBy);
    std::ofstream null("/dev/null", std::ios::binary);
    doc.Serialize(null);
    if (!null)
        throw std::runtime_error("cannot write the listing to /dev/null");
}

ListingOptions FileOptions() {
    ListingOptions options;
    options.m_nPrintAs = kPrintToFile;
    return options;
}

void ListLive(const std::string& folder) {
    CSilentPrompter prompter;
    CSilentProgressNote note;
    ListingOptions options = FileOptions();
    CCatalogriumDoc doc(prompter, note);
    doc.SetOptions(&options);
    if (!doc.ScanFolder(folder, options.m_nFilesAndFolders))
        throw std::runtime_error("cannot list " + folder);
    SortAndWrite(doc, options);
}

void ListFromCatalogue(const std::string& location) {
    CSilentPrompter prompter;
    CSilentProgressNote note;
    ListingOptions options = FileOptions();
    CCatalogriumDoc doc(prompter, note);
    doc.SetOptions(&options);
    auto catalogue = OpenCatalogue(location, CatalogueUse::LookUp);
    ListCataloguedFolder(*catalogue, {"Bench", ""}, doc, options.m_nFilesAndFolders);
    if (doc.m_scanList.empty())
        throw std::runtime_error("the catalogued folder is empty");
    SortAndWrite(doc, options);
}

// The processor seconds that `work` takes, on every thread of this process.
double ProcessorSeconds(const std::function<void()>& work) {
    const std::clock_t start = std::clock();
    work();
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

void Measure(const std::string& store, const std::string& location, const std::string& folder,
             std::size_t entries) {
    const std::atomic<bool> stop = false;
    if (AddToCatalogue(*OpenCatalogue(location), "Bench", folder, false, stop) != AddOutcome::Added)
        throw std::runtime_error("cannot add " + folder);
    ListLive(folder); // both warm
    ListFromCatalogue(location);
    GoalMeasure measure("re-listing " + std::to_string(entries) + " entries, " + store);
    std::vector<double> live, relisted, liveProcessor, relistedProcessor;
    for (int round = 0; round < kRounds; ++round) {
        liveProcessor.push_back(
            ProcessorSeconds([&] { live.push_back(Seconds([&] { ListLive(folder); })); }));
        relistedProcessor.push_back(ProcessorSeconds(
            [&] { relisted.push_back(Seconds([&] { ListFromCatalogue(location); })); }));
    }
    const double relist = Median(relisted);
    measure.Report(Fixed(relist * 1000, 0) + " ms (live listing " + Fixed(Median(live) * 1000, 0) +
                       " ms, " + Fixed(relist / Median(live), 2) + " x; processor " +
                       Fixed(Median(relistedProcessor) * 1000, 0) + " ms against " +
                       Fixed(Median(liveProcessor) * 1000, 0) + " ms)",
                   "under 1 s", relist < kGoalSeconds);
}

void CreateDatabase(const std::string& adminUri, const std::string& name) {
    PGconn* conn = PQconnectdb(adminUri.c_str());
    PGresult* result = PQexec(conn, ("CREATE DATABASE " + name).c_str());
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    PQfinish(conn);
    if (!ok)
        throw std::runtime_error("cannot create the database " + name);
}

} // namespace

int main(int argc, char** argv) {
    try {
        const Options options = ParseOptions(argc, argv);
        const std::string parent = std::filesystem::temp_directory_path().string();
        const std::string folder = MakeFlatFolder(parent, options.entries);
        const std::string sqlite = folder + ".sqlite";
        Measure("SQLite", sqlite, folder, options.entries);
        if (options.postgres) {
            PostgresServer server;
            CreateDatabase(server.Uri(), "relist");
            Measure("PostgreSQL", server.Uri("relist"), folder, options.entries);
        }
        PrintGoalSummary();
        std::filesystem::remove_all(folder);
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(sqlite + suffix);
        return EXIT_SUCCESS;
    } catch (const std::exception& error) {
        std::cerr << "catalogrium_relist_bench: " << error.what() << '\n';
        return EXIT_FAILURE;
    }
}
