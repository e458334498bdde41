#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/SqliteConnection.h"

#include <memory>
#include <string>

// The embedded catalogue: one SQLite file in WAL mode. A file made by a newer version of the
// program is refused and left untouched; a damaged file is reported and never written over.
std::unique_ptr<ICatalogue> OpenSqliteCatalogue(const std::string& path, SqliteAccess access);
