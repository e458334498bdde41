#include "CommandLine.h"

#include "engine/ListingOptions.h"
#include "engine/Profile.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

using Apply = bool (*)(CommandLineRequest&, const std::string& value, std::string& error);

struct OptionSpec {
    std::string_view longName;
    char shortName;            // 0: none
    std::string_view argument; // shown in the usage; empty for a switch
    std::string_view help;
    Apply apply;
};

// Adds the override, refusing a key the profile does not read or a value it cannot hold.
bool AddOverride(CommandLineRequest& request, const std::string& key, const std::string& value,
                 std::string& error) {
    ListingOptions probe;
    if (!ApplyProfileSetting(probe, key, value)) {
        error = "unknown setting or bad value: \"" + key + "=" + value + "\"";
        return false;
    }
    request.overrides.push_back({key, value});
    return true;
}

// The override for a word chosen from `words`, stored as the word's position.
template <std::size_t N>
bool AddChoice(CommandLineRequest& request, const char* key,
               const std::array<std::string_view, N>& words, const std::string& word,
               std::string& error) {
    auto it = std::find(words.begin(), words.end(), word);
    if (it == words.end()) {
        error = "unknown choice \"" + word + "\" for \"" + key + "\"";
        return false;
    }
    return AddOverride(request, key, std::to_string(it - words.begin()), error);
}

constexpr std::array<std::string_view, 6> kSortWords{"none",      "size",      "name",
                                                     "attribute", "extension", "time"};
constexpr std::array<std::string_view, 3> kEntryWords{"folders", "files", "both"};
// "Print as " values of the printed layouts.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kLayoutWords{
    {{"standard", "0"}, {"cd", "2"}, {"zip", "3"}}};

bool AddLayout(CommandLineRequest& request, const std::string& word, std::string& error) {
    for (const auto& [name, value] : kLayoutWords)
        if (name == word)
            return AddOverride(request, "Print as ", std::string(value), error);
    error = "unknown layout \"" + word + "\": standard, cd or zip";
    return false;
}

// At most one catalogue action a run.
bool SetAction(CommandLineRequest& request, CatalogueAction action, std::string& error) {
    if (request.catalogue.action != CatalogueAction::None) {
        error = "only one catalogue action (such as --add, --find or --media) at a time";
        return false;
    }
    request.catalogue.action = action;
    return true;
}

