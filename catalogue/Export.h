#pragma once

#include "catalogue/Catalogue.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The program's own JSON document, a CSV table, or the HTML page of WriteHtmlSnapshot.
enum class ExportFormat { Json, Csv, Html };

// Takes the exported text a piece at a time, in order; may throw to stop the export.
using ExportSink = std::function<void(std::string_view text)>;

// The program's own JSON document of `media` and every entry below them (see
// resources/catalogue.schema.json), written as the catalogue gives the entries, so that the
// memory it takes does not grow with the media.
void WriteJsonExport(ICatalogue& catalogue, const std::vector<Medium>& media,
                     const ExportSink& sink);

// A CSV table (RFC 4180, UTF-8, CR LF line ends) with a header row and one row for every entry
// of `media`: medium, path (the listed folder's path followed by the entry's path below it),
// kind, size, modified (ISO 8601, UTC), attributes (the listing's letters). Bytes that are no
// valid UTF-8 become U+FFFD: the JSON document is the exact one.
void WriteCsvExport(ICatalogue& catalogue, const std::vector<Medium>& media,
                    const ExportSink& sink);

void WriteExport(ICatalogue& catalogue, const std::vector<Medium>& media, ExportFormat format,
                 const ExportSink& sink);

// The export written to `path` as a save writes a file: a regular file is replaced only once
// the export is complete. Throws CatalogueError, saying why, when it cannot be written.
void ExportToFile(ICatalogue& catalogue, const std::vector<Medium>& media, ExportFormat format,
                  const std::string& path);
