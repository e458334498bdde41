// Measures the catalogue against its goals, on SQLite and on a PostgreSQL server started for
// the run. Each figure is printed beside its goal (GOAL lines, and a table of them all at the
// end) with the one-minute load average at the start and at the end of its measure, and a line
// more when either was above 1. Times are medians, never bests.
//
//   catalogrium_catalogue_bench [--files N] [--media N] [--no-postgres]
//                               [--postgres-settings SETTINGS]
//                               [--only add,memory,size,search,cancel,diff,hash,copies]
//                               [--keep-catalogue DIR]
//
// The tree: N files (200,000 by default) in folders six levels deep, a folder for every 20 files
// (10,005 folders for 200,000), named as people name files (bench/BenchTree). The big
// catalogue: that tree added as --media media (50 by default: 10,500,200 entries).
//
//   add     adding the tree to an empty catalogue (opening it, AddToCatalogue, closing it)
//           beside listing it as `ctlgrm -o /dev/null` does (scan, sort, listing file written
//           to /dev/null), in turns, 5 of each: at most 2 x the listing.
//   memory  the peak resident memory (VmHWM) of a process that adds the big catalogue's last
//           medium, beside one that only walks the tree (WalkTree): under 64 MiB.
//   size    the big SQLite catalogue's file and its -wal, closed, per entry: at most 100 bytes.
//   search  over the big catalogue, in the Find window's default order: 25 patterns of three
//           characters drawn evenly from those in the tree's names, every match collected:
//           median under 100 ms (SQLite), 150 ms (PostgreSQL); the Find window's query (limit
//           100,001) of those and of 12 one- and two-character patterns until the 100th match
//           reaches the callback: median under 50 ms; the window's query of the one- and
//           two-character patterns to its end: median under 1 s.
//   diff    what changed (CompareWithFolder, as ctlgrm --diff) between the tree added to an
//           empty catalogue and a copy of it with 1 % of its files changed (grown, retimed,
//           removed, a new file beside), beside listing that copy, in turns, 5 of each: at most
//           2 x the listing.
//   hash    reading every file of a tree of the same shape holding data (0 to 16 KiB a file)
//           for the hashes of an add with checksums (WalkTree with hashes), beside `cat` of
//           every file (find | xargs cat), the page cache dropped before each, 3 of each: at
//           least 0.8 x the speed of cat. Measured warm for both when the cache cannot be
//           dropped (not root), and said so.
//   cancel  the window's query of a broad pattern ("e") interrupted through
//           ICatalogue::Interrupt from another thread at 7 points spread over the first half of
//           its course: median time from Interrupt to the call's end under 50 ms.
//   copies  over a catalogue of the tree added as 5 media (1,050,025 entries, every file held
//           5 times): the duplicates by name and size of every medium, and the files of one
//           medium that no other holds, 3 times each: median under 3 s.
//
// The PostgreSQL server runs with Debian's default settings, unless --postgres-settings gives
// others (postgres options, as "-c shared_buffers=6GB"): its figures are then labelled with them,
// and the big catalogue is read into the server's buffers (pg_prewarm) before it is searched, as
// a server that has served it for a while holds it.
//
// Everything is made under $TMPDIR (or /tmp) and removed at the end, unless --keep-catalogue
// DIR is given: the tree, the big SQLite catalogue and the PostgreSQL server's data are then
// kept in DIR (one tree and catalogue per file count), and a later run adds only the media
// they lack.

#include "bench/BenchReport.h"
#include "bench/BenchTree.h"
#include "catalogue/Adding.h"
#include "engine/CatalogriumDoc.h"
#include "engine/ListingOptions.h"
#include "engine/ProgressNote.h"
#include "engine/Prompter.h"
#include "engine/TreeWalk.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/RunCommand.h"

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAddRounds = 5;
constexpr std::size_t kThreeCharacterPatterns = 25;
constexpr std::size_t kShortPatterns = 12;
constexpr int kCancelRounds = 7;
constexpr std::size_t kCopiesMedia = 5;
constexpr int kCopiesRounds = 3;
// An interrupted search that takes longer than this to end has missed its goal by far; the
// rounds stop there rather than keep the run waiting.
constexpr double kHopelessCancelSeconds = 5;
// The Find window shows 100,000 matches and asks for one more to know that there are others.
constexpr std::size_t kWindowLimit = 100001;
constexpr std::size_t kFirstScreen = 100;
constexpr double kMiB = 1024.0 * 1024.0;

enum Measure : unsigned {
    kAdd = 1,
    kMemory = 2,
    kSize = 4,
    kSearch = 8,
    kCancel = 16,
    kDiff = 32,
    kHash = 64,
    kCopies = 128
};

