// Catalogrium3: lists one folder as a text file or a printed page or case insert.
#include "AppCommandLine.h"
#include "CatalogriumApp.h"
#include "StartFolder.h"

#include <QApplication>

#include <filesystem>
#include <iostream>

namespace {

std::string CurrentFolder() {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    return ec ? std::string() : folder.string();
}

} // namespace

int main(int argc, char** argv) {
    if (AsksForHelpOrVersion(argc, argv)) {
        const QCoreApplication information(argc, argv);
        ShowHelpOrVersion(information);
    }
    QApplication application(argc, argv);
    const StartFolder start =
        FolderFromOperands(CommandLineOperands(application, argc, argv), CurrentFolder());
    if (!start.problem.empty())
        std::cerr << "catalogrium3: " << start.problem << '\n';
    CCatalogriumApp app;
    app.InitInstance(start.path);
    return QApplication::exec();
}
