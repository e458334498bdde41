// Measures the catalogue: adding a generated tree beside listing it, adding a million files,
// the size of the SQLite file and substring searches over a million names, on SQLite and on a
// PostgreSQL server started for the run.
//
//   catalogrium_catalogue_bench [--tree FOLDER] [--files N] [--keep] [--no-postgres]
//
// Without --tree a tree of N files (200,000 by default) is generated under $TMPDIR (or /tmp)
// and removed at the end unless --keep is given. The million files are that tree added five
// times, as five media.

#include "Adding.h"
#include "BenchTree.h"
#include "CatalogriumDoc.h"
#include "PostgresServer.h"
#include "ProgressNote.h"
#include "Prompter.h"

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;
constexpr int kMedia = 5;
constexpr int kSearches = 25;

class StderrPrompter final : public IPrompter {
public:
    MessageAnswer Prompt(const std::string& text, const std::string& caption, MessageIcon,
                         MessageButtons) override {
        std::cerr << caption << ": " << text << '\n';
        return MessageAnswer::Ok;
    }
};

double Seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Best(const std::function<void()>& work) {
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round)
        best = std::min(best, Seconds(work));
    return best;
}

void AddOrThrow(ICatalogue& catalogue, const std::string& name, const std::string& tree) {
    const std::atomic<bool> stop = false;
    if (AddToCatalogue(catalogue, name, tree, true, stop) != AddOutcome::Added)
        throw std::runtime_error("cannot add " + tree);
}

// The median time of substring searches for five digits of a file's number, each collecting
// every match in order.
double MedianSearchMs(ICatalogue& catalogue, std::size_t files, std::size_t& matches) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::size_t> file(0, files - 1);
    std::vector<double> times;
    matches = 0;
    for (int i = 0; i < kSearches; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%07zu", file(random));
        FindQuery query;
        query.pattern = std::string(name + 2, 5);
        times.push_back(1000 * Seconds([&] {
                            catalogue.Find(query, [&](const CatalogueMatch&) {
                                ++matches;
                                return true;
                            });
                        }));
    }
    matches /= kSearches;
    std::nth_element(times.begin(), times.begin() + kSearches / 2, times.end());
    return times[kSearches / 2];
}

struct Options {
    std::string tree;
    std::size_t files = 200000;
    bool keep = false;
    bool postgres = true;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tree" && i + 1 < argc)
            options.tree = argv[++i];
        else if (arg == "--files" && i + 1 < argc)
            options.files = std::stoul(argv[++i]);
        else if (arg == "--keep")
            options.keep = true;
        else if (arg == "--no-postgres")
            options.postgres = false;
        else
            throw std::runtime_error("usage: catalogrium_catalogue_bench [--tree FOLDER] "
                                     "[--files N] [--keep] [--no-postgres]");
    }
    return options;
}

// Adds the tree once (best of three, each into an empty catalogue at a new location from
// `fresh`), then five times into one catalogue, and searches that. Returns where the million
// entries are.
std::string Measure(const std::string& label, const std::string& tree, std::size_t files,
                    double listing, const std::function<std::string()>& fresh) {
    const double once = Best([&] { AddOrThrow(*OpenCatalogue(fresh()), "Tree", tree); });
    std::cout << label << ": adding the tree " << once * 1000 << " ms, " << once / listing
              << " x the listing\n";
    const std::string location = fresh();
    auto catalogue = OpenCatalogue(location);
    const double million = Seconds([&] {
        for (int m = 1; m <= kMedia; ++m)
            AddOrThrow(*catalogue, "Tree " + std::to_string(m), tree);
    });
    const std::size_t entries = catalogue->Count(FindQuery());
    std::cout << label << ": adding " << kMedia << " trees (" << entries << " entries) " << million
              << " s\n";
    std::size_t matches = 0;
    const double median = MedianSearchMs(*catalogue, files, matches);
    std::cout << label << ": substring search over " << entries << " names, median " << median
              << " ms (" << matches << " matches on average)\n";
    return location;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const Options options = ParseOptions(argc, argv);
        const char* tmp = std::getenv("TMPDIR");
        const std::string scratch = tmp && *tmp ? tmp : "/tmp";
        std::string tree = options.tree;
        if (tree.empty()) {
            TreeShape shape;
            shape.files = options.files;
            tree = GenerateTree(scratch, shape);
        }
        StderrPrompter prompter;
        CSilentProgressNote note;
        CCatalogriumDoc doc(prompter, note);
        const double listing = Best([&] { doc.ScanFolder(tree, 2); });
        std::cout << "listing the tree (" << doc.m_nFiles << " files, " << doc.m_nSubFolders
                  << " folders) " << listing * 1000 << " ms\n";

        const std::string folder = scratch + "/catalogue-bench-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
        int files = 0;
        const std::string million = Measure("SQLite", tree, doc.m_nFiles, listing, [&] {
            return folder + "/c" + std::to_string(files++) + ".sqlite";
        });
        // Closed, the file holds everything (the journal is folded in and removed).
        const auto bytes = std::filesystem::file_size(million);
        const std::size_t entries = OpenCatalogue(million)->Count(FindQuery());
        std::cout << "SQLite: file " << bytes << " bytes, "
                  << static_cast<double>(bytes) / static_cast<double>(entries)
                  << " bytes per entry\n";

        if (options.postgres) {
            PostgresServer server("");
            int databases = 0;
            Measure("PostgreSQL", tree, doc.m_nFiles, listing, [&] {
                const std::string name = "bench" + std::to_string(databases++);
                PGconn* conn = PQconnectdb(server.Uri().c_str());
                PQclear(PQexec(conn, ("CREATE DATABASE " + name).c_str()));
                PQfinish(conn);
                return server.Uri(name);
            });
        }
        std::filesystem::remove_all(folder);
        if (options.tree.empty() && !options.keep)
            RemoveTree(tree);
        return EXIT_SUCCESS;
    } catch (const std::exception& error) {
        std::cerr << "catalogrium_catalogue_bench: " << error.what() << '\n';
        return EXIT_FAILURE;
    }
}