struct Options {
    std::size_t files = 200000;
    std::size_t media = 50;
    bool postgres = true;
    unsigned measures = kAdd | kMemory | kSize | kSearch | kCancel | kDiff | kHash | kCopies;
    std::string kept;
    std::string postgresSettings; // none: Debian's defaults

    bool Wants(unsigned measure) const { return (measures & measure) != 0; }
};

std::string Grouped(std::uint64_t number) {
    std::string text = std::to_string(number);
    for (std::size_t at = text.size(); at > 3; at -= 3)
        text.insert(at - 3, ",");
    return text;
}

std::string Milliseconds(double seconds) {
    return Fixed(seconds * 1000, seconds < 0.01 ? 2 : 0) + " ms";
}

// ---- listing and adding ----------------------------------------------------------------

// What `ctlgrm -o /dev/null FOLDER` does with a new profile's settings.
void ListTree(const std::string& tree) {
    CSilentPrompter prompter;
    CSilentProgressNote note;
    ListingOptions options;
    options.m_nPrintAs = kPrintToFile;
    CCatalogriumDoc doc(prompter, note);
    doc.SetOptions(&options);
    std::string folder = tree;
    if (!doc.ValidateFolderName(folder) || !doc.ScanFolder(folder, options.m_nFilesAndFolders))
        throw std::runtime_error("cannot list " + tree);
    doc.SortEntries(options.m_bDescend != 0, options.m_nSortBy);
    std::ofstream null("/dev/null", std::ios::binary);
    doc.Serialize(null);
    if (!null)
        throw std::runtime_error("cannot write the listing to /dev/null");
}

// Opens the catalogue, adds the tree as a medium and closes it.
void AddTree(const std::string& location, const std::string& name, const std::string& tree,
             bool replace) {
    const std::atomic<bool> stop = false;
    auto catalogue = OpenCatalogue(location);
    if (AddToCatalogue(*catalogue, name, tree, replace, stop) != AddOutcome::Added)
        throw std::runtime_error("cannot add " + tree);
}

// ---- where the catalogues live -----------------------------------------------------------

// The catalogues of one store: empty ones made for a measure and dropped after it, and the
// big one, kept across runs with --keep-catalogue.
class BenchStore {
public:
    virtual ~BenchStore() = default;
    virtual std::string Label() const = 0;
    virtual std::string MakeEmpty() = 0;
    // Drops the catalogue that MakeEmpty made last.
    virtual void DropEmpty() = 0;
    virtual std::string Big() = 0;
    // The catalogue of the tree added kCopiesMedia times, kept like the big one.
    virtual std::string Copies() = 0;
    // The bytes of the big catalogue's files; none for a store without files of its own.
    virtual std::optional<std::uintmax_t> BigBytes() const = 0;
    virtual double SearchGoalSeconds() const = 0;
    // Brings the big catalogue into the server's memory, for a store that has one of its own.
    virtual void Warm() {}
};

