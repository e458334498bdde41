#pragma once

#include "catalogue/Catalogue.h"

#include <memory>
#include <string>

// The shared catalogue: a PostgreSQL database named by a connection URI (libpq's environment
// and password file apply). The tables are made by the first add; a look-up or a change in a
// database without them is refused.
std::unique_ptr<ICatalogue> OpenPostgresCatalogue(const std::string& uri, CatalogueUse use);
