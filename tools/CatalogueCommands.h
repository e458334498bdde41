#pragma once

#include "engine/EntryComments.h"
#include "tools/CommandLine.h"

#include <string>

class CCatalogriumDoc;

// --find: exit status 0 with matches, 1 without, 2 when the catalogue cannot be used.
int RunFind(const CatalogueRequest& request);
// --duplicates: each group a block of records: its size and count, each copy's medium and path,
// an empty record. --only-on-one: each file's record as --find prints it. Exit statuses as
// --find's.
int RunDuplicates(const CatalogueRequest& request);
int RunOnlyOnOne(const CatalogueRequest& request);
// --media, --forget: 0 done, 1 when the catalogue cannot be used or there is no such medium, 2
// when there is no catalogue.
int RunMedia(const CatalogueRequest& request);
int RunForget(const CatalogueRequest& request);
// --which: 0 when some medium was listed from the folder, 1 when none, 2 when the catalogue
// cannot be used.
int RunWhich(const CatalogueRequest& request);
// --diff and --verify: 0 when `folder` is as the medium was catalogued, 1 when something
// differs, 2 when the catalogue, the medium or the folder cannot be read (or, for --verify, the
// medium has no hashes).
int RunDiff(const CatalogueRequest& request, const std::string& folder);
// --add, after the listing: adds the checked `folder`, its entries with the listing's comments.
// 0 done, 1 otherwise.
int RunAdd(const CatalogueRequest& request, const std::string& folder,
           const ListingComments& comments);
// --html: the page of the chosen media to `outputPath` (empty: standard output). 0 done, 1
// when the catalogue cannot be used, a medium is unknown or the page cannot be written, 2 when
// there is no catalogue.
int RunHtml(const CatalogueRequest& request, const std::string& outputPath);
// --from-catalogue: fills `doc` with the catalogued folder `folder` ("MEDIUM[/PATH]") as it was
// read when its medium was added. 0 done, 1 when there is no such medium or folder or the
// catalogue cannot be used, 2 when there is no catalogue.
int ListFromCatalogue(const CatalogueRequest& request, const std::string& folder,
                      CCatalogriumDoc& doc, int filesAndFolders);
// --export: the media to `outputPath`, standard output when it is empty. 0 done, 1 when the
// catalogue cannot be used, a medium is unknown or the output cannot be written, 2 when there is
// no catalogue or the wait for it was given up.
int RunExport(const CatalogueRequest& request, const std::string& outputPath);
// --import: 0 done, 1 when the file cannot be read or is refused (the catalogue unchanged), 2
// when the wait for the catalogue was given up.
int RunImport(const CatalogueRequest& request);
