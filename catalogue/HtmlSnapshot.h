#pragma once

#include "catalogue/Catalogue.h"

#include <ostream>
#include <string>
#include <vector>

// Writes one self-contained HTML page of the media named in `media` (every medium when
// empty): their identities and totals, a tree of each, and a search over every name as the
// catalogue searches. The page loads nothing from anywhere; its data is embedded in it,
// compactly. Throws CatalogueError naming a medium that the catalogue does not hold.
void WriteHtmlSnapshot(ICatalogue& catalogue, const std::vector<std::string>& media,
                       std::ostream& out);
