#include "tools/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    std::optional<CommandLineRequest> request;
    std::string error;
};

Parsed Parse(std::vector<std::string> args) {
    Parsed p;
    p.request = ParseCommandLine(args, p.error);
    return p;
}

std::vector<std::pair<std::string, std::string>> Overrides(const CommandLineRequest& r) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& o : r.overrides)
        out.emplace_back(o.key, o.value);
    return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(CommandLine, TakesExactlyOneFolderWhichMayBeEmptyOrLookLikeAnOption) {
    EXPECT_EQ(Parse({"/data"}).request->folder, "/data");
    auto empty = Parse({""});
    ASSERT_TRUE(empty.request);
    EXPECT_EQ(empty.request->folder, "");
    EXPECT_EQ(Parse({"--", "-odd"}).request->folder, "-odd");
    EXPECT_EQ(Parse({"-"}).request->folder, "-");

    EXPECT_FALSE(Parse({}).request);
    EXPECT_FALSE(Parse({"--sort", "name"}).request);
    auto two = Parse({"/a", "/b"});
    EXPECT_FALSE(two.request);
    EXPECT_NE(two.error.find("more than one FOLDER"), std::string::npos);
}

TEST(CommandLine, CataloguedFolderIsListedInsteadOfAFolderAndWithoutOtherCatalogueActions) {
    const auto relisted = Parse({"--from-catalogue", "Disc/a/b", "--sort", "name"});
    ASSERT_TRUE(relisted.request) << relisted.error;
    EXPECT_EQ(relisted.request->fromCatalogue, "Disc/a/b");
    EXPECT_EQ(relisted.request->folder, "");
    EXPECT_EQ(Overrides(*relisted.request), (Pairs{{"Sort by", "2"}}));

    EXPECT_NE(Parse({"--from-catalogue", "Disc", "/d"}).error.find("no FOLDER with"),
              std::string::npos);
    for (const auto& action : std::vector<std::vector<std::string>>{
             {"--add", "New"}, {"--find", "x"}, {"--media"}, {"--forget", "Disc"}}) {
        std::vector<std::string> args{"--from-catalogue", "Disc"};
        args.insert(args.end(), action.begin(), action.end());
        EXPECT_EQ(Parse(args).error, "--from-catalogue goes with no other catalogue action");
    }
}

TEST(CommandLine, ExportAndImportTakeTheirOwnOptionsAndNoFolder) {
    const auto csv = Parse({"--export", "csv", "--medium", "A", "--medium=B", "-o", "t.csv"});
    ASSERT_TRUE(csv.request) << csv.error;
    EXPECT_EQ(csv.request->catalogue.action, CatalogueAction::Export);
    EXPECT_EQ(csv.request->catalogue.exportFormat, ExportChoice::Csv);
    EXPECT_EQ(csv.request->catalogue.media, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(csv.request->outputPath, "t.csv");
    const auto import = Parse({"--import", "f.json", "--as", "Disc", "--replace"});
    ASSERT_TRUE(import.request) << import.error;
    EXPECT_EQ(import.request->catalogue.importPath, "f.json");
    EXPECT_EQ(import.request->catalogue.as, "Disc");
    EXPECT_TRUE(import.request->catalogue.replace);

    for (const auto& [args, error] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--export", "xml"}, "unknown export format \"xml\": json or csv"},
             {{"--export", "json", "/d"}, "no FOLDER with"},
             {{"--import", "f", "--export", "json"}, "only one catalogue action"},
             {{"--media", "--medium", "A"}, "--medium goes with --find, --html, --export"},
             {{"--export", "json", "--as", "A"}, "--as goes with --import"},
             {{"--export", "json", "--replace"}, "--replace goes with --add or --import"}}) {
        const auto parsed = Parse(args);
        EXPECT_FALSE(parsed.request) << error;
        EXPECT_NE(parsed.error.find(error), std::string::npos) << parsed.error;
    }
}

TEST(CommandLine, HelpNeedsNoFolder) {
    EXPECT_TRUE(Parse({"--help"}).request->showHelp);
    EXPECT_TRUE(Parse({"-h"}).request->showHelp);
}

