// Measures the listing engine: the scan beside `du -sb` on the same tree, the sort, the
// writing of the listing file and the heap held per entry.
//
//   catalogrium_bench [--trees FOLDER] [--files N] [--photos N] [--threads N[,N...]]
//                     [--scan-only | --camera-only]
//
// The scan runs beside `du -sb` on a tree of N files (200,000 by default) in 10,100 folders,
// on the same tree as the only sub-folder of a folder, on a flat folder of 100,000 files and,
// as root, on the tree from a cold cache; the catalogue's tree walk beside the scan on the
// tree and the flat folder; once per number of threads given (the program's pool size by
// default). A camera's folder of N numbered photos (10^6 by default, 0 for none)
// is listed beside a folder of as many names that need no alias. The trees are made under
// $TMPDIR (or /tmp) and removed at the end, or made once in FOLDER and kept there.

#include "bench/BenchTree.h"
#include "bench/HeapCounter.h"
#include "engine/CatalogriumDoc.h"
#include "engine/FolderWalk.h"
#include "engine/ProgressNote.h"
#include "engine/Prompter.h"
#include "engine/ShortName.h"
#include "engine/Text.h"
#include "engine/TreeWalk.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <ostream>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

constexpr int kWarmRuns = 5;
constexpr int kColdRuns = 3;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Processor time (user and system) of this process's threads, or of its children waited for.
double CpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Empties the page cache, the dentries and the inodes, so that the next walk reads the disk;
// false when that is not allowed (not root).
bool DropCaches() {
    ::sync();
    std::ofstream control("/proc/sys/vm/drop_caches");
    control << "3\n";
    control.flush();
    return static_cast<bool>(control);
}

std::size_t ScanOnce(Listing& listing, const std::string& folder) {
    if (!listing.doc.ScanFolder(folder, kFilesAndFolders))
        throw std::runtime_error("the scan of " + folder + " failed");
    const std::size_t listed = listing.doc.m_scanList.size();
    listing.doc.m_scanList.clear();
    return listed;
}

// The scan and `du -sb` on the same folder in turns, warm or each from a cold cache; the
// medians and their ratio.
void MeasureScanCase(const std::string& label, const std::string& folder, bool cold,
                     CWalkPool& pool) {
    Listing listing;
    listing.doc.SetWalkPool(&pool);
    if (cold && !DropCaches()) {
        std::printf("scan   %-22s skipped: the caches can be dropped only by root\n",
                    label.c_str());
        return;
    }
    if (!cold) {
        ScanOnce(listing, folder);
        RunDu(folder);
    }
    std::vector<double> scans, dus, scanCpu, duCpu;
    const int runs = cold ? kColdRuns : kWarmRuns;
    for (int run = 0; run < runs; ++run) {
        // Each goes first in every other run.
        for (int turn = 0; turn < 2; ++turn) {
            if (cold)
                DropCaches();
            if ((run + turn) % 2 == 0) {
                const double cpu = CpuSeconds(RUSAGE_SELF);
                scans.push_back(Seconds([&] { ScanOnce(listing, folder); }));
                scanCpu.push_back(CpuSeconds(RUSAGE_SELF) - cpu);
            } else {
                const double cpu = CpuSeconds(RUSAGE_CHILDREN);
                dus.push_back(Seconds([&] { RunDu(folder); }));
                duCpu.push_back(CpuSeconds(RUSAGE_CHILDREN) - cpu);
            }
        }
    }
    const double scan = Median(scans), du = Median(dus);
    std::printf("scan   %-22s %2u threads: scan %8.1f ms, du -sb %8.1f ms, scan/du %.2f "
                "(median of %d; %d files, %d folders); processor time %.0f ms against %.0f ms\n",
                label.c_str(), pool.Threads(), scan * 1e3, du * 1e3, scan / du, runs,
                listing.doc.m_nFiles, listing.doc.m_nSubFolders, Median(scanCpu) * 1e3,
                Median(duCpu) * 1e3);
}

// Heap held at the peak of a scan: per listed entry, and in all.
void MeasureScanMemory(const std::string& label, const std::string& folder, CWalkPool& pool) {
    Listing listing;
    listing.doc.SetWalkPool(&pool);
    const HeapUse before = CurrentHeapUse();
    ResetHeapPeak();
    if (!listing.doc.ScanFolder(folder, kFilesAndFolders))
        throw std::runtime_error("the scan of " + folder + " failed");
    const double peak = static_cast<double>(CurrentHeapUse().peak - before.current);
    const std::size_t listed = listing.doc.m_scanList.size();
    std::printf("scan   %-22s peak heap %.1f KiB for %zu listed entries (%.0f bytes/entry) and "
                "%d files below\n",
                label.c_str(), peak / 1024.0, listed, peak / static_cast<double>(listed),
                listing.doc.m_nFiles);
}

