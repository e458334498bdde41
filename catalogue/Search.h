#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Connection.h"
#include "catalogue/FindSql.h"

#include <cstddef>
#include <functional>
#include <string>

// Searches by name over the catalogue's tables, in the query's order. The name index gives the
// entries that may match (when the pattern has two bytes in a row); the database checks each
// against the pattern and the bounds; the order and the paths are made here, a medium at a time
// in the order of media and paths, so that the first matches come without waiting for the last.
void FindMatches(IConnection& db, SqlDialect dialect, const FindQuery& query,
                 const std::function<bool(const CatalogueMatch&)>& each);

std::size_t CountMatches(IConnection& db, SqlDialect dialect, const FindQuery& query);

// How the search is served: whether the name index narrows it, and to how many entries.
std::string ExplainMatches(IConnection& db, SqlDialect dialect, const FindQuery& query);