std::uintmax_t SizeIfAny(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

class SqliteStore final : public BenchStore {
public:
    SqliteStore(std::string scratch, std::string bigFolder, std::size_t files)
        : m_scratch(std::move(scratch)),
          m_big(bigFolder + "/catalogue-" + std::to_string(files) + ".sqlite"),
          m_copies(bigFolder + "/copies-" + std::to_string(files) + ".sqlite") {}

    std::string Label() const override { return "SQLite"; }
    std::string MakeEmpty() override { return m_scratch + "/empty.sqlite"; }
    void DropEmpty() override {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            std::filesystem::remove(MakeEmpty() + suffix);
    }
    std::string Big() override { return m_big; }
    std::string Copies() override { return m_copies; }
    // Closed, the file holds everything; a -wal left beside it counts too.
    std::optional<std::uintmax_t> BigBytes() const override {
        return SizeIfAny(m_big) + SizeIfAny(m_big + "-wal");
    }
    double SearchGoalSeconds() const override { return 0.100; }

private:
    std::string m_scratch;
    std::string m_big;
    std::string m_copies;
};

class PostgresStore final : public BenchStore {
public:
    // The server's data kept in `keptFolder` when given; `settings` (postgres options), none for
    // Debian's defaults.
    PostgresStore(const std::string& keptFolder, std::size_t files, const std::string& settings)
        : m_server(settings, keptFolder), m_settings(settings),
          m_bigName("catalogue_" + std::to_string(files)),
          m_copiesName("copies_" + std::to_string(files)) {}

    std::string Label() const override {
        return m_settings.empty() ? "PostgreSQL" : "PostgreSQL (" + m_settings + ")";
    }
    std::string MakeEmpty() override {
        Execute("CREATE DATABASE empty");
        return m_server.Uri("empty");
    }
    void DropEmpty() override { Execute("DROP DATABASE empty"); }
    std::string Big() override { return Database(m_bigName); }
    std::string Copies() override { return Database(m_copiesName); }
    std::optional<std::uintmax_t> BigBytes() const override { return std::nullopt; }
    double SearchGoalSeconds() const override { return 0.150; }
    // With settings of its own, the server is taken to have served the catalogue for a while.
    void Warm() override {
        if (m_settings.empty())
            return;
        const std::string big = Big();
        ExecuteIn(big, "CREATE EXTENSION IF NOT EXISTS pg_prewarm");
        // The name index's lists and the folder links lie in the tables' TOAST tables.
        ExecuteIn(big, "SELECT sum(pg_prewarm(oid)) FROM pg_class WHERE relnamespace IN "
                       "('public'::regnamespace, 'pg_toast'::regnamespace) AND relkind IN ('r', "
                       "'i', 't')");
        ExecuteIn(big, "DROP EXTENSION pg_prewarm");
    }

private:
    // Runs `sql` in the server's postgres database and returns the first value of its answer.
    std::string Execute(const std::string& sql) const { return ExecuteIn(m_server.Uri(), sql); }
    std::string ExecuteIn(const std::string& uri, const std::string& sql) const {
        PGconn* conn = PQconnectdb(uri.c_str());
        PGresult* result = PQexec(conn, sql.c_str());
        const bool ok =
            PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
        const std::string value = ok && PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
        const std::string error = PQerrorMessage(conn);
        PQclear(result);
        PQfinish(conn);
        if (!ok)
            throw std::runtime_error(sql + ": " + error);
        return value;
    }
    // The URI of the database, made when missing.
    std::string Database(const std::string& name) {
        if (!Exists(name))
            Execute("CREATE DATABASE " + name);
        return m_server.Uri(name);
    }
    bool Exists(const std::string& database) const {
        return Execute("SELECT count(*) FROM pg_database WHERE datname = '" + database + "'") ==
               "1";
    }

    PostgresServer m_server;
    std::string m_settings;
    std::string m_bigName;
    std::string m_copiesName;
};

// ---- the measures ------------------------------------------------------------------------

// The listing and the add in turns, each going first in every other round.
void MeasureAdd(BenchStore& store, const std::string& tree) {
    GoalMeasure measure(store.Label() + ": adding the tree beside listing it");
    ListTree(tree);
    std::vector<double> listings, adds;
    for (int round = 0; round < kAddRounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((round + turn) % 2 == 0) {
                listings.push_back(Seconds([&] { ListTree(tree); }));
                continue;
            }
            const std::string location = store.MakeEmpty();
            adds.push_back(Seconds([&] { AddTree(location, "Tree", tree, false); }));
            store.DropEmpty();
        }
    }
    const double add = Median(adds), listing = Median(listings);
    measure.Report(Fixed(add / listing, 2) + " x (add " + Milliseconds(add) + ", listing " +
                       Milliseconds(listing) + ", medians of " + std::to_string(kAddRounds) + ")",
                   "<= 2 x", add <= 2 * listing);
}

// Runs this program again with `args` and returns the number it prints.
long RunChild(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/proc/self/exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    const CommandResult child = RunCommand(argv);
    if (child.status != 0 || child.out.empty())
        throw std::runtime_error("the child process " + args.front() + " failed");
    return std::stol(child.out);
}

std::string MediumName(std::size_t number) {
    return "Tree " + std::to_string(number);
}

void MeasureAddMemory(const std::string& label, const std::string& location,
                      const std::string& tree, std::size_t medium, bool replace) {
    GoalMeasure measure(label + ": peak memory of adding medium " + std::to_string(medium) +
                        (replace ? " again" : ""));
    const double walk = static_cast<double>(RunChild({"--child-walk", tree})) * 1024;
    const double add = static_cast<double>(RunChild({"--child-add", location, MediumName(medium),
                                                     tree, replace ? "replace" : "new"})) *
                       1024;
    measure.Report(Fixed(add / kMiB, 1) + " MiB (a walk alone: " + Fixed(walk / kMiB, 1) + " MiB)",
                   "< 64 MiB", add < 64 * kMiB);
}