const std::array<OptionSpec, 37> kOptions{{
    {"output", 'o', "FILE", "write the listing file to FILE (\"-\": standard output, the default)",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         if (v.empty()) {
             e = "--output needs a file name";
             return false;
         }
         r.outputPath = v == "-" ? std::string() : v;
         return true;
     }},
    {"profile", 0, "FILE", "read the settings from FILE instead of the user's profile",
     [](CommandLineRequest& r, const std::string& v, std::string&) {
         r.profilePath = v;
         return true;
     }},
    {"set", 0, "KEY=VALUE", "override one profile setting (repeatable), e.g. \"Print as =1\"",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         auto eq = v.find('=');
         if (eq == std::string::npos) {
             e = "--set needs KEY=VALUE, got \"" + v + "\"";
             return false;
         }
         return AddOverride(r, v.substr(0, eq), v.substr(eq + 1), e);
     }},
    {"sort", 0, "KEY", "sort by KEY: none, size, name, attribute, extension or time",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         return AddChoice(r, "Sort by", kSortWords, v, e);
     }},
    {"descend", 0, "", "sort in descending order",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return AddOverride(r, "Descend", "1", e);
     }},
    {"entries", 0, "WHICH", "list folders, files or both",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         return AddChoice(r, "Files and Folders", kEntryWords, v, e);
     }},
    {"delimited", 0, "", "write the comma-delimited file",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return AddOverride(r, "Delimited", "1", e);
     }},
    {"uppercase", 0, "", "give every name in upper case",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return AddOverride(r, "All in UpperCase", "1", e);
     }},
    {"comments", 0, "FILE",
     "attach the comments of FILE (lines NAME<TAB>COMMENT, up to 3 comments)",
     [](CommandLineRequest& r, const std::string& v, std::string&) {
         r.commentsPath = v;
         return true;
     }},
    {"layout", 0, "LAYOUT", "PDF (-o NAME.pdf) layout: standard, cd or zip (default: profile's)",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         return AddLayout(r, v, e);
     }},
    {"two-column", 0, "", "PDF: two columns to a CD or Zip panel",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return AddOverride(r, "Two Column", "1", e);
     }},
    {"no-title", 0, "", "PDF: leave out the title block",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return AddOverride(r, "Print Title", "0", e);
     }},
    {"no-summary", 0, "", "PDF: leave out the summary",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return AddOverride(r, "Summary", "0", e);
     }},
    {"no-grid", 0, "", "PDF: draw the CD and Zip outlines without their grid",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return AddOverride(r, "Do not draw Grid", "1", e);
     }},
    {"paper", 0, "PAPER", "PDF: letter (default) or a4",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         if (v != "letter" && v != "a4") {
             e = "unknown paper \"" + v + "\": letter or a4";
             return false;
         }
         r.paper = v;
         return true;
     }},
    {"title", 0, "\"L1|L2|L3\"", "PDF: these title lines instead of the folder path and date",
     [](CommandLineRequest& r, const std::string& v, std::string&) {
         r.title = v;
         return true;
     }},
    {"catalogue", 0, "FILE|URI",
     "the catalogue: an SQLite file or a postgresql:// URI (default: the user's file)",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         if (v.empty()) {
             e = "--catalogue needs a file or a URI";
             return false;
         }
         r.catalogue.location = v;
         return true;
     }},
    {"add", 0, "NAME", "list FOLDER as usual and add it to the catalogue as medium NAME",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         r.catalogue.name = v;
         return SetAction(r, CatalogueAction::Add, e);
     }},
    {"replace", 0, "", "--add, --import: replace the medium of that name or on that volume",
     [](CommandLineRequest& r, const std::string&, std::string&) {
         r.catalogue.replace = true;
         return true;
     }},
    {"find", 0, "PATTERN",
     "print the catalogued entries whose names hold PATTERN, or match it with * and ?",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         r.catalogue.pattern = v;
         return SetAction(r, CatalogueAction::Find, e);
     }},
    {"medium", 0, "NAME",
     "--find: only on the medium NAME; --html, --duplicates, --only-on-one, --export: this "
     "medium (repeatable)",
     [](CommandLineRequest& r, const std::string& v, std::string&) {
         r.catalogue.medium = v;
         r.catalogue.media.push_back(v);
         return true;
     }},
    {"duplicates", 0, "", "print the groups of files held more than once, the largest waste first",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return SetAction(r, CatalogueAction::Duplicates, e);
     }},
    {"only-on-one", 0, "", "print the files that no other medium holds",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return SetAction(r, CatalogueAction::OnlyOnOne, e);
     }},
    {"by", 0, "HOW",
     "--duplicates, --only-on-one: tell copies by name-size (the default) or by content",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         r.catalogue.byGiven = true;
         if (v == "name-size" || v == "content") {
             r.catalogue.by = v == "content" ? CopiesBy::Content : CopiesBy::NameAndSize;
             return true;
         }
         e = "unknown choice \"" + v + "\" for --by: name-size or content";
         return false;
     }},
    {"media", 0, "", "print the catalogued media",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return SetAction(r, CatalogueAction::Media, e);
     }},
    {"null", '0', "",
     "--find, --media, --which: each field as it is, ended by a NUL, instead of escaped between "
     "tabs",
     [](CommandLineRequest& r, const std::string&, std::string&) {
         r.catalogue.format = RecordFormat::NulTerminated;
         return true;
     }},
    {"from-catalogue", 0, "MEDIUM[/PATH]",
     "list the catalogued folder PATH of MEDIUM (its listed folder without PATH) as it was added",
     [](CommandLineRequest& r, const std::string& v, std::string&) {
         r.fromCatalogue = v;
         return true;
     }},
    {"forget", 0, "NAME", "remove the medium NAME from the catalogue",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         r.catalogue.name = v;
         return SetAction(r, CatalogueAction::Forget, e);
     }},
    {"html", 0, "",
     "write the catalogued media as one HTML page, with their folders and a search, to the "
     "--output file",
     [](CommandLineRequest& r, const std::string&, std::string& e) {
         return SetAction(r, CatalogueAction::Html, e);
     }},
    {"checksums", 0, "", "--add: keep a hash of every file's content, for --verify",
     [](CommandLineRequest& r, const std::string&, std::string&) {
         r.catalogue.checksums = true;
         return true;
     }},
    {"which", 0, "FOLDER", "print the media listed from FOLDER, wherever its volume is mounted",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         r.catalogue.folder = v;
         return SetAction(r, CatalogueAction::Which, e);
     }},
    {"diff", 0, "MEDIUM", "print what differs between FOLDER and the medium MEDIUM",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         r.catalogue.name = v;
         return SetAction(r, CatalogueAction::Diff, e);
     }},
    {"verify", 0, "MEDIUM",
     "as --diff, and also every file of FOLDER whose content no longer has its hash",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         r.catalogue.name = v;
         return SetAction(r, CatalogueAction::Verify, e);
     }},
    {"export", 0, "FORMAT",
     "write the catalogued media (all, or those of --medium) as json or csv (-o FILE)",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         if (v != "json" && v != "csv") {
             e = "unknown export format \"" + v + "\": json or csv";
             return false;
         }
         r.catalogue.exportFormat = v == "json" ? ExportChoice::Json : ExportChoice::Csv;
         return SetAction(r, CatalogueAction::Export, e);
     }},
    {"import", 0, "FILE",
     "add the media of FILE: this program's JSON export, or the JSON of ncdu -o",
     [](CommandLineRequest& r, const std::string& v, std::string& e) {
         r.catalogue.importPath = v;
         return SetAction(r, CatalogueAction::Import, e);
     }},
    {"as", 0, "NAME", "--import: name the medium NAME (an ncdu file's root otherwise)",
     [](CommandLineRequest& r, const std::string& v, std::string&) {
         r.catalogue.as = v;
         return true;
     }},
    {"help", 'h', "", "show this help and exit",
     [](CommandLineRequest& r, const std::string&, std::string&) {
         r.showHelp = true;
         return true;
     }},
}};

