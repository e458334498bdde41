#pragma once

#include "engine/FolderEntry.h"
#include "engine/FolderWalk.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The volume a listed folder lies on, as the system knows it; empty fields when unknown.
struct VolumeInfo {
    std::string label;
    std::string uuid;
    std::string fsType;
    // The folder's path within the file system, from its root ("/" for the root itself),
    // whatever folder the file system is mounted on.
    std::string path;
};

// One catalogued medium: the folder that was listed, its volume and its totals. Two media are
// the same when they have the same name, or when they are the same folder of one volume (the
// same volume UUID and path within it): one volume may hold many media.
struct Medium {
    std::string name;
    std::string folder; // the listed folder's path, as it was when added
    VolumeInfo volume;
    std::string mountPoint; // where the folder's volume was mounted when added; empty: unknown
    std::int64_t added = 0; // seconds since 1970
    std::int64_t files = 0;
    std::int64_t folders = 0;
    std::uint64_t bytes = 0;
    // Where the medium is kept and what the user notes of it.
    std::string location;
    std::string note;
    bool checksums = false; // its files' contents were hashed when it was added
};

// What lies below a folder: the bytes of every file, the files and the folders, at any depth.
// "Files" are all entries that are no folders (links, FIFOs and devices included).
struct FolderTotals {
    std::uint64_t bytes = 0;
    std::int64_t files = 0;
    std::int64_t folders = 0;
    bool operator==(const FolderTotals&) const = default;
};

// One entry of a folder being added.
struct AddedEntry {
    std::string name; // the bytes the directory gave
    EntryKind kind = EntryKind::File;
    std::uint64_t size = 0;    // a file's; a folder's is the total below it, counted by the add
    std::int64_t modified = 0; // seconds since 1970
    std::uint32_t attributes = 0;
    std::optional<ContentHash> hash; // a file whose content was read
    CommentLines comments;
};

// One folder read for an add. Its entries are numbered `first`, `first + 1`, ... in the order
// of the directory; a folder's id is its entry's (the listed folder's: 0).
struct AddedFolder {
    std::int64_t id = 0;
    std::int64_t first = 1;
    std::vector<AddedEntry> entries;
};

// One entry of a catalogued folder, as FolderEntries gives it.
struct CataloguedEntry {
    std::int64_t id = 0; // within its medium; a folder's id for FolderEntries
    std::string name;
    EntryKind kind = EntryKind::File;
    std::uint64_t size = 0; // a folder's: the bytes below it
    std::int64_t modified = 0;
    std::uint32_t attributes = 0;
    std::optional<FolderTotals> totals; // a folder that was read
    std::int64_t parent = 0;            // the id of the folder that holds it
    std::optional<ContentHash> hash;
    CommentLines comments;
};

// One entry that a search found.
struct CatalogueMatch {
    std::string medium;
    std::string path; // the listed folder's path followed by the entry's path below it
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::uint32_t attributes = 0;
};

// The column a search's matches are ordered by; ties go by medium, then path.
enum class MatchOrder { Medium, Path, Size, Modified, Attributes };

// A search by name. A pattern with `*` or `?` matches whole names (`*` any run of characters,
// `?` one character); any other pattern matches names that contain it. Case never matters.
// Every bound is inclusive.
struct FindQuery {
    std::string pattern;
    std::optional<std::string> medium;
    std::optional<std::uint64_t> minSize;
    std::optional<std::uint64_t> maxSize;
    std::optional<std::int64_t> modifiedFrom; // seconds since 1970
    std::optional<std::int64_t> modifiedTo;
    MatchOrder order = MatchOrder::Medium;
    bool descending = false;
    std::size_t offset = 0;
    std::optional<std::size_t> limit;
};

// How two files are taken for copies of one another: by the same name (as bytes) and size, or by
// the same content hash and size (only files of media added with checksums have one).
enum class CopiesBy { NameAndSize, Content };

// Which files to compare: those of `media` (by name; none named: every medium).
struct CopiesQuery {
    CopiesBy by = CopiesBy::NameAndSize;
    std::vector<std::string> media;
};

// Files held more than once, of `size` bytes each: every copy, in the order of media and
// paths.
struct DuplicateGroup {
    std::uint64_t size = 0;
    std::vector<CatalogueMatch> copies;
};

