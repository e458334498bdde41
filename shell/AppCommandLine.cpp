#include "AppCommandLine.h"

#include "engine/Text.h"
#include "shell/CatalogriumApp.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string_view>

namespace {

void DescribeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Lists a folder as a text file, a printed page or a CD or Zip case insert."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("folder"),
        QStringLiteral("The folder to show in the form: a path or a file: URI."),
        QStringLiteral("[FOLDER]"));
}

QStringList Arguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

bool AsksForHelpOrVersion(int argc, char** argv) {
    QCommandLineParser parser;
    DescribeCommandLine(parser);
    // An unknown option may be one of Qt's own, which only the application takes out.
    parser.parse(Arguments(argc, argv));
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"));
}

// The version wins over the help when both are asked for, as in QCommandLineParser::process.
void ShowHelpOrVersion(const QCoreApplication& application) {
    CCatalogriumApp::SetIdentity();
    QCommandLineParser parser;
    DescribeCommandLine(parser);
    parser.parse(application.arguments());
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    parser.showHelp(EXIT_SUCCESS);
}

bool HasDisplay(int argc, char** argv) {
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(variable))
            return true;
    // Qt reads its own options with one dash or two.
    return std::any_of(argv + 1, argv + argc, [](const char* argument) {
        const std::string_view option = std::string_view(argument).starts_with("--")
                                            ? std::string_view(argument + 1)
                                            : std::string_view(argument);
        return option == "-platform" || option == "-display";
    });
}

std::string NoDisplayText() {
    return "cannot open the window: no display is set (DISPLAY, WAYLAND_DISPLAY)";
}

void ComplainAtStart(std::string_view message) {
    std::cerr << "catalogrium3: " << ReplaceControlChars(message) << '\n';
}

// Every option of the program is a switch without a value, so an operand is "-" or an
// argument that does not begin with "-", or any argument after "--".
std::vector<std::string> CommandLineOperands(const QCoreApplication& application, int argc,
                                             char** argv) {
    QCommandLineParser parser;
    DescribeCommandLine(parser);
    // Qt's own report of a bad option would show its control characters as they are.
    if (!parser.parse(application.arguments())) {
        ComplainAtStart(parser.errorText().toStdString());
        std::exit(EXIT_FAILURE);
    }
    parser.process(application);
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!optionsEnded && argument == "--")
            optionsEnded = true;
        else if (optionsEnded || argument.size() < 2 || argument.front() != '-')
            operands.emplace_back(argument);
    }
    return operands;
}
