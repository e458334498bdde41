#pragma once

#include "catalogue/Catalogue.h"

#include <functional>
#include <string>
#include <string_view>

class IPrompter;

// Shows a folder in the file manager; false when none could.
using FolderOpener = std::function<bool(const std::string& folder)>;

// The last part of a path: the entry's own name.
std::string_view NameOf(std::string_view path);

// Opens the folder that holds the found entry, or tells the user why not: the folder is not
// there (the medium is not mounted where it was when added), or no file manager could show it.
void OpenContainingFolder(const CatalogueMatch& match, const FolderOpener& openFolder,
                          IPrompter& prompter);