// The short names that every scan makes for its entries at the end, timed alone: the part of
// the scan's time that follows the walk.
void MeasureShortNames(const std::string& label, const std::string& folder, CWalkPool& pool) {
    Listing listing;
    listing.doc.SetWalkPool(&pool);
    if (!listing.doc.ScanFolder(folder, kFilesAndFolders))
        throw std::runtime_error("the scan of " + folder + " failed");
    std::vector<double> times;
    const HeapUse before = CurrentHeapUse();
    ResetHeapPeak();
    for (int run = 0; run < kWarmRuns; ++run)
        times.push_back(Seconds([&] { AssignShortNames(listing.doc.m_scanList); }));
    const std::size_t listed = listing.doc.m_scanList.size();
    const double peak = static_cast<double>(CurrentHeapUse().peak - before.current);
    std::printf("scan   %-22s of which short names for %zu entries %.1f ms (median of %d), "
                "%.0f bytes/entry of heap while they are made\n",
                label.c_str(), listed, Median(times) * 1e3, kWarmRuns,
                peak / static_cast<double>(listed));
}

// Counts what the catalogue's walk reports and keeps nothing.
class CountingSink final : public ITreeSink {
public:
    std::uint64_t OnFolder(const TreeFolder& folder) override {
        folders += 1;
        entries += folder.entries.size();
        return 0;
    }
    std::atomic<std::size_t> folders{0};
    std::atomic<std::size_t> entries{0};
};

// The catalogue's walk (every entry examined and reported) and the scan on the same folder in
// turns; the medians and their ratio.
void MeasureTreeWalkCase(const std::string& label, const std::string& folder, CWalkPool& pool) {
    Listing listing;
    listing.doc.SetWalkPool(&pool);
    const std::atomic<bool> stop{false};
    CountingSink sink;
    const auto walkOnce = [&] {
        sink.folders = 0;
        sink.entries = 0;
        if (WalkTree(folder, sink, stop, pool) != WalkOutcome::Done)
            throw std::runtime_error("the walk of " + folder + " failed");
    };
    walkOnce();
    ScanOnce(listing, folder);
    std::vector<double> walks, scans;
    for (int run = 0; run < kWarmRuns; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((run + turn) % 2 == 0)
                walks.push_back(Seconds(walkOnce));
            else
                scans.push_back(Seconds([&] { ScanOnce(listing, folder); }));
        }
    }
    const double walk = Median(walks), scan = Median(scans);
    std::printf("walk   %-22s %2u threads: tree walk %8.1f ms, scan %8.1f ms, walk/scan %.2f "
                "(median of %d; %zu folders, %zu entries reported)\n",
                label.c_str(), pool.Threads(), walk * 1e3, scan * 1e3, walk / scan, kWarmRuns,
                sink.folders.load(), sink.entries.load());
}

// The four cases: the tree, the same tree as the only sub-folder of a folder, a flat folder,
// and the tree from a cold cache; then the catalogue's walk beside the scan.
void MeasureScan(const std::string& tree, const std::string& flat, CWalkPool& pool) {
    MeasureScanCase("tree", tree, false, pool);
    const std::string wrapper = tree + "-wrapped";
    std::filesystem::create_directory(wrapper);
    std::filesystem::rename(tree, wrapper + "/only");
    MeasureScanCase("tree in one sub-folder", wrapper, false, pool);
    // One listed entry: the peak is the walk's own.
    MeasureScanMemory("tree in one sub-folder", wrapper, pool);
    std::filesystem::rename(wrapper + "/only", tree);
    std::filesystem::remove(wrapper);
    MeasureScanCase("flat folder", flat, false, pool);
    MeasureShortNames("flat folder", flat, pool);
    MeasureScanCase("tree, cold cache", tree, true, pool);
    MeasureScanMemory("tree", tree, pool);
    MeasureScanMemory("flat folder", flat, pool);
    MeasureTreeWalkCase("tree", tree, pool);
    MeasureTreeWalkCase("flat folder", flat, pool);
}

// ---- a camera's folder -------------------------------------------------------------------

// A flat folder of `count` empty files named `prefix`, the number in `digits` digits, `suffix`.
void MakeNumberedFolder(const std::string& folder, std::size_t count, const char* prefix,
                        int digits, const char* suffix) {
    std::filesystem::create_directory(folder);
    char name[32];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "%s%0*zu%s", prefix, digits, i, suffix);
        const int fd = ::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0)
            throw std::runtime_error("cannot create a file in " + folder);
        ::close(fd);
    }
}

// What ctlgrm does with a folder: scan, sort by name, write the fixed-column file.
double ListOnce(const std::string& folder, CWalkPool& pool, double& shortNames) {
    Listing listing;
    listing.doc.SetWalkPool(&pool);
    NullBuffer nothing;
    std::ostream null(&nothing);
    const double seconds = Seconds([&] {
        if (!listing.doc.ScanFolder(folder, kFilesAndFolders))
            throw std::runtime_error("the scan of " + folder + " failed");
        listing.doc.SortEntries(false, kSortName);
        listing.doc.Serialize(null);
    });
    // The short names alone, made again on the sorted entries (the same names).
    ScanList entries;
    for (auto& entry : listing.doc.m_entryList)
        entries.push_back(std::move(entry));
    shortNames = Seconds([&] { AssignShortNames(entries); });
    return seconds;
}