// A catalogue that cannot be used or an operation that failed; the message is for the user
// and never holds a password.
class CatalogueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// There is no catalogue where one was to be looked up or changed; none is made.
class NoCatalogueError : public CatalogueError {
public:
    using CatalogueError::CatalogueError;
};

// Adding a medium whose name or folder is already catalogued, without leave to replace.
class MediumExistsError : public CatalogueError {
public:
    using CatalogueError::CatalogueError;
};

// Adding a medium whose name is one catalogued medium's and whose folder is another's: no add
// replaces two media at once.
class TwoMediaError : public CatalogueError {
public:
    using CatalogueError::CatalogueError;
};

// A call stopped by ICatalogue::Interrupt; the catalogue is as it was before the call.
class CatalogueInterrupted : public CatalogueError {
public:
    using CatalogueError::CatalogueError;
};

// A call that waited longer than CatalogueWaits::giveUpAfter; the catalogue is as it was.
class CatalogueGaveUp : public CatalogueError {
public:
    using CatalogueError::CatalogueError;
};

// How a call waits for another program's lock or for the server's answer.
struct CatalogueWaits {
    // Told once in a call, on the calling thread, after `noteAfter` of waiting, who or what
    // is waited for.
    std::function<void(const std::string&)> note;
    std::chrono::milliseconds noteAfter{3000};
    // A call that has waited this long throws CatalogueGaveUp; none: it waits until
    // interrupted.
    std::optional<std::chrono::milliseconds> giveUpAfter;
};

// One medium being added: one transaction. Dropping it before Commit leaves the catalogue as
// it was.
class ICatalogueAdd {
public:
    virtual ~ICatalogueAdd() = default;
    // The entries of one folder, each folder once, after the folder that holds it.
    virtual void AddFolder(const AddedFolder& folder) = 0;
    // Counts the folder totals and the medium's and makes the medium visible to all.
    virtual void Commit() = 0;
};

// Several changes in one transaction: the adds begun while it lives are committed with it, all
// of them or none. Dropping it before Commit leaves the catalogue as it was.
class ICatalogueBatch {
public:
    virtual ~ICatalogueBatch() = default;
    virtual void Commit() = 0;
};

