// Catalogrium3: lists one folder as a text file or a printed page or case insert.
#include "shell/AppCommandLine.h"
#include "shell/CatalogriumApp.h"
#include "shell/StartFolder.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>

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
    const bool hasDisplay = HasDisplay(argc, argv);
    if (!hasDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::vector<std::string> operands = CommandLineOperands(application, argc, argv);
    if (!hasDisplay) {
        ComplainAtStart(NoDisplayText());
        return EXIT_FAILURE;
    }
    const StartFolder start = FolderFromOperands(operands, CurrentFolder());
    if (!start.problem.empty())
        ComplainAtStart(start.problem);
    CCatalogriumApp app;
    app.InitInstance(start.path);
    return QApplication::exec();
}