// Adds the media that the big catalogue lacks; the last one in a child process that measures
// its memory when asked (adding it again when it is there already).
void FillBigCatalogue(BenchStore& store, const std::string& tree, const Options& options) {
    const std::string location = store.Big();
    std::set<std::string> present;
    for (const auto& medium : OpenCatalogue(location)->Media())
        present.insert(medium.name);
    for (std::size_t number = 1; number < options.media; ++number) {
        if (present.count(MediumName(number)))
            continue;
        std::cerr << store.Label() << ": adding medium " << number << " of " << options.media
                  << '\n';
        AddTree(location, MediumName(number), tree, false);
    }
    const bool lastPresent = present.count(MediumName(options.media)) != 0;
    if (options.Wants(kMemory))
        MeasureAddMemory(store.Label(), location, tree, options.media, lastPresent);
    else if (!lastPresent)
        AddTree(location, MediumName(options.media), tree, false);
}

std::uint64_t EntriesOf(ICatalogue& catalogue) {
    std::uint64_t entries = 0;
    for (const auto& medium : catalogue.Media())
        entries += static_cast<std::uint64_t>(medium.files + medium.folders);
    return entries;
}

void MeasureSize(BenchStore& store, std::uint64_t entries) {
    const auto bytes = store.BigBytes();
    if (!bytes)
        return;
    GoalMeasure measure(store.Label() + ": file per entry");
    const double perEntry = static_cast<double>(*bytes) / static_cast<double>(entries);
    measure.Report(Fixed(perEntry, 1) + " bytes (" + Grouped(*bytes) + " bytes for " +
                       Grouped(entries) + " entries)",
                   "<= 100 bytes", perEntry <= 100);
}

// Patterns drawn with a fixed seed from the names in the tree.
struct SearchPatterns {
    std::vector<std::string> three;  // evenly among the distinct three-character strings
    std::vector<std::string> short_; // one and two characters of random names
};

std::string Lowered(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

SearchPatterns DrawPatterns(const std::string& tree) {
    std::vector<std::string> names;
    std::set<std::string> trigrams;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        names.push_back(Lowered(entry.path().filename().string()));
        for (std::size_t at = 0; at + 3 <= names.back().size(); ++at)
            trigrams.insert(names.back().substr(at, 3));
    }
    const std::vector<std::string> distinct(trigrams.begin(), trigrams.end());
    std::mt19937 random(20261208);
    SearchPatterns patterns;
    std::uniform_int_distribution<std::size_t> anyTrigram(0, distinct.size() - 1);
    for (std::size_t i = 0; i < kThreeCharacterPatterns; ++i)
        patterns.three.push_back(distinct[anyTrigram(random)]);
    std::uniform_int_distribution<std::size_t> anyName(0, names.size() - 1);
    for (std::size_t i = 0; i < kShortPatterns; ++i) {
        const std::string& name = names[anyName(random)];
        const std::size_t length = 1 + i % 2;
        std::uniform_int_distribution<std::size_t> at(0, name.size() - length);
        patterns.short_.push_back(name.substr(at(random), length));
    }
    return patterns;
}

FindQuery WindowQuery(const std::string& pattern) {
    FindQuery query;
    query.pattern = pattern;
    query.limit = kWindowLimit;
    return query;
}

// The seconds of one search to its end, and its matches.
double TimeWholeSearch(ICatalogue& catalogue, const FindQuery& query, std::size_t& matches) {
    matches = 0;
    return Seconds([&] {
        catalogue.Find(query, [&](const CatalogueMatch&) {
            ++matches;
            return true;
        });
    });
}

// The seconds until the 100th match reaches the callback (or the search ends before it).
double TimeFirstScreen(ICatalogue& catalogue, const std::string& pattern) {
    std::size_t matches = 0;
    const auto start = Clock::now();
    auto reached = start;
    catalogue.Find(WindowQuery(pattern), [&](const CatalogueMatch&) {
        if (++matches < kFirstScreen)
            return true;
        reached = Clock::now();
        return false;
    });
    if (matches < kFirstScreen)
        reached = Clock::now();
    return std::chrono::duration<double>(reached - start).count();
}

void MeasureEveryMatch(ICatalogue& catalogue, const std::string& label, const std::string& names,
                       const std::vector<std::string>& patterns, double goal) {
    GoalMeasure measure(label + ": three characters over " + names + " names, every match");
    std::vector<double> times, counts;
    for (const auto& pattern : patterns) {
        FindQuery query;
        query.pattern = pattern;
        std::size_t matches = 0;
        times.push_back(TimeWholeSearch(catalogue, query, matches));
        counts.push_back(static_cast<double>(matches));
    }
    const double median = Median(times);
    measure.Report(Milliseconds(median) + " (median of " + std::to_string(patterns.size()) +
                       ", slowest " + Milliseconds(*std::max_element(times.begin(), times.end())) +
                       "; median " + Grouped(static_cast<std::uint64_t>(Median(counts))) +
                       " matches)",
                   "< " + Milliseconds(goal), median < goal);
}

