#include "ContainingFolder.h"

#include "engine/Prompter.h"
#include "shell/NameBytes.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

// The folder that holds the entry at `path`.
std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string()
                                      : path.substr(0, std::max<std::size_t>(slash, 1));
}

} // namespace

std::string_view NameOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void OpenContainingFolder(const CatalogueMatch& match, const FolderOpener& openFolder,
                          IPrompter& prompter) {
    const std::string folder = FolderOf(match.path);
    std::error_code error;
    std::string problem;
    if (!std::filesystem::is_directory(folder, error))
        problem = "The folder " + folder + " is not there: the medium \"" + match.medium +
                  "\" is not mounted where it was when it was added.";
    else if (!openFolder(folder))
        problem = "No file manager could show the folder " + folder + ".";
    else
        return;
    prompter.Prompt(ReadableName(problem).toStdString(), kAppTitle, MessageIcon::Information,
                    MessageButtons::Ok);
}
