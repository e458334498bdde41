#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Connection.h"

#include <functional>

// Files held more than once, and files held once, over the catalogue's tables: the files are
// read once and grouped here, and the paths made for those given.
void FindDuplicates(IConnection& db, const CopiesQuery& query,
                    const std::function<bool(const DuplicateGroup&)>& each);
void FindOnlyOnOne(IConnection& db, const CopiesQuery& query,
                   const std::function<bool(const CatalogueMatch&)>& each);
