// catalogrium_html_bench: the HTML page of a catalogue in headless Chromium. For 10^5 entries
// on one medium and 10^6 over ten media: the page's size, the time until it is interactive
// (its script done, as the page measures it from the start of navigation) and the time of
// searches, beside the catalogue's own search of the same pattern in the same run.
//
//     catalogrium_html_bench [--keep FOLDER]
//
// The page reports its own timings into its DOM (performance.now() from the start of the
// navigation), which Chromium's --dump-dom prints once the page has loaded.

#include "bench/BenchReport.h"
#include "bench/BenchTree.h"
#include "catalogue/Adding.h"
#include "catalogue/Catalogue.h"
#include "catalogue/HtmlSnapshot.h"
#include "tests/support/RunCommand.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sys/wait.h>

namespace {

constexpr std::size_t kMediaOfTheMillion = 10;

struct PageGoals {
    std::size_t entries;
    std::size_t media;
    double maxMegabytes;
    double maxReadySeconds;
    double maxSearchSeconds;
};

// Copies the medium `from` of `catalogue` as a new medium `name` (another folder), its folders
// in the order of their entries' numbers, as the add of that folder gave them.
void CopyMedium(ICatalogue& catalogue, const Medium& from, const std::string& name) {
    std::vector<AddedFolder> folders;
    catalogue.MediumEntries(from.name, [&](const CataloguedEntry& entry) {
        if (folders.empty() || folders.back().id != entry.parent)
            folders.push_back({entry.parent, entry.id, {}});
        folders.back().entries.push_back({entry.name, entry.kind, entry.size, entry.modified,
                                          entry.attributes, entry.hash, entry.comments});
        return true;
    });
    Medium copy = from;
    copy.name = name;
    copy.folder = "/media/" + name;
    copy.volume.path = "/" + name;
    auto add = catalogue.BeginAdd(copy, false);
    for (const AddedFolder& folder : folders)
        add->AddFolder(folder);
    add->Commit();
}

std::string DataAttribute(const std::string& dom, const std::string& name) {
    const std::regex attribute("data-" + name + "=\"([^\"]*)\"");
    std::smatch found;
    return std::regex_search(dom, found, attribute) ? found[1].str() : std::string();
}

struct PageRun {
    double readyMs = -1;
    double searchMs = -1;
    double keysMs = -1; // the names put in key form before the search
    std::string matches;
};

// The page loaded in headless Chromium with `fragment` (a search) given in its address.
PageRun LoadPage(const std::string& page, const std::string& fragment, const std::string& scratch) {
    const std::string dom = scratch + "/page-dom.html";
    const pid_t pid =
        SpawnWithOutputFiles({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                              "--user-data-dir=" + scratch + "/chromium-profile", "--dump-dom",
                              "file://" + page + fragment},
                             EnvironmentWith({}), dom, "/dev/null");
    int status = -1;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || status != 0)
        throw std::runtime_error("chromium could not load " + page);
    std::ifstream in(dom, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    const std::string ready = DataAttribute(text, "ready-ms");
    if (ready.empty())
        throw std::runtime_error("the page did not report its timings");
    const std::string search = DataAttribute(text, "search-ms");
    const std::string keys = DataAttribute(text, "keys-ms");
    return {std::stod(ready), search.empty() ? -1 : std::stod(search),
            keys.empty() ? -1 : std::stod(keys), DataAttribute(text, "matches")};
}

// The time to interactive of the page of an empty catalogue: Chromium's own part of every load.
double EmptyPageReadyMs(const std::string& scratch) {
    const std::string page = scratch + "/empty.html";
    {
        std::filesystem::remove(scratch + "/empty.sqlite");
        auto catalogue = OpenCatalogue(scratch + "/empty.sqlite");
        std::ofstream out(page, std::ios::binary);
        WriteHtmlSnapshot(*catalogue, {}, out);
    }
    std::vector<double> ready;
    for (int run = 0; run < 3; ++run)
        ready.push_back(LoadPage(page, "", scratch).readyMs);
    return Median(ready);
}

void MeasurePage(const std::string& scratch, const std::string& tree, const PageGoals& goals) {
    const std::string location =
        scratch + "/catalogue-" + std::to_string(goals.entries) + ".sqlite";
    std::filesystem::remove(location);
    auto catalogue = OpenCatalogue(location);
    const std::atomic<bool> stop = false;
    if (AddToCatalogue(*catalogue, "Medium 00", tree, false, stop) != AddOutcome::Added)
        throw std::runtime_error("cannot add " + tree);
    const Medium first = catalogue->Media().front();
    for (std::size_t m = 1; m < goals.media; ++m)
        CopyMedium(*catalogue, first,
                   "Medium " + std::string(m < 10 ? "0" : "") + std::to_string(m));
    const std::string page = scratch + "/catalogue-" + std::to_string(goals.entries) + ".html";
    const std::string what = std::to_string(goals.entries) + " entries on " +
                             std::to_string(goals.media) +
                             (goals.media == 1 ? " medium" : " media");
    {
        GoalMeasure measure("page of " + what + ": size");
        std::ofstream out(page, std::ios::binary);
        const double writing = Seconds([&] { WriteHtmlSnapshot(*catalogue, {}, out); });
        out.close();
        const double megabytes = static_cast<double>(std::filesystem::file_size(page)) / 1e6;
        measure.Report(Fixed(megabytes, 1) + " MB (written in " + Fixed(writing, 1) + " s)",
                       "< " + Fixed(goals.maxMegabytes, 0) + " MB", megabytes < goals.maxMegabytes);
    }
    std::vector<double> ready;
    std::vector<double> keys;
    for (const char* pattern : {"IMG_", "*.jpg", "IMG_2019??0?_*", "holiday", "?????"}) {
        GoalMeasure measure("page of " + what + ": search " + pattern);
        const PageRun run = LoadPage(page, std::string("#search=") + pattern, scratch);
        ready.push_back(run.readyMs);
        keys.push_back(run.keysMs);
        FindQuery query;
        query.pattern = pattern;
        std::size_t found = 0;
        const double reference = Seconds([&] {
            catalogue->Find(query, [&](const CatalogueMatch&) {
                ++found;
                return true;
            });
        });
        measure.Report(
            Fixed(run.searchMs, 0) + " ms, " + run.matches + " matches (the catalogue's --find: " +
                Fixed(reference * 1000, 0) + " ms, " + std::to_string(found) + ")",
            "< " + Fixed(goals.maxSearchSeconds * 1000, 0) + " ms",
            run.searchMs < goals.maxSearchSeconds * 1000 && run.matches == std::to_string(found));
    }
    GoalMeasure measure("page of " + what + ": interactive");
    const double median = Median(ready);
    measure.Report(Fixed(median, 0) + " ms (median of " + std::to_string(ready.size()) +
                       " loads; the page of no medium: " + Fixed(EmptyPageReadyMs(scratch), 0) +
                       " ms; the names' key form after it: " + Fixed(Median(keys), 0) + " ms)",
                   "< " + Fixed(goals.maxReadySeconds * 1000, 0) + " ms",
                   median < goals.maxReadySeconds * 1000);
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        const std::string scratch =
            args.size() == 2 && args[0] == "--keep"
                ? args[1]
                : (std::filesystem::temp_directory_path() / "catalogrium-html-bench").string();
        std::filesystem::create_directories(scratch);
        std::cout << "load average at start: " << Fixed(OneMinuteLoad(), 2) << std::endl;
        const std::size_t tenth = 1000000 / kMediaOfTheMillion;
        const std::string tree = GenerateNamedTree(scratch, tenth);
        MeasurePage(scratch, tree, {tenth, 1, 5, 1, 0.2});
        MeasurePage(scratch, tree, {tenth * kMediaOfTheMillion, kMediaOfTheMillion, 50, 5, 0.5});
        RemoveTree(tree);
        PrintGoalSummary();
        return EXIT_SUCCESS;
    } catch (const std::exception& error) {
        std::cerr << "catalogrium_html_bench: " << error.what() << '\n';
        return EXIT_FAILURE;
    }
}
