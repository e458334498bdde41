// The folder-path check of the form and of ctlgrm: an accepted path is absolute (or empty,
// for the root), has no trailing slash and no forbidden character, and is accepted again
// unchanged.
#include "engine/CatalogriumDoc.h"
#include "engine/ProgressNote.h"
#include "engine/Prompter.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("HOME", "/home/fuzz", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CSilentPrompter prompter;
    CSilentProgressNote progress;
    CCatalogriumDoc doc(prompter, progress);

    std::string path(reinterpret_cast<const char*>(data), size);
    if (!doc.ValidateFolderName(path))
        return 0;
    if (path.empty())
        return 0;
    Require(path.front() == '/');
    Require(path == "/" || path.back() != '/');
    Require(path.find_first_of(std::string_view("*?\"|<>")) == std::string::npos);
    std::string again = path;
    Require(doc.ValidateFolderName(again) && again == path);
    return 0;
}
