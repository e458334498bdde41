#include "AppCommandLine.h"

#include "CatalogriumApp.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdlib>
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

// Every option of the program is a switch without a value, so an operand is "-" or an
// argument that does not begin with "-", or any argument after "--".
std::vector<std::string> CommandLineOperands(const QCoreApplication& application, int argc,
                                             char** argv) {
    QCommandLineParser parser;
    DescribeCommandLine(parser);
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