// A camera's numbered photos (DSC000000.JPG ..., whose aliases share their first letters)
// beside as many names that are their own short names (P0000000.JPG ...), listed in turns.
void MeasureCamera(const std::string& parent, std::size_t count, CWalkPool& pool) {
    const std::string photos = parent + "/photos-" + std::to_string(count);
    const std::string plain = parent + "/plain-" + std::to_string(count);
    if (!std::filesystem::exists(photos))
        MakeNumberedFolder(photos, count, "DSC", 6, ".JPG");
    if (!std::filesystem::exists(plain))
        MakeNumberedFolder(plain, count, "P", 7, ".JPG");
    std::vector<double> photoTimes, plainTimes, photoNames, plainNames;
    for (int run = 0; run < kRounds; ++run) {
        double names = 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((run + turn) % 2 == 0) {
                photoTimes.push_back(ListOnce(photos, pool, names));
                photoNames.push_back(names);
            } else {
                plainTimes.push_back(ListOnce(plain, pool, names));
                plainNames.push_back(names);
            }
        }
    }
    const double photo = Median(photoTimes), eight = Median(plainTimes);
    std::printf("camera %8zu files: listing DSC000000.JPG... %8.1f ms, P0000000.JPG... %8.1f ms, "
                "ratio %.2f (median of %d); short names alone %.1f ms against %.1f ms\n",
                count, photo * 1e3, eight * 1e3, photo / eight, kRounds, Median(photoNames) * 1e3,
                Median(plainNames) * 1e3);
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
    std::string trees;
    std::size_t files = TreeShape{}.files;
    std::size_t flatFiles = 100000;
    std::size_t photos = 1'000'000;
    std::vector<unsigned> threads;
    bool scanOnly = false;
    bool cameraOnly = false;
};

std::vector<unsigned> ThreadCounts(const std::string& list) {
    std::vector<unsigned> counts;
    std::size_t start = 0;
    while (start < list.size()) {
        const std::size_t end = std::min(list.find(',', start), list.size());
        counts.push_back(static_cast<unsigned>(std::stoul(list.substr(start, end - start))));
        start = end + 1;
    }
    return counts;
}

Arguments ParseArguments(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--trees" && i + 1 < argc)
            args.trees = argv[++i];
        else if (arg == "--files" && i + 1 < argc)
            args.files = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--threads" && i + 1 < argc)
            args.threads = ThreadCounts(argv[++i]);
        else if (arg == "--photos" && i + 1 < argc)
            args.photos = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--scan-only")
            args.scanOnly = true;
        else if (arg == "--camera-only")
            args.cameraOnly = true;
        else
            throw std::invalid_argument("usage: catalogrium_bench [--trees FOLDER] [--files N] "
                                        "[--photos N] [--threads N[,N...]] [--scan-only | "
                                        "--camera-only]");
    }
    if (args.threads.empty())
        args.threads.push_back(CWalkPool::DefaultThreads());
    return args;
}

std::string TempParent() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

// The trees of the scan cases in `args.trees` (made there when missing, and kept), or made
// afresh under the temporary folder and removed at the end.
void MeasureTrees(const Arguments& args) {
    const bool kept = !args.trees.empty();
    const std::string parent = kept ? args.trees : TempParent() + "/catalogrium-bench";
    std::filesystem::create_directories(parent);
    if (args.cameraOnly) {
        CWalkPool pool(args.threads.front());
        MeasureCamera(parent, args.photos, pool);
        if (!kept)
            RemoveTree(parent);
        return;
    }
    const std::string tree = parent + "/tree", flat = parent + "/flat";
    if (!std::filesystem::exists(tree)) {
        TreeShape shape;
        shape.files = args.files;
        std::filesystem::rename(GenerateTree(parent, shape), tree);
    }
    if (!std::filesystem::exists(flat)) {
        TreeShape shape;
        shape.files = shape.topFiles = args.flatFiles;
        shape.topFolders = 0;
        std::filesystem::rename(GenerateTree(parent, shape), flat);
    }
    for (unsigned threads : args.threads) {
        CWalkPool pool(threads);
        MeasureScan(tree, flat, pool);
        if (args.photos > 0)
            MeasureCamera(parent, args.photos, pool);
    }
    if (!kept)
        RemoveTree(parent);
}

} // namespace

int main(int argc, char** argv) {
    try {
        Arguments args = ParseArguments(argc, argv);
        if (!args.scanOnly && !args.cameraOnly)
            MeasureMemory(1'000'000);
        MeasureTrees(args);
        if (args.scanOnly || args.cameraOnly)
            return 0;
        for (std::size_t count : {100'000, 1'000'000})
            MeasureSort(count);
        MeasureWrite(1'000'000);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "catalogrium_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
