#pragma once

#include <optional>
#include <string>
#include <vector>

// One profile setting given on the command line, applied over the loaded profile.
struct ProfileOverride {
    std::string key;
    std::string value;
};

// What one run of ctlgrm is asked to do.
struct CommandLineRequest {
    bool showHelp = false;
    std::string folder;
    std::string profilePath;                // empty: the default profile
    std::vector<ProfileOverride> overrides; // in command-line order
    std::string outputPath;                 // empty: standard output
    std::string commentsPath;               // empty: no comments
    std::string paper = "letter";           // of a PDF output: "letter" or "a4"
    std::optional<std::string> title;       // of a PDF output: the title lines "L1|L2|L3"
};

// Parses the arguments that follow the program name: options (long ones also as
// --name=VALUE), "--" to end them, and exactly one FOLDER, which may be empty. Every setting
// option becomes an override checked against the profile's keys. Nothing, with `error` set,
// when the arguments cannot be used.
std::optional<CommandLineRequest> ParseCommandLine(const std::vector<std::string>& args,
                                                   std::string& error);

// The usage text, one line per option.
std::string UsageText();
