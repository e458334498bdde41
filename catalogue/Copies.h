#pragma once

#include "Catalogue.h"
#include "Connection.h"

#include <functional>

// Files held more than once, and files held once, over the catalogue's tables; the database
// groups the files, the paths are made here.
void FindDuplicates(IConnection& db, const CopiesQuery& query,
                    const std::function<bool(const DuplicateGroup&)>& each);
void FindOnlyOnOne(IConnection& db, const CopiesQuery& query,
                   const std::function<bool(const CatalogueMatch&)>& each);