// A catalogue of media: an SQLite file or a PostgreSQL database. One thread at a time makes
// its calls (an add in progress counts as a call); only Interrupt may come from another.
class ICatalogue {
public:
    virtual ~ICatalogue() = default;
    // Stops the call that another thread is making now, waiting for a lock or the server
    // included: that call throws CatalogueInterrupted and leaves the catalogue as it was, and
    // the catalogue can be used again. Safe from any thread at any time. When no call runs,
    // the next call is stopped as soon as it begins (so a call just being started is never
    // missed); an add is stopped in any of its calls up to the end of its Commit.
    virtual void Interrupt() = 0;
    // How the calls from now on wait (by default: without a note, until interrupted).
    virtual void SetWaits(CatalogueWaits waits) = 0;
    // The media by name.
    virtual std::vector<Medium> Media() = 0;
    // The names of the media that a new medium of this name, of a folder on `volume`, would
    // replace: the one of that name and the one of that folder, if they differ.
    virtual std::vector<std::string> Conflicts(const std::string& name,
                                               const VolumeInfo& volume) = 0;
    // Begins adding `medium` (its totals are counted from the entries). Throws
    // MediumExistsError when it conflicts with one medium and `replace` is false (with
    // `replace`, that medium is removed in the same transaction), and TwoMediaError when it
    // conflicts with two, whatever `replace` says.
    virtual std::unique_ptr<ICatalogueAdd> BeginAdd(const Medium& medium, bool replace) = 0;
    // Begins a transaction that the adds until its Commit belong to.
    virtual std::unique_ptr<ICatalogueBatch> BeginBatch() = 0;
    // Calls `each` for every match in order, until it returns false.
    virtual void Find(const FindQuery& query,
                      const std::function<bool(const CatalogueMatch&)>& each) = 0;
    virtual std::size_t Count(const FindQuery& query) = 0;
    // How the database runs the search (its query plan), for checking that an index serves it.
    virtual std::string ExplainFind(const FindQuery& query) = 0;
    // Calls `each` for every group of files of the query's media held more than once (empty
    // files left out), the groups that waste the most bytes first, until it returns false.
    // Throws CatalogueError for a medium that is not catalogued, or, by content, one added
    // without checksums.
    virtual void Duplicates(const CopiesQuery& query,
                            const std::function<bool(const DuplicateGroup&)>& each) = 0;
    // Calls `each` for every file of the query's media that no other medium holds (by content:
    // no other medium added with checksums), in the order of media and paths, until it returns
    // false. Throws as Duplicates does.
    virtual void OnlyOnOne(const CopiesQuery& query,
                           const std::function<bool(const CatalogueMatch&)>& each) = 0;
    // False when there is no such medium.
    virtual bool Forget(const std::string& name) = 0;
    // False when there is no such medium; throws when `newName` is taken.
    virtual bool Rename(const std::string& name, const std::string& newName) = 0;
    // Where the medium is kept and a note on it; false when there is no such medium.
    virtual bool SetShelf(const std::string& name, const std::string& location,
                          const std::string& note) = 0;
    // The entries of a folder of the medium, in the order they were read; none when there is
    // no such medium or folder.
    virtual std::vector<CataloguedEntry> FolderEntries(const std::string& medium,
                                                       std::int64_t folderId) = 0;
    // Calls `each` for every entry of the medium, in the order of their ids (a folder before
    // the entries it holds), until it returns false; `each` makes no call of the catalogue.
    // False when there is no such medium.
    virtual bool MediumEntries(const std::string& medium,
                               const std::function<bool(const CataloguedEntry&)>& each) = 0;
    // The id of the folder at `pathBelow` (its path below the listed folder, "" for the listed
    // folder itself), if the medium has it.
    virtual std::optional<std::int64_t> FolderOf(const std::string& medium,
                                                 const std::string& pathBelow) = 0;
    // The path below the listed folder of the medium's folder `folderId`, its names joined by
    // "/" ("" for the listed folder), if the medium has that folder.
    virtual std::optional<std::string> PathOf(const std::string& medium, std::int64_t folderId) = 0;
};

// The media named in `names`, every medium when there is none, in the catalogue's order. Throws
// CatalogueError for a name that is not catalogued.
std::vector<Medium> SelectedMedia(ICatalogue& catalogue, const std::vector<std::string>& names);

// What to ask before adding a medium `name` replaces the one medium of `conflicts` (as
// Conflicts gives them): the question names it. Throws TwoMediaError when they are two.
std::string ReplaceQuestion(const std::string& name, const std::vector<std::string>& conflicts);

// The longest medium name, in bytes.
inline constexpr std::size_t kMaxMediumNameBytes = 255;

// Throws CatalogueError, saying why, unless `name` is a fit name for a medium: one line of
// valid UTF-8, not empty, at most kMaxMediumNameBytes long, without control characters.
void CheckMediumName(const std::string& name);

// What a caller means to do with a catalogue.
enum class CatalogueUse {
    LookUp, // search and list: never makes a catalogue, and reads one it may not write
    Change, // forget or rename: the catalogue must exist
    Add,    // may make the catalogue: an SQLite file only in a folder that exists, or the
            // default file, whose folder is made too
};

// Opens the catalogue at `location` for `use`: a postgresql:// or postgres:// URI, or the path
// of an SQLite file (a regular file, never a device, a folder or ":memory:"). Throws
// NoCatalogueError when there is none to look up or change, CatalogueError when it cannot be
// used.
std::unique_ptr<ICatalogue> OpenCatalogue(const std::string& location,
                                          CatalogueUse use = CatalogueUse::Add);

// Whether `location` names a catalogue on a server (a PostgreSQL URI) rather than a file.
bool IsServerLocation(const std::string& location);

// ${XDG_DATA_HOME:-$HOME/.local/share}/catalogrium3/catalogue.sqlite
std::string DefaultCatalogueLocation();

// `location` fit for a message: the password of a URI replaced by "***", even in a URI that
// is malformed or of an unknown scheme.
std::string LocationForMessages(const std::string& location);

// `text` (a message that may quote `location`, or parts of it, as a parser read them) with
// every password that `location` may hold replaced by "***".
std::string RedactPasswords(std::string text, const std::string& location);
