// Measures the listing engine: the scan beside `du -sb` on the same tree, the sort, the
// writing of the listing file and the heap held per entry.
//
//   catalogrium_bench [--tree FOLDER] [--files N] [--keep]
//
// Without --tree a tree of N files (200,000 by default) is generated under $TMPDIR (or /tmp)
// and removed at the end unless --keep is given.

#include "BenchTree.h"
#include "CatalogriumDoc.h"
#include "HeapCounter.h"
#include "ProgressNote.h"
#include "Prompter.h"
#include "Text.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <ostream>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;

class StderrPrompter final : public IPrompter {
public:
    MessageAnswer Prompt(const std::string& text, const std::string& caption, MessageIcon,
                         MessageButtons) override {
        std::cerr << caption << ": " << text << '\n';
        return MessageAnswer::Ok;
    }
};

// A stream that takes every byte and keeps none.
class NullBuffer final : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

double Seconds(const std::function<void()>& work) {
    auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double BestOf(int rounds, const std::function<void()>& work) {
    double best = Seconds(work);
    for (int i = 1; i < rounds; ++i)
        best = std::min(best, Seconds(work));
    return best;
}

double Nanoseconds(double seconds, std::size_t count) {
    return count ? seconds * 1e9 / static_cast<double>(count) : 0.0;
}

// Runs `du -sb FOLDER` with its output thrown away; throws when it does not succeed.
void RunDu(const std::string& folder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"du", "-sb", folder.c_str(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "du", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (rc != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        throw std::runtime_error("du -sb " + folder + " failed");
}

struct Listing {
    StderrPrompter prompter;
    CSilentProgressNote progress;
    ListingOptions options;
    CCatalogriumDoc doc{prompter, progress};

    Listing() {
        options.m_bAddDate = 1;
        options.m_bAddAttribute = 1;
        doc.SetOptions(&options);
    }
};

// ---- scan --------------------------------------------------------------------------------

void ScanOnce(Listing& listing, const std::string& folder) {
    if (!listing.doc.ScanFolder(folder, kFilesAndFolders))
        throw std::runtime_error("the scan of " + folder + " failed");
    listing.doc.m_scanList.clear();
}

void MeasureScan(const std::string& folder) {
    Listing listing;
    ScanOnce(listing, folder); // both read the tree once before timing, from a warm cache
    RunDu(folder);
    double du = BestOf(kRounds, [&] { RunDu(folder); });
    HeapUse before = CurrentHeapUse();
    ResetHeapPeak();
    double scan = BestOf(kRounds, [&] { ScanOnce(listing, folder); });
    std::size_t walked = static_cast<std::size_t>(listing.doc.m_nFiles) +
                         static_cast<std::size_t>(listing.doc.m_nSubFolders);
    std::printf("scan   %zu files and %d folders below %s\n",
                static_cast<std::size_t>(listing.doc.m_nFiles), listing.doc.m_nSubFolders,
                folder.c_str());
    std::printf("scan   best of %d: scan %.1f ms (%.0f ns/entry), du -sb %.1f ms "
                "(%.0f ns/entry), scan/du %.2f\n",
                kRounds, scan * 1e3, Nanoseconds(scan, walked), du * 1e3, Nanoseconds(du, walked),
                scan / du);
    std::printf("scan   peak heap %.1f KiB\n",
                static_cast<double>(CurrentHeapUse().peak - before.current) / 1024.0);
}

// ---- a listing made up in memory -----------------------------------------------------

// `count` entries as a scan leaves them (kept folders at the head): names of 6 to 24
// letters with common extensions, one in twenty a folder, sizes up to 10 GB, times over
// twenty-five years.
void FillScanList(CCatalogriumDoc& doc, std::size_t count) {
    static const std::array<const char*, 8> extensions{".txt", ".jpg", ".tar.gz", ".doc",
                                                       "",     ".PDF", ".mp3",    ".cpp"};
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<int> length(6, 24), letter(0, 51), pick(0, 7), kind(0, 19);
    std::uniform_int_distribution<std::uint64_t> size(0, 10'000'000'000ULL);
    std::uniform_int_distribution<std::int64_t> when(1'000'000'000, 1'800'000'000);
    const char* letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (std::size_t i = 0; i < count; ++i) {
        auto entry = std::make_unique<CFolderEntry>();
        bool folder = kind(random) == 0;
        for (int n = length(random); n > 0; --n)
            entry->m_strName += letters[letter(random)];
        if (!folder)
            entry->m_strName += extensions[static_cast<std::size_t>(pick(random))];
        entry->m_strShortName = FirstChars(entry->m_strName, 11);
        entry->m_dwAttributes = folder ? kAttrFolder : kAttrArchive;
        entry->m_nSize = size(random);
        entry->m_ftLastWrite = FileTimeFromUnix(when(random));
        if (folder)
            doc.m_scanList.push_front(std::move(entry));
        else
            doc.m_scanList.push_back(std::move(entry));
    }
}

// The best of a few sorts, each of a fresh listing; building it is not timed.
double SortSeconds(std::size_t count, int key) {
    double best = 0;
    for (int round = 0; round < kRounds; ++round) {
        Listing listing;
        FillScanList(listing.doc, count);
        double s = Seconds([&] { listing.doc.SortEntries(false, key); });
        best = round == 0 ? s : std::min(best, s);
    }
    return best;
}

void MeasureSort(std::size_t count) {
    static const std::array<const char*, 6> keys{"unsorted",  "size",      "name",
                                                 "attribute", "extension", "time"};
    for (int key = 0; key < 6; ++key) {
        double s = SortSeconds(count, key);
        std::printf("sort   %8zu entries by %-9s best of %d %8.1f ms (%.0f ns/entry)\n", count,
                    keys[static_cast<std::size_t>(key)], kRounds, s * 1e3, Nanoseconds(s, count));
    }
}

void MeasureWrite(std::size_t count) {
    Listing listing;
    FillScanList(listing.doc, count);
    listing.doc.SortEntries(false, kSortName);
    NullBuffer nothing;
    std::ostream null(&nothing);
    for (int delimited = 0; delimited < 2; ++delimited) {
        listing.options.m_bDelimited = delimited;
        const char* layout = delimited ? "comma-delimited" : "fixed-column";
        double s = BestOf(kRounds, [&] { listing.doc.Serialize(null); });
        std::printf("write  %8zu entries, %-15s to a null stream best of %d %8.1f ms (%.0f "
                    "ns/entry)\n",
                    count, layout, kRounds, s * 1e3, Nanoseconds(s, count));
        std::ofstream devNull("/dev/null", std::ios::binary);
        s = BestOf(kRounds, [&] { listing.doc.Serialize(devNull); });
        std::printf("write  %8zu entries, %-15s to /dev/null      best of %d %8.1f ms (%.0f "
                    "ns/entry)\n",
                    count, layout, kRounds, s * 1e3, Nanoseconds(s, count));
    }
}

// The highest heap use while a listing of `count` entries is built, sorted and written,
// per entry.
void MeasureMemory(std::size_t count) {
    HeapUse before = CurrentHeapUse();
    ResetHeapPeak();
    {
        Listing listing;
        FillScanList(listing.doc, count);
        listing.doc.SortEntries(false, kSortName);
        NullBuffer nothing;
        std::ostream null(&nothing);
        listing.doc.Serialize(null);
        double held = static_cast<double>(CurrentHeapUse().current - before.current);
        std::printf("memory %8zu entries: %.0f bytes/entry held by the listing\n", count,
                    held / static_cast<double>(count));
    }
    double peak = static_cast<double>(CurrentHeapUse().peak - before.current);
    std::printf("memory %8zu entries: %.0f bytes/entry at the peak (build, sort, write)\n", count,
                peak / static_cast<double>(count));
}

struct Arguments {
    std::string tree;
    std::size_t files = TreeShape{}.files;
    bool keep = false;
};

Arguments ParseArguments(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--tree" && i + 1 < argc)
            args.tree = argv[++i];
        else if (arg == "--files" && i + 1 < argc)
            args.files = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--keep")
            args.keep = true;
        else
            throw std::invalid_argument("usage: catalogrium_bench [--tree FOLDER] [--files N] "
                                        "[--keep]");
    }
    return args;
}

std::string TempParent() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

void MeasureTree(const Arguments& args) {
    if (!args.tree.empty()) {
        MeasureScan(args.tree);
        return;
    }
    TreeShape shape;
    shape.files = args.files;
    std::string tree = GenerateTree(TempParent(), shape);
    MeasureScan(tree);
    if (args.keep)
        std::printf("scan   tree kept in %s\n", tree.c_str());
    else
        RemoveTree(tree);
}

} // namespace

int main(int argc, char** argv) {
    try {
        Arguments args = ParseArguments(argc, argv);
        MeasureMemory(1'000'000);
        MeasureTree(args);
        for (std::size_t count : {100'000, 1'000'000})
            MeasureSort(count);
        MeasureWrite(1'000'000);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "catalogrium_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
