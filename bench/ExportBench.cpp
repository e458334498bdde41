// The peak memory of `ctlgrm --export` on a large made-up medium beside a small one, on SQLite:
// the export streams its entries, so the peak should not grow with the medium.
//
//   catalogrium_export_bench [--entries N]   (1,000,000 by default; the small one has 10,000)
//
// Each medium is made through the catalogue's add: folders of 1,000 files, their names as people
// name files. The figures: the peak resident memory (ru_maxrss) of ctlgrm exporting JSON and CSV
// to /dev/null, which counts the pages of the catalogue file that SQLite reads through a mapping,
// the largest anonymous memory seen (polled), the time it took, and the load average at the
// start and the end.

#include "catalogue/Catalogue.h"
#include "tests/support/TempDir.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <spawn.h>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr std::int64_t kFilesPerFolder = 1000;

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one;
}

// A medium of `entries` entries: folders below the listed one, each with its files.
void AddMadeUpMedium(ICatalogue& catalogue, const std::string& name, std::int64_t entries) {
    Medium medium;
    medium.name = name;
    medium.folder = "/media/" + name;
    auto add = catalogue.BeginAdd(medium, false);
    const std::int64_t folders = std::max<std::int64_t>(1, entries / (kFilesPerFolder + 1));
    AddedFolder root{0, 1, {}};
    for (std::int64_t f = 0; f < folders; ++f)
        root.entries.push_back({"Holiday photos " + std::to_string(f),
                                EntryKind::Folder,
                                0,
                                1700000000 + f,
                                0x10,
                                std::nullopt,
                                {}});
    add->AddFolder(root);
    std::int64_t next = 1 + folders;
    for (std::int64_t f = 0; f < folders; ++f) {
        AddedFolder folder{1 + f, next, {}};
        for (std::int64_t i = 0; i < kFilesPerFolder; ++i)
            folder.entries.push_back({"IMG_" + std::to_string(20230000 + i) + " (copy).jpg",
                                      EntryKind::File,
                                      static_cast<std::uint64_t>(i * 1013),
                                      1700000000 + i,
                                      0x20,
                                      std::nullopt,
                                      {}});
        next += kFilesPerFolder;
        add->AddFolder(folder);
    }
    add->Commit();
}

struct Measure {
    long peakKiB = 0;     // ru_maxrss: the pages of the catalogue's mapping included
    long peakAnonKiB = 0; // the largest RssAnon seen: the heap and the stacks
    double seconds = 0;
};

// RssAnon of /proc/PID/status, in KiB; 0 once the process is gone.
long AnonymousKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("RssAnon:"))
            return std::stol(line.substr(8));
    return 0;
}

Measure RunExport(const std::string& catalogue, const std::string& medium,
                  const std::string& format) {
    std::vector<std::string> argv{CTLGRM_PATH, "--catalogue", catalogue, "--export", format,
                                  "--medium",  medium,        "-o",      "/dev/null"};
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        throw std::runtime_error("cannot run ctlgrm");
    int status = 0;
    rusage usage{};
    long anon = 0;
    while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
        anon = std::max(anon, AnonymousKiB(pid));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("ctlgrm --export failed");
    return {usage.ru_maxrss, anon,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

} // namespace

int main(int argc, char** argv) {
    std::int64_t entries = 1000000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--entries") == 0)
            entries = std::stoll(argv[i + 1]);
    TempDir dir;
    const std::string location = (dir.path() / "catalogue.sqlite").string();
    {
        auto catalogue = OpenCatalogue(location);
        AddMadeUpMedium(*catalogue, "Small", 10000);
        AddMadeUpMedium(*catalogue, "Large", entries);
    }
    std::cout << "load at start: " << LoadAverage() << '\n';
    for (const std::string format : {"json", "csv"}) {
        const Measure small = RunExport(location, "Small", format);
        const Measure large = RunExport(location, "Large", format);
        std::printf("%s: peak %ld KiB (anonymous %ld KiB) for 10,000 entries, %ld KiB "
                    "(anonymous %ld KiB) for %lld: %.2f x (anonymous %.2f x); %.2f s and %.2f s\n",
                    format.c_str(), small.peakKiB, small.peakAnonKiB, large.peakKiB,
                    large.peakAnonKiB, static_cast<long long>(entries),
                    static_cast<double>(large.peakKiB) / static_cast<double>(small.peakKiB),
                    static_cast<double>(large.peakAnonKiB) /
                        static_cast<double>(std::max(1L, small.peakAnonKiB)),
                    small.seconds, large.seconds);
    }
    std::cout << "load at end: " << LoadAverage() << '\n';
}
