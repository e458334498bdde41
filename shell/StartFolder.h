#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Folders that reach the program from outside the form: the folder named on the command line
// and the items dropped on the window by a file manager. Both come as local paths or as
// "file:" URIs; a path keeps the bytes it was given, whatever their encoding, so a name that
// is not UTF-8 still names its folder.

// The local path of a "file:" URI, percent-decoded byte for byte: "file:///a%20b" and
// "file://localhost/a%20b" give "/a b". Nothing for another scheme or another host.
std::optional<std::string> LocalPathOfUri(std::string_view uri);

// The folder the command line names, and why there is none when it names none that can be
// opened: `problem` is then a one-line message and `path` is empty.
struct StartFolder {
    std::string path;
    std::string problem;
};

// The folder named by `operands` (the arguments that are not options): none at all, or one
// absolute path, path relative to `currentFolder` or "file:" URI that names a folder.
StartFolder FolderFromOperands(const std::vector<std::string>& operands,
                               const std::string& currentFolder);

// The folder that a drop of the local `paths` names, in the drop's order: the first of them
// that is a folder, else the folder holding the first file; nothing when none exists.
std::optional<std::string> FolderOfDroppedPaths(const std::vector<std::string>& paths);
