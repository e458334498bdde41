#pragma once

#include "Catalogue.h"

#include <memory>
#include <string>

// The shared catalogue: a PostgreSQL database named by a connection URI (libpq's environment
// and password file apply). The tables are created on first use.
std::unique_ptr<ICatalogue> OpenPostgresCatalogue(const std::string& uri);
