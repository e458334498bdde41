// How soon a catalogued medium's window shows its listed folder, and a folder once asked for,
// on a medium of a million entries, on SQLite and on a PostgreSQL server started for the run;
// beside the catalogue's own calls that the window cannot do without (the reference, measured
// in the same run). Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Usage: catalogrium_medium_window_bench [FOLDERS [FILES-PER-FOLDER]]
#include "bench/BenchReport.h"
#include "catalogue/Catalogue.h"
#include "engine/Prompter.h"
#include "shell/MediumWindow.h"
#include "tests/support/MadeUpEntry.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QEventLoop>
#include <QTreeWidget>

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kRounds = 9;
constexpr int kFoldersOpened = 25;
const std::string kMedium = "Bench";

// One medium: `folders` folders below the listed one, `files` files in each.
void FillCatalogue(const std::string& location, int folders, int files) {
    auto catalogue = OpenCatalogue(location);
    Medium medium;
    medium.name = kMedium;
    medium.folder = "/media/bench";
    medium.volume = {"BENCH", "0000-BENCH", "ext4", "/"};
    AddFoldersOfFiles(*catalogue, medium, folders, files, 37);
}

// Runs the event loop until the window shows the entries of a folder (`id`, or any).
void WaitForEntries(CMediumWindow& window, std::optional<std::int64_t> id = std::nullopt) {
    QEventLoop loop;
    QObject::connect(&window, &CMediumWindow::entriesShown, &loop, [&](std::int64_t shown) {
        if (!id || shown == *id)
            loop.quit();
    });
    loop.exec();
}

// The window made and shown, until its listed folder's entries show.
double RootShown(const std::string& location) {
    CSilentPrompter prompter;
    return Seconds([&] {
        CMediumWindow window(location, kMedium, prompter);
        window.show();
        WaitForEntries(window);
    });
}

// What the window cannot do without: a connection, the media, the listed folder's entries.
double RootReference(const std::string& location) {
    return Seconds([&] {
        const auto catalogue = OpenCatalogue(location, CatalogueUse::LookUp);
        catalogue->Media();
        catalogue->FolderEntries(kMedium, 0);
    });
}

// Opens folders spread over the medium, one after the other, in one window; each time from
// the moment it is asked for until its entries show.
std::vector<double> FoldersOpened(const std::string& location) {
    CSilentPrompter prompter;
    CMediumWindow window(location, kMedium, prompter);
    window.show();
    WaitForEntries(window);
    QTreeWidgetItem* root = window.Tree()->topLevelItem(0);
    std::vector<double> times;
    const int step = std::max(1, root->childCount() / kFoldersOpened);
    for (int i = 0; i < root->childCount(); i += step) {
        const std::int64_t id = root->child(i)->data(0, Qt::UserRole).toLongLong();
        times.push_back(Seconds([&] {
            window.OpenFolder(id);
            WaitForEntries(window, id);
        }));
    }
    return times;
}

// A connection and one folder's entries.
double FolderReference(const std::string& location, std::int64_t id) {
    return Seconds(
        [&] { OpenCatalogue(location, CatalogueUse::LookUp)->FolderEntries(kMedium, id); });
}

std::string Ms(double seconds) {
    return Fixed(seconds * 1000, 1) + " ms";
}

void Measure(const std::string& label, const std::string& location) {
    {
        GoalMeasure measure(label + ": the listed folder shown");
        std::vector<double> window;
        std::vector<double> reference;
        for (int round = 0; round < kRounds; ++round) {
            window.push_back(RootShown(location));
            reference.push_back(RootReference(location));
        }
        const double shown = Median(window);
        const double bare = Median(reference);
        measure.Report(Ms(shown) + " (catalogue calls alone " + Ms(bare) + ", x" +
                           Fixed(shown / bare, 1) + ")",
                       "< 150 ms", shown < 0.150);
    }
    {
        GoalMeasure measure(label + ": a folder opened");
        const std::vector<double> opened = FoldersOpened(location);
        std::vector<double> reference;
        for (std::size_t i = 0; i < opened.size(); ++i)
            reference.push_back(FolderReference(location, 1 + static_cast<std::int64_t>(i)));
        const double median = Median(opened);
        const double bare = Median(reference);
        const double slowest = *std::max_element(opened.begin(), opened.end());
        measure.Report(Ms(median) + " median, " + Ms(slowest) + " slowest of " +
                           std::to_string(opened.size()) + " (catalogue calls alone " + Ms(bare) +
                           ", x" + Fixed(median / bare, 1) + ")",
                       "< 50 ms", slowest < 0.050);
    }
}

void MakeDatabase(const PostgresServer& server, const std::string& name) {
    PGconn* conn = PQconnectdb(server.Uri().c_str());
    PQclear(PQexec(conn, ("CREATE DATABASE " + name).c_str()));
    PQfinish(conn);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int folders = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int files = argc > 2 ? std::atoi(argv[2]) : 999;
    if (argc > 3 || folders < 1 || files < 0) {
        std::fprintf(stderr,
                     "usage: catalogrium_medium_window_bench [FOLDERS [FILES-PER-FOLDER]], at "
                     "least one folder\n");
        return EXIT_FAILURE;
    }
    std::printf("A medium of %d folders of %d files: %d entries; load %s\n", folders, files,
                folders * (files + 1), Fixed(OneMinuteLoad(), 2).c_str());
    TempDir data;
    const std::string sqlite = (data.path() / "catalogue.sqlite").string();
    FillCatalogue(sqlite, folders, files);
    Measure("SQLite", sqlite);

    PostgresServer server;
    MakeDatabase(server, "bench");
    FillCatalogue(server.Uri("bench"), folders, files);
    Measure("PostgreSQL", server.Uri("bench"));
    PrintGoalSummary();
    return 0;
}