void MeasureFirstScreen(ICatalogue& catalogue, const std::string& label,
                        const SearchPatterns& patterns) {
    GoalMeasure measure(label + ": the first 100 matches as the Find window asks");
    std::vector<double> times;
    for (const auto* set : {&patterns.three, &patterns.short_})
        for (const auto& pattern : *set)
            times.push_back(TimeFirstScreen(catalogue, pattern));
    const double median = Median(times);
    measure.Report(Milliseconds(median) + " (median of " + std::to_string(times.size()) +
                       " patterns of 1 to 3 characters, slowest " +
                       Milliseconds(*std::max_element(times.begin(), times.end())) + ")",
                   "< 50 ms", median < 0.050);
}

void MeasureShortPatterns(ICatalogue& catalogue, const std::string& label,
                          const std::vector<std::string>& patterns) {
    GoalMeasure measure(label + ": one or two characters as the Find window asks, to the end");
    std::vector<double> times;
    for (const auto& pattern : patterns) {
        std::size_t matches = 0;
        times.push_back(TimeWholeSearch(catalogue, WindowQuery(pattern), matches));
    }
    const double median = Median(times);
    measure.Report(Milliseconds(median) + " (median of " + std::to_string(patterns.size()) +
                       ", slowest " + Milliseconds(*std::max_element(times.begin(), times.end())) +
                       ")",
                   "< 1 s", median < 1.0);
}

void MeasureSearches(ICatalogue& catalogue, const std::string& label, std::uint64_t entries,
                     const SearchPatterns& patterns, double goal) {
    const std::string names = Grouped(entries);
    std::size_t warm = 0;
    TimeWholeSearch(catalogue, WindowQuery(patterns.three.front()), warm);
    MeasureEveryMatch(catalogue, label, names, patterns.three, goal);
    MeasureFirstScreen(catalogue, label, patterns);
    MeasureShortPatterns(catalogue, label, patterns.short_);
}

// One search interrupted `delay` after it began: the seconds from Interrupt to the end of the
// call, or none when the search had ended before.
std::optional<double> InterruptOnce(ICatalogue& catalogue, const FindQuery& query,
                                    std::chrono::duration<double> delay) {
    bool interrupted = false;
    Clock::time_point ended;
    const auto begun = Clock::now();
    std::thread search([&] {
        try {
            catalogue.Find(query, [](const CatalogueMatch&) { return true; });
        } catch (const CatalogueInterrupted&) {
            interrupted = true;
        }
        ended = Clock::now();
    });
    std::this_thread::sleep_until(begun + delay);
    const auto asked = Clock::now();
    catalogue.Interrupt();
    search.join();
    if (interrupted)
        return std::chrono::duration<double>(ended - asked).count();
    // The interrupt stops the next call instead: that call is this one.
    try {
        catalogue.Media();
    } catch (const CatalogueInterrupted&) {
    }
    return std::nullopt;
}

void MeasureCancel(ICatalogue& catalogue, const std::string& label) {
    GoalMeasure measure(label + ": a broad search interrupted from another thread");
    const FindQuery query = WindowQuery("e");
    std::size_t matches = 0;
    const double whole = TimeWholeSearch(catalogue, query, matches);
    std::vector<double> times;
    for (int round = 1; round <= kCancelRounds; ++round) {
        const auto delay = std::chrono::duration<double>(whole * round / (2 * (kCancelRounds + 1)));
        if (const auto time = InterruptOnce(catalogue, query, delay))
            times.push_back(*time);
        if (!times.empty() && times.back() > kHopelessCancelSeconds)
            break;
    }
    const double median = Median(times);
    measure.Report(Milliseconds(median) + " (median of " + std::to_string(times.size()) +
                       " searches interrupted in the first half of their " + Milliseconds(whole) +
                       ")",
                   "< 50 ms", !times.empty() && median < 0.050);
}

// ---- what changed, and the content --------------------------------------------------------

