#pragma once

#include <string>
#include <string_view>
#include <vector>

class QCoreApplication;

// The command line of catalogrium3: [OPTION]... [FOLDER]. --help and --version print and end
// the program as every Qt program does; FOLDER is the folder shown in the form at start.

// True when the arguments ask for the help or the version, which need no display: the caller
// then makes a QCoreApplication, not a QApplication, and calls ShowHelpOrVersion. (--help-all
// lists Qt's own options too, so it goes the way of every other command line.)
bool AsksForHelpOrVersion(int argc, char** argv);

// Prints the help or the version asked for and ends the program.
[[noreturn]] void ShowHelpOrVersion(const QCoreApplication& application);

// True when Qt has somewhere to show the window: a platform named by QT_QPA_PLATFORM or
// -platform, a display named by -display, DISPLAY or WAYLAND_DISPLAY. Without one, making the
// QApplication would abort the program; the caller then makes it on the offscreen platform,
// where the command line is still read (--help-all, an unknown option), and ends the program
// with NoDisplayText() instead of opening the window.
bool HasDisplay(int argc, char** argv);
std::string NoDisplayText();

// The operands (the arguments that are not options) as the bytes given, once the application
// has taken its own options (-platform, -style, ...) out of argv. An unknown option ends the
// program with a message on standard error and the exit status 1, as in every Qt program.
std::vector<std::string> CommandLineOperands(const QCoreApplication& application, int argc,
                                             char** argv);

// One line on standard error: "catalogrium3: MESSAGE", with control characters shown as "?"
// (the message may quote the arguments).
void ComplainAtStart(std::string_view message);
