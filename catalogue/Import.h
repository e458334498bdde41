#pragma once

#include "catalogue/Catalogue.h"

#include <istream>
#include <optional>
#include <string>
#include <vector>

struct ImportOptions {
    // The name of the medium that an ncdu file (or a document of one medium) becomes; none: the
    // ncdu file's root, the document's own names.
    std::optional<std::string> as;
    // Whether a medium of the same name or folder is replaced, as an add replaces it.
    bool replace = false;
};

// Adds the media of `in` to the catalogue, all of them in one transaction: the program's own
// JSON document (an object; every medium in it, with its entries as they were numbered), or the
// JSON that `ncdu -o` writes (an array; one medium of the folder it read, its names as their
// bytes, sizes as ncdu's apparent sizes, times as recorded with `ncdu -e`, else 1970). The
// totals are counted again from the entries, as an add counts them. Throws JsonError with the
// line and column of a fault of the document, CatalogueError (MediumExistsError, ...) as an add
// does; the catalogue is then as it was. The names of the media added, in the document's order.
std::vector<std::string> ImportMedia(ICatalogue& catalogue, std::istream& in,
                                     const ImportOptions& options);