// A copy of `tree` (times kept, files as sparse as they are) with one file in a hundred
// changed: in turns, one grows by a byte, one is written an hour earlier, one goes, one gets a
// new file beside it. The number of files changed.
std::size_t CopyChangingOnePercent(const std::string& tree, const std::string& copy) {
    if (RunCommand({"cp", "-a", "--sparse=always", tree, copy}).status != 0)
        throw std::runtime_error("cannot copy " + tree);
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(copy))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < files.size(); i += 100, ++changed) {
        const auto& file = files[i];
        switch (changed % 4) {
        case 0:
            std::filesystem::resize_file(file, std::filesystem::file_size(file) + 1);
            break;
        case 1:
            std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) -
                                                       std::chrono::hours(1));
            break;
        case 2:
            std::filesystem::remove(file);
            break;
        default:
            std::ofstream(file.string() + ".new") << "new";
        }
    }
    return changed;
}

// The tree added, then compared with its changed copy, beside listing the copy, in turns.
void MeasureDiff(BenchStore& store, const std::string& tree, const std::string& changedCopy) {
    GoalMeasure measure(store.Label() + ": what changed (1 % of the files) beside listing");
    const std::string location = store.MakeEmpty();
    AddTree(location, "Tree", tree, false);
    auto catalogue = OpenCatalogue(location, CatalogueUse::LookUp);
    std::size_t differences = 0;
    const auto compare = [&] {
        const std::atomic<bool> stop = false;
        const auto found = CompareWithFolder(*catalogue, "Tree", changedCopy, false, stop);
        if (!found)
            throw std::runtime_error("cannot read " + changedCopy);
        differences = found->changes.size();
    };
    ListTree(changedCopy);
    std::vector<double> listings, diffs;
    for (int round = 0; round < kAddRounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((round + turn) % 2 == 0)
                listings.push_back(Seconds([&] { ListTree(changedCopy); }));
            else
                diffs.push_back(Seconds(compare));
        }
    }
    catalogue.reset();
    store.DropEmpty();
    const double diff = Median(diffs), listing = Median(listings);
    measure.Report(Fixed(diff / listing, 2) + " x (diff " + Milliseconds(diff) + ", listing " +
                       Milliseconds(listing) + ", " + Grouped(differences) +
                       " differences, medians of " + std::to_string(kAddRounds) + ")",
                   "<= 2 x", diff <= 2 * listing);
}

// Bytes of a file of the data tree: 0 to 16 KiB, spread by its number.
constexpr std::size_t kDataFileSpread = 16 * 1024;

// `files` files with data, in folders of the catalogue's tree shape. Their bytes in all.
std::uint64_t MakeDataTree(const std::string& folder, std::size_t files) {
    const std::string tree = GenerateNamedTree(folder, files);
    std::string data(2 * kDataFileSpread, '\0');
    std::mt19937_64 draw(20261209);
    for (char& c : data)
        c = static_cast<char>(draw());
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree))
        if (entry.is_regular_file())
            paths.push_back(entry.path());
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::size_t size = (i * 2654435761u) % kDataFileSpread;
        std::ofstream(paths[i], std::ios::binary | std::ios::trunc)
            .write(data.data() + i % kDataFileSpread, static_cast<std::streamsize>(size));
        bytes += size;
    }
    std::filesystem::rename(tree, folder + "/data");
    return bytes;
}

// Hashes every file's content, as an add with checksums reads it, and keeps nothing.
class HashingSink final : public ITreeSink {
public:
    std::uint64_t OnFolder(const TreeFolder& folder) override {
        for (const WalkedEntry& entry : folder.entries)
            hashed += entry.hash.has_value();
        return 0;
    }
    bool WantsContentHashes() const override { return true; }
    std::atomic<std::size_t> hashed = 0;
};

// Empties the page cache; false when this process may not.
bool DropPageCache() {
    ::sync();
    std::ofstream control("/proc/sys/vm/drop_caches");
    control << "3\n";
    control.flush();
    return static_cast<bool>(control);
}

