#pragma once

#include "Catalogue.h"

#include <memory>
#include <string>

// How an SQLite catalogue file is opened.
enum class SqliteAccess {
    Read,   // as it is, without a change: the file or its folder cannot be written
    Write,  // a catalogue that exists, brought up to date when older
    Create, // the file, or its tables, are made when missing
};

// The embedded catalogue: one SQLite file in WAL mode. A file made by a newer version of the
// program is refused and left untouched; a damaged file is reported and never written over.
std::unique_ptr<ICatalogue> OpenSqliteCatalogue(const std::string& path, SqliteAccess access);
