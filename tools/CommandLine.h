#pragma once

#include "catalogue/Catalogue.h"
#include "tools/RecordOutput.h"

#include <optional>
#include <string>
#include <vector>

// One profile setting given on the command line, applied over the loaded profile.
struct ProfileOverride {
    std::string key;
    std::string value;
};

// What ctlgrm is asked to do with the catalogue, besides or instead of the listing.
enum class CatalogueAction {
    None,
    Add,
    Find,
    Media,
    Forget,
    Html,
    Which,
    Diff,
    Verify,
    Duplicates,
    OnlyOnOne,
    Export,
    Import
};

// What --export writes.
enum class ExportChoice { Json, Csv };

struct CatalogueRequest {
    CatalogueAction action = CatalogueAction::None;
    std::string location;                // empty: the embedded file
    std::string name;                    // --add, --forget, --diff, --verify: the medium
    bool replace = false;                // --add, --import: replace a medium of that name or volume
    bool checksums = false;              // --add: keep a hash of every file's content
    std::string folder;                  // --which
    std::string pattern;                 // --find
    std::optional<std::string> medium;   // --find: only this medium (the last given)
    std::vector<std::string> media;      // each --medium given (none: every medium)
    CopiesBy by = CopiesBy::NameAndSize; // --duplicates, --only-on-one
    bool byGiven = false;                // --by was given
    RecordFormat format = RecordFormat::Escaped;    // records: -0 for NUL-terminated
    ExportChoice exportFormat = ExportChoice::Json; // --export
    std::string importPath;                         // --import
    std::optional<std::string> as;                  // --import: the medium's name
};

// What one run of ctlgrm is asked to do.
struct CommandLineRequest {
    bool showHelp = false;
    std::string folder;
    std::optional<std::string> fromCatalogue; // "MEDIUM[/PATH]", listed instead of FOLDER
    std::string profilePath;                  // empty: the default profile
    std::vector<ProfileOverride> overrides;   // in command-line order
    std::string outputPath;                   // empty: standard output
    std::string commentsPath;                 // empty: no comments
    std::string paper = "letter";             // of a PDF output: "letter" or "a4"
    std::optional<std::string> title;         // of a PDF output: the title lines "L1|L2|L3"
    CatalogueRequest catalogue;
};

// Parses the arguments that follow the program name: options (long ones also as
// --name=VALUE), "--" to end them, and exactly one FOLDER, which may be empty (none with
// --find, --media, --forget, --html, --export, --import and --from-catalogue). Every setting
// option becomes an override checked against the profile's keys. Nothing, with `error` set,
// when the arguments cannot be used.
std::optional<CommandLineRequest> ParseCommandLine(const std::vector<std::string>& args,
                                                   std::string& error);

// The usage text, one line per option.
std::string UsageText();