void MeasureHashing(const std::string& scratch, std::size_t files) {
    const std::uint64_t bytes = MakeDataTree(scratch, files);
    const std::string tree = scratch + "/data";
    const bool cold = DropPageCache();
    GoalMeasure measure(std::string("hashing every file's content beside cat, ") +
                        (cold ? "cold cache" : "warm cache (the page cache cannot be dropped)"));
    const auto cat = [&] {
        if (RunCommand({"sh", "-c", "find \"$0\" -type f -print0 | xargs -0 cat > /dev/null", tree})
                .status != 0)
            throw std::runtime_error("cat failed");
    };
    std::size_t hashed = 0;
    const auto hash = [&] {
        HashingSink sink;
        const std::atomic<bool> stop = false;
        if (WalkTree(tree, sink, stop) != WalkOutcome::Done)
            throw std::runtime_error("cannot walk " + tree);
        hashed = sink.hashed;
    };
    if (!cold) {
        cat();
        hash();
    }
    std::vector<double> cats, hashes;
    for (int round = 0; round < 3; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            DropPageCache();
            if ((round + turn) % 2 == 0)
                cats.push_back(Seconds(cat));
            else
                hashes.push_back(Seconds(hash));
        }
    }
    RemoveTree(tree);
    const double catSeconds = Median(cats), hashSeconds = Median(hashes);
    const double mb = static_cast<double>(bytes) / 1e6;
    measure.Report(Fixed(catSeconds / hashSeconds, 2) + " x the speed of cat (hashing " +
                       Fixed(mb / hashSeconds, 0) + " MB/s, cat " + Fixed(mb / catSeconds, 0) +
                       " MB/s, " + Grouped(hashed) + " files of " + Fixed(mb, 0) +
                       " MB, medians of 3)",
                   ">= 0.8 x", catSeconds / hashSeconds >= 0.8);
}

// Runs `call` kCopiesRounds times and reports the median time against the goal of 3 s.
template <typename Call>
void MeasureCopiesCall(const std::string& label, const std::string& what, const Call& call) {
    GoalMeasure measure(label + ": " + what);
    std::vector<double> times;
    std::size_t found = 0;
    for (int round = 0; round < kCopiesRounds; ++round) {
        const auto start = Clock::now();
        found = call();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double median = Median(times);
    measure.Report(Milliseconds(median) + " (median of " + std::to_string(times.size()) + ", " +
                       Grouped(found) + " found)",
                   "< 3 s", median < 3.0);
}

void MeasureCopies(BenchStore& store, const std::string& tree) {
    const std::string location = store.Copies();
    std::set<std::string> present;
    for (const auto& medium : OpenCatalogue(location)->Media())
        present.insert(medium.name);
    for (std::size_t number = 1; number <= kCopiesMedia; ++number)
        if (!present.count(MediumName(number)))
            AddTree(location, MediumName(number), tree, false);
    auto catalogue = OpenCatalogue(location, CatalogueUse::LookUp);
    const std::string entries = Grouped(EntriesOf(*catalogue));
    MeasureCopiesCall(store.Label(), "duplicates over " + entries + " entries", [&] {
        std::size_t copies = 0;
        catalogue->Duplicates({}, [&](const DuplicateGroup& group) {
            copies += group.copies.size();
            return true;
        });
        return copies;
    });
    MeasureCopiesCall(store.Label(), "files on one medium only, of " + entries + " entries", [&] {
        std::size_t lone = 0;
        catalogue->OnlyOnOne({CopiesBy::NameAndSize, {MediumName(1)}}, [&](const CatalogueMatch&) {
            ++lone;
            return true;
        });
        return lone;
    });
}

// Every measure of one store.
void MeasureStore(BenchStore& store, const std::string& tree, const std::string& changedCopy,
                  const Options& options) {
    if (options.Wants(kAdd))
        MeasureAdd(store, tree);
    if (options.Wants(kDiff))
        MeasureDiff(store, tree, changedCopy);
    if (options.Wants(kCopies))
        MeasureCopies(store, tree);
    if (!options.Wants(kMemory | kSize | kSearch | kCancel))
        return;
    FillBigCatalogue(store, tree, options);
    const std::string big = store.Big();
    if (options.Wants(kSearch))
        store.Warm();
    auto catalogue = OpenCatalogue(big, CatalogueUse::LookUp);
    const std::uint64_t entries = EntriesOf(*catalogue);
    if (options.Wants(kSearch))
        MeasureSearches(*catalogue, store.Label(), entries, DrawPatterns(tree),
                        store.SearchGoalSeconds());
    if (options.Wants(kCancel))
        MeasureCancel(*catalogue, store.Label());
    catalogue.reset();
    if (options.Wants(kSize))
        MeasureSize(store, entries);
}

// ---- the child processes -----------------------------------------------------------------

// The peak resident memory of this process since it began, in KiB. Not ru_maxrss: after
// posix_spawn that also holds the parent's peak, whose memory the child shared until exec.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:"))
            return std::stol(line.substr(6));
    throw std::runtime_error("no VmHWM in /proc/self/status");
}

// Takes every folder and keeps nothing.
class NullTreeSink final : public ITreeSink {
public:
    std::uint64_t OnFolder(const TreeFolder&) override { return 0; }
};

void WalkOnly(const std::string& tree) {
    NullTreeSink sink;
    const std::atomic<bool> stop = false;
    if (WalkTree(tree, sink, stop) != WalkOutcome::Done)
        throw std::runtime_error("cannot walk " + tree);
}

