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
//
// `second` gives a second connection to the same database, or null: on it, a thread of the
// search's own reads every other medium while the caller's thread reads the rest. It is asked
// for on that thread, so opening it delays no match.
void FindMatches(IConnection& db, const std::function<IConnection*()>& second, SqlDialect dialect,
                 const FindQuery& query, const std::function<bool(const CatalogueMatch&)>& each);

std::size_t CountMatches(IConnection& db, SqlDialect dialect, const FindQuery& query);

// How the search is served: whether the name index narrows it, and to how many entries.
std::string ExplainMatches(IConnection& db, SqlDialect dialect, const FindQuery& query);
