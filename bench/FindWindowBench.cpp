// The memory of the Find in Catalogue window on a search that matches a million entries, beside
// the memory that holding every match takes (the reference, measured in the same run). Runs
// on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Usage: catalogrium_find_window_bench CATALOGUE make [FOLDERS [FILES-PER-FOLDER]], then
// CATALOGUE window and CATALOGUE all.
#include "catalogue/Adding.h"
#include "catalogue/Catalogue.h"
#include "engine/Prompter.h"
#include "shell/FindCatalogueWindow.h"
#include "tests/support/MadeUpEntry.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long StatusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    return -1;
}

// One medium of `folders` folders of `files` files each, every name holding "file".
void FillCatalogue(const std::string& location, int folders, int files) {
    auto catalogue = OpenCatalogue(location);
    AddFoldersOfFiles(*catalogue, NewMedium("Bench", "/media/bench"), folders, files);
}

// The window searching for every entry, until the search is over.
int SearchInWindow(const std::string& location, const QString& settings) {
    CSilentPrompter prompter;
    CFindCatalogueWindow window(
        location, prompter, [](const std::string&) { return true; }, settings);
    window.show();
    window.findChild<QLineEdit*>(QStringLiteral("searchField"))->setText("file");
    if (!QTest::qWaitFor([&] { return window.Searching(); }, 5000) ||
        !QTest::qWaitFor([&] { return !window.Searching(); }, 600000)) {
        std::fprintf(stderr, "the search did not end\n");
        return 1;
    }
    std::printf("window: %d rows, \"%s\"\n", window.Model().rowCount(),
                qPrintable(window.CountText()));
    return 0;
}

// Every match held, as a window that kept them all would hold them.
int KeepEveryMatch(const std::string& location) {
    std::vector<CatalogueMatch> kept;
    FindQuery all;
    all.pattern = "file";
    OpenCatalogue(location)->Find(all, [&](const CatalogueMatch& match) {
        kept.push_back(match);
        return true;
    });
    std::printf("every match held: %zu\n", kept.size());
    return 0;
}

} // namespace

// Each measure runs in a process of its own, over a catalogue that an earlier run made.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CATALOGUE make|window|all [FOLDERS [FILES]]\n", argv[0]);
        return 2;
    }
    const std::string location = argv[1];
    const std::string what = argv[2];
    const long before = StatusKb("VmRSS");
    int result = 0;
    if (what == "make")
        FillCatalogue(location, argc > 3 ? std::atoi(argv[3]) : 1000,
                      argc > 4 ? std::atoi(argv[4]) : 1000);
    else if (what == "window")
        result = SearchInWindow(location, QString::fromStdString(location + ".ini"));
    else
        result = KeepEveryMatch(location);
    std::printf("%s: RSS before %ld kB, peak %ld kB\n", what.c_str(), before, StatusKb("VmHWM"));
    return result;
}