// --child-walk TREE, --child-add LOCATION NAME TREE new|replace: prints the peak resident
// memory in KiB.
int RunAsChild(const std::vector<std::string>& args) {
    if (args[0] == "--child-walk" && args.size() == 2)
        WalkOnly(args[1]);
    else if (args[0] == "--child-add" && args.size() == 5)
        AddTree(args[1], args[2], args[3], args[4] == "replace");
    else
        return EXIT_FAILURE;
    std::printf("%ld\n", PeakResidentKiB());
    return EXIT_SUCCESS;
}

// ---- the run -----------------------------------------------------------------------------

unsigned MeasuresNamed(const std::string& list) {
    static const std::pair<const char*, Measure> kNames[] = {
        {"add", kAdd},       {"memory", kMemory}, {"size", kSize}, {"search", kSearch},
        {"cancel", kCancel}, {"diff", kDiff},     {"hash", kHash}, {"copies", kCopies}};
    unsigned measures = 0;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, end - start);
        const auto* found = std::find_if(std::begin(kNames), std::end(kNames),
                                         [&](const auto& known) { return name == known.first; });
        if (found == std::end(kNames))
            throw std::runtime_error("no measure named \"" + name + "\"");
        measures |= found->second;
        start = end + 1;
    }
    return measures;
}

Options ParseOptions(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool valued = i + 1 < args.size();
        if (arg == "--files" && valued)
            options.files = std::stoul(args[++i]);
        else if (arg == "--media" && valued)
            options.media = std::max<std::size_t>(1, std::stoul(args[++i]));
        else if (arg == "--only" && valued)
            options.measures = MeasuresNamed(args[++i]);
        else if (arg == "--keep-catalogue" && valued)
            options.kept = std::filesystem::absolute(args[++i]).string();
        else if (arg == "--no-postgres")
            options.postgres = false;
        else if (arg == "--postgres-settings" && valued)
            options.postgresSettings = args[++i];
        else
            throw std::runtime_error(
                "usage: catalogrium_catalogue_bench [--files N] [--media N] [--no-postgres] "
                "[--postgres-settings SETTINGS] [--only "
                "add,memory,size,search,cancel,diff,hash,copies] [--keep-catalogue DIR]");
    }
    return options;
}

// The tree kept in `folder` for this file count, made there when missing.
std::string TreeIn(const std::string& folder, std::size_t files) {
    const std::string tree = folder + "/tree-" + std::to_string(files);
    if (!std::filesystem::exists(tree)) {
        std::cerr << "making the tree of " << files << " files\n";
        std::filesystem::rename(GenerateNamedTree(folder, files), tree);
    }
    return tree;
}

void DescribeTree(const std::string& tree) {
    std::uint64_t files = 0, folders = 0, bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        (entry.is_directory() ? folders : files) += 1;
        bytes += entry.path().filename().string().size();
    }
    std::printf("tree %s: %s files, %s folders, names of %.1f bytes on average\n", tree.c_str(),
                Grouped(files).c_str(), Grouped(folders).c_str(),
                static_cast<double>(bytes) / static_cast<double>(files + folders));
}

// A folder of this run's own, removed with everything in it at the end.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/catalogue-bench-" +
               std::to_string(::getpid());
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

void Run(const Options& options) {
    const ScratchFolder scratchFolder;
    const std::string& scratch = scratchFolder.path;
    const std::string home = options.kept.empty() ? scratch : options.kept;
    std::filesystem::create_directories(home);
    const std::string tree = TreeIn(home, options.files);
    DescribeTree(tree);
    const std::string changedCopy = scratch + "/changed";
    if (options.Wants(kDiff))
        std::cerr << "changed " << CopyChangingOnePercent(tree, changedCopy)
                  << " files of a copy\n";
    {
        SqliteStore sqlite(scratch, home, options.files);
        MeasureStore(sqlite, tree, changedCopy, options);
    }
    if (options.postgres) {
        PostgresStore postgres(options.kept.empty() ? "" : options.kept + "/postgres",
                               options.files, options.postgresSettings);
        MeasureStore(postgres, tree, changedCopy, options);
    }
    if (options.Wants(kHash))
        MeasureHashing(scratch, options.files);
    PrintGoalSummary();
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (!args.empty() && args[0].starts_with("--child-"))
            return RunAsChild(args);
        Run(ParseOptions(args));
        return EXIT_SUCCESS;
    } catch (const std::exception& error) {
        std::cerr << "catalogrium_catalogue_bench: " << error.what() << '\n';
        return EXIT_FAILURE;
    }
}
