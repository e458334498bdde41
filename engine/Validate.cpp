#include "engine/CatalogriumDoc.h"

#include "engine/Messages.h"
#include "engine/Prompter.h"
#include "engine/Text.h"

#include <cstdlib>
#include <string_view>

namespace {

// Characters no folder name may hold; they are also dropped from the end of a path, with "/".
constexpr std::string_view kForbidden = "*?\"|<>";

// "~" and "~/..." stand for the home folder; without $HOME the path stays as typed.
void ExpandHome(std::string& path) {
    if (path != "~" && !path.starts_with("~/"))
        return;
    const char* env = std::getenv("HOME");
    std::string home = env ? env : "";
    if (home.empty())
        return;
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    const std::string rest = path.substr(1);
    path = home == "/" && !rest.empty() ? rest : home + rest;
}

bool IsTrailingCharacter(char c) {
    return c == '/' || kForbidden.find(c) != kForbidden.npos;
}

// "/data//" becomes "/data"; "/" stays "/". White space that this uncovers goes too ("/data /"
// becomes "/data"): the edit shows the checked path, and the next Go checks it again.
void DropTrailingCharacters(std::string& path) {
    for (std::size_t before = 0; before != path.size();) {
        before = path.size();
        while (path.size() > 1 && IsTrailingCharacter(path.back()))
            path.pop_back();
        path = TrimWhiteSpace(path);
    }
}

} // namespace

void CCatalogriumDoc::ShowError(const std::string& text, const std::string& caption) {
    m_prompter.Prompt(text, caption, MessageIcon::Error, MessageButtons::Ok);
}

bool CCatalogriumDoc::ValidateFolderName(std::string& path) {
    if (path.empty()) {
        ShowError(kEnterPath, kPathErrorCaption);
        return false;
    }
    path = TrimWhiteSpace(path);
    if (path.empty())
        return true; // the scan reads the root
    ExpandHome(path);
    if (path.front() != '/') {
        ShowError(kCheckPath, kPathErrorCaption);
        return false;
    }
    DropTrailingCharacters(path);
    if (path.find_first_of(kForbidden) != std::string::npos) {
        ShowError(kCharacterMessage, kCharacterCaption);
        return false;
    }
    return true;
}
