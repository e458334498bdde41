// ctlgrm's command-line parser, fed arguments split at NUL bytes: an accepted request holds
// only overrides that the profile takes.
#include "engine/Profile.h"
#include "fuzz/FuzzSupport.h"
#include "tools/CommandLine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t nul; (nul = text.find('\0', start)) != std::string::npos; start = nul + 1)
        args.push_back(text.substr(start, nul - start));
    args.push_back(text.substr(start));

    std::string error;
    const auto request = ParseCommandLine(args, error);
    if (!request) {
        Require(!error.empty());
        return 0;
    }
    ListingOptions options;
    for (const ProfileOverride& setting : request->overrides)
        Require(ApplyProfileSetting(options, setting.key, setting.value));
    return 0;
}