TEST(CommandLine, OptionValuesComeAttachedOrAsTheNextArgument) {
    EXPECT_EQ(Parse({"-o", "out.txt", "/d"}).request->outputPath, "out.txt");
    EXPECT_EQ(Parse({"-oout.txt", "/d"}).request->outputPath, "out.txt");
    EXPECT_EQ(Parse({"--output=out.txt", "/d"}).request->outputPath, "out.txt");
    EXPECT_EQ(Parse({"--output", "-", "/d"}).request->outputPath, "");
    EXPECT_EQ(Parse({"--output", "./-", "/d"}).request->outputPath, "./-");
    EXPECT_EQ(Parse({"/d", "--profile", "p.ini"}).request->profilePath, "p.ini");
    EXPECT_EQ(Parse({"--comments=c.txt", "/d"}).request->commentsPath, "c.txt");
}

TEST(CommandLine, RefusesMalformedOptions) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--bogus", "/d"},
                                               {"-x", "/d"},
                                               {"/d", "-o"},
                                               {"-o", "", "/d"},
                                               {"--descend=1", "/d"},
                                               {"-hv", "/d"}}) {
        const auto parsed = Parse(args);
        EXPECT_FALSE(parsed.request) << testing::PrintToString(args);
        EXPECT_FALSE(parsed.error.empty()) << testing::PrintToString(args);
    }
    const auto afterDashes = Parse({"--", "--help"});
    ASSERT_TRUE(afterDashes.request) << afterDashes.error;
    EXPECT_FALSE(afterDashes.request->showHelp);
}

TEST(CommandLine, SetSplitsAtTheFirstEqualsAndKeepsBlanks) {
    EXPECT_EQ(Overrides(*Parse({"--set", "Print as =1", "/d"}).request),
              (Pairs{{"Print as ", "1"}}));
    EXPECT_EQ(Overrides(*Parse({"--set=current Font=A=B", "/d"}).request),
              (Pairs{{"current Font", "A=B"}}));
}

TEST(CommandLine, SetRefusesWhatTheProfileWouldNotRead) {
    for (const char* bad : {"Print as=1", "Sort by", "Sort by=name", "Size=0", "colour=red"}) {
        auto p = Parse({"--set", bad, "/d"});
        EXPECT_FALSE(p.request) << bad;
        EXPECT_FALSE(p.error.empty()) << bad;
    }
}

TEST(CommandLine, SettingOptionsBecomeOverridesInCommandLineOrder) {
    auto p = Parse({"--sort", "extension", "--descend", "--entries", "files", "--delimited",
                    "--uppercase", "--set", "Sort by=5", "/d"});
    ASSERT_TRUE(p.request) << p.error;
    EXPECT_EQ(Overrides(*p.request), (Pairs{{"Sort by", "4"},
                                            {"Descend", "1"},
                                            {"Files and Folders", "1"},
                                            {"Delimited", "1"},
                                            {"All in UpperCase", "1"},
                                            {"Sort by", "5"}}));
}

TEST(CommandLine, ChoiceWordsMapToTheirSettingValues) {
    const char* sorts[] = {"none", "size", "name", "attribute", "extension", "time"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Overrides(*Parse({"--sort", sorts[i], "/d"}).request),
                  (Pairs{{"Sort by", std::to_string(i)}}));
    const char* entries[] = {"folders", "files", "both"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Overrides(*Parse({"--entries", entries[i], "/d"}).request),
                  (Pairs{{"Files and Folders", std::to_string(i)}}));
    EXPECT_FALSE(Parse({"--sort", "Name", "/d"}).request);
    EXPECT_FALSE(Parse({"--entries", "2", "/d"}).request);
}

TEST(CommandLine, UsageNamesEveryOption) {
    std::string usage = UsageText();
    for (const char* option :
         {"-o, --output FILE", "--profile FILE", "--set KEY=VALUE", "--sort", "--descend",
          "--entries", "--delimited", "--uppercase", "--comments FILE", "-h, --help"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

} // namespace