const OptionSpec* FindLong(std::string_view name) {
    auto it = std::find_if(kOptions.begin(), kOptions.end(),
                           [name](const OptionSpec& o) { return o.longName == name; });
    return it == kOptions.end() ? nullptr : &*it;
}

const OptionSpec* FindShort(char name) {
    auto it = std::find_if(kOptions.begin(), kOptions.end(),
                           [name](const OptionSpec& o) { return o.shortName == name; });
    return it == kOptions.end() ? nullptr : &*it;
}

// Walks the arguments, taking option values from the same argument or the next one.
class Parser {
public:
    Parser(const std::vector<std::string>& args, std::string& error)
        : m_args(args), m_error(error) {}

    std::optional<CommandLineRequest> Run() {
        bool optionsEnded = false;
        for (m_next = 0; m_next < m_args.size();) {
            const std::string& arg = m_args[m_next++];
            bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
            if (isOption && arg == "--")
                optionsEnded = true;
            else if (isOption && !(arg[1] == '-' ? LongOption(arg) : ShortOption(arg)))
                return std::nullopt;
            else if (!isOption && !Folder(arg))
                return std::nullopt;
        }
        if (!m_request.showHelp && !CheckCatalogueRequest())
            return std::nullopt;
        return m_request;
    }

private:
    bool LongOption(const std::string& arg) {
        auto eq = arg.find('=');
        std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const OptionSpec* option = FindLong(name);
        if (!option)
            return Fail("unknown option \"--" + name + "\"");
        if (option->argument.empty() && eq != std::string::npos)
            return Fail("option \"--" + name + "\" takes no value");
        if (option->argument.empty())
            return option->apply(m_request, {}, m_error);
        if (eq != std::string::npos)
            return option->apply(m_request, arg.substr(eq + 1), m_error);
        return ApplyNext(*option, "--" + name);
    }

    bool ShortOption(const std::string& arg) {
        const OptionSpec* option = FindShort(arg[1]);
        if (!option)
            return Fail("unknown option \"" + arg.substr(0, 2) + "\"");
        if (option->argument.empty()) {
            if (arg.size() > 2)
                return Fail("option \"" + arg.substr(0, 2) + "\" takes no value");
            return option->apply(m_request, {}, m_error);
        }
        if (arg.size() > 2)
            return option->apply(m_request, arg.substr(2), m_error);
        return ApplyNext(*option, arg);
    }

    bool ApplyNext(const OptionSpec& option, const std::string& shownName) {
        if (m_next >= m_args.size())
            return Fail("option \"" + shownName + "\" needs " + std::string(option.argument));
        return option.apply(m_request, m_args[m_next++], m_error);
    }

