// The memory of the Find in Catalogue window on a search that matches a million entries, beside
// the memory that holding every match takes (the reference, measured in the same run). Runs
// on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Usage: catalogrium_find_window_bench [FOLDERS [FILES-PER-FOLDER]]
#include "Adding.h"
#include "Catalogue.h"
#include "FindCatalogueWindow.h"
#include "Prompter.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
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
    auto add = catalogue->BeginAdd(NewMedium("Bench", "/media/bench"), false);
    std::vector<RecordedEntry> top;
    for (int f = 0; f < folders; ++f)
        top.push_back({"folder" + std::to_string(f), 0x10, 0, 1700000000});
    add->AddFolder("", top);
    for (int f = 0; f < folders; ++f) {
        std::vector<RecordedEntry> entries;
        for (int i = 0; i < files; ++i)
            entries.push_back({"file" + std::to_string(i) + ".dat", 0x20,
                               static_cast<std::uint64_t>(i), 1700000000 + i});
        add->AddFolder("folder" + std::to_string(f), entries);
    }
    add->Commit();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int folders = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int files = argc > 2 ? std::atoi(argv[2]) : 1000;
    QTemporaryDir dir;
    const std::string location = dir.filePath(QStringLiteral("bench.sqlite")).toStdString();
    FillCatalogue(location, folders, files);
    FindQuery all;
    all.pattern = "file";
    std::printf("matches: %zu\n", OpenCatalogue(location)->Count(all));

    CSilentPrompter prompter;
    const long before = StatusKb("VmRSS");
    {
        CFindCatalogueWindow window(
            location, prompter, [](const std::string&) { return true; },
            dir.filePath(QStringLiteral("find.ini")));
        window.show();
        window.findChild<QLineEdit*>(QStringLiteral("searchField"))->setText("file");
        if (!QTest::qWaitFor([&] { return window.Searching(); }, 5000) ||
            !QTest::qWaitFor([&] { return !window.Searching(); }, 600000)) {
            std::fprintf(stderr, "the search did not end\n");
            return 1;
        }
        std::printf("window: %d rows, \"%s\"; RSS %+ld kB, peak %ld kB\n",
                    window.Model().rowCount(), qPrintable(window.CountText()),
                    StatusKb("VmRSS") - before, StatusKb("VmHWM") - before);
    }
    // The reference: every match held, as a window that kept them all would hold them.
    const long beforeAll = StatusKb("VmRSS");
    std::vector<CatalogueMatch> kept;
    OpenCatalogue(location)->Find(all, [&](const CatalogueMatch& match) {
        kept.push_back(match);
        return true;
    });
    std::printf("every match held: %zu; RSS %+ld kB\n", kept.size(), StatusKb("VmRSS") - beforeAll);
    return 0;
}