    // The folder is listed unless the catalogue is only searched or changed.
    bool CheckCatalogueRequest() {
        const CatalogueRequest& c = m_request.catalogue;
        const bool lists = c.action == CatalogueAction::None || c.action == CatalogueAction::Add;
        const bool compares =
            c.action == CatalogueAction::Diff || c.action == CatalogueAction::Verify;
        const bool takesFolder = (lists && !m_request.fromCatalogue) || compares;
        if (m_request.fromCatalogue && c.action != CatalogueAction::None)
            return Fail("--from-catalogue goes with no other catalogue action");
        if (c.replace && c.action != CatalogueAction::Add && c.action != CatalogueAction::Import)
            return Fail("--replace goes with --add or --import");
        if (c.checksums && c.action != CatalogueAction::Add)
            return Fail("--checksums goes with --add");
        const bool comparesCopies =
            c.action == CatalogueAction::Duplicates || c.action == CatalogueAction::OnlyOnOne;
        if (c.medium && c.action != CatalogueAction::Find && c.action != CatalogueAction::Html &&
            c.action != CatalogueAction::Export && !comparesCopies)
            return Fail(
                "--medium goes with --find, --html, --export, --duplicates or --only-on-one");
        if (c.as && c.action != CatalogueAction::Import)
            return Fail("--as goes with --import");
        if (c.byGiven && !comparesCopies)
            return Fail("--by goes with --duplicates or --only-on-one");
        const bool printsRecords = comparesCopies || c.action == CatalogueAction::Find ||
                                   c.action == CatalogueAction::Media ||
                                   c.action == CatalogueAction::Which;
        if (c.format == RecordFormat::NulTerminated && !printsRecords)
            return Fail("--null goes with --find, --media, --which, --duplicates or --only-on-one");
        if (takesFolder && !m_haveFolder)
            return Fail("missing FOLDER");
        if (!takesFolder && m_haveFolder)
            return Fail("no FOLDER with --find, --media, --forget, --html, --export, --import, "
                        "--which, --duplicates, --only-on-one or --from-catalogue");
        return true;
    }

    bool Folder(const std::string& arg) {
        if (m_haveFolder)
            return Fail("more than one FOLDER: \"" + m_request.folder + "\" and \"" + arg + "\"");
        m_request.folder = arg;
        m_haveFolder = true;
        return true;
    }

    bool Fail(const std::string& message) {
        m_error = message;
        return false;
    }

    const std::vector<std::string>& m_args;
    std::string& m_error;
    std::size_t m_next = 0;
    CommandLineRequest m_request;
    bool m_haveFolder = false;
};

std::string OptionColumn(const OptionSpec& option) {
    std::string text = option.shortName ? std::string("-") + option.shortName + ", " : "    ";
    text.append("--").append(option.longName);
    if (!option.argument.empty())
        text.append(" ").append(option.argument);
    return text;
}

} // namespace

std::optional<CommandLineRequest> ParseCommandLine(const std::vector<std::string>& args,
                                                   std::string& error) {
    return Parser(args, error).Run();
}

std::string UsageText() {
    std::string text =
        "Usage: ctlgrm [OPTION]... [--] FOLDER\n"
        "       ctlgrm [--catalogue FILE|URI] --add NAME [--replace] [--checksums] "
        "[OPTION]... FOLDER\n"
        "       ctlgrm [--catalogue FILE|URI] --find PATTERN [--medium NAME] [-0]\n"
        "       ctlgrm [--catalogue FILE|URI] --media [-0] | --forget NAME\n"
        "       ctlgrm [--catalogue FILE|URI] --html [--medium NAME]... -o FILE\n"
        "       ctlgrm [--catalogue FILE|URI] --export json|csv [--medium NAME]... "
        "[-o FILE]\n"
        "       ctlgrm [--catalogue FILE|URI] --import FILE [--as NAME] [--replace]\n"
        "       ctlgrm [--catalogue FILE|URI] --duplicates | --only-on-one "
        "[--by name-size|content] [--medium NAME]... [-0]\n"
        "       ctlgrm [--catalogue FILE|URI] --from-catalogue MEDIUM[/PATH] "
        "[OPTION]...\n"
        "       ctlgrm [--catalogue FILE|URI] --which FOLDER [-0]\n"
        "       ctlgrm [--catalogue FILE|URI] --diff|--verify MEDIUM FOLDER\n"
        "Writes the listing file of FOLDER with the settings of the profile; keeps "
        "listed media in a catalogue and finds files in it.\n\n";
    std::size_t width = 0;
    for (const auto& option : kOptions)
        width = std::max(width, OptionColumn(option).size());
    for (const auto& option : kOptions) {
        std::string column = OptionColumn(option);
        text += "  " + column + std::string(width - column.size() + 2, ' ') +
                std::string(option.help) + "\n";
    }
    return text;
}
