#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Connection.h"
#include "catalogue/FindSql.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The catalogue's operations, written once over a connection; each kind of database adds what
// truly differs: its tables and their version, how an add loads and indexes its entries, and
// the search index.
//
// Entries are numbered per medium, 1, 2, 3, ...; the entries of one folder have consecutive
// numbers in the order the directory gave them, and a folder is known by its entry's number
// (the listed folder by 0). `folders` has a row for each folder that was read: its entries,
// its totals and its rank in the byte order of folder paths.
class Store : public ICatalogue {
public:
    void Interrupt() override;
    void SetWaits(CatalogueWaits waits) override;
    std::vector<Medium> Media() override;
    std::vector<std::string> Conflicts(const std::string& name, const VolumeInfo& volume) override;
    std::unique_ptr<ICatalogueAdd> BeginAdd(const Medium& medium, bool replace) override;
    std::unique_ptr<ICatalogueBatch> BeginBatch() override;
    void Find(const FindQuery& query,
              const std::function<bool(const CatalogueMatch&)>& each) override;
    std::size_t Count(const FindQuery& query) override;
    std::string ExplainFind(const FindQuery& query) override;
    void Duplicates(const CopiesQuery& query,
                    const std::function<bool(const DuplicateGroup&)>& each) override;
    void OnlyOnOne(const CopiesQuery& query,
                   const std::function<bool(const CatalogueMatch&)>& each) override;
    bool Forget(const std::string& name) override;
    bool Rename(const std::string& name, const std::string& newName) override;
    bool SetShelf(const std::string& name, const std::string& location,
                  const std::string& note) override;
    std::vector<CataloguedEntry> FolderEntries(const std::string& medium,
                                               std::int64_t folderId) override;
    bool MediumEntries(const std::string& medium,
                       const std::function<bool(const CataloguedEntry&)>& each) override;
    std::optional<std::int64_t> FolderOf(const std::string& medium,
                                         const std::string& pathBelow) override;
    std::optional<std::string> PathOf(const std::string& medium, std::int64_t folderId) override;

    // Conflicts, within a call under way.
    std::vector<std::string> FindConflicts(const std::string& name, const VolumeInfo& volume);
    // Removes the medium and everything catalogued under it, within a transaction under way;
    // false when there is none.
    bool RemoveMedium(const std::string& name);

    IConnection& Db() { return *m_db; }

    // What an add asks of the kind of database, in the add's transaction.
    // Before the medium's row is written: locks and settings.
    virtual void PrepareAdd(const Medium& medium) = 0;
    // Makes ready the table that the medium's entries are loaded into, and names it.
    virtual std::string BeginEntries(std::int64_t medium) = 0;
    // Whether an add writes a folder's entry in its place among the others, with a stand-in
    // size that is replaced once the totals are counted (a table kept in the order of its key
    // fills its pages only so), or after all the others, with its size.
    virtual bool WritesFoldersInPlace() const = 0;
    // The key as the entries table keeps it.
    virtual SqlValue StoredKey(const std::string& name, std::string key) = 0;
    // Once every entry of the medium is loaded (the add's, or an upgrade's), before the commit.
    virtual void EntriesLoaded(std::int64_t medium) = 0;
    // After the commit, with the number of entries added.
    virtual void AddCommitted(std::int64_t entries) = 0;

protected:
    Store(std::unique_ptr<IConnection> db, SqlDialect dialect)
        : m_db(std::move(db)), m_dialect(dialect) {}

    // The ids of every medium, ascending.
    std::vector<std::int64_t> MediumIds();
    // `column` ordered by its bytes, whatever the database's collation.
    std::string InByteOrder(const std::string& column) const;
    // Within the upgrade's transaction: fills the tables of this version from those of version 2,
    // renamed entries_v2(id, medium, parent, name, key, size, modified, attributes) and
    // folders_v2(id, medium, path), numbering each medium's entries afresh, each folder's in
    // the order they were read. Entries that are no folders become files. The names are not
    // indexed.
    void CopyVersion2Entries();
    // Within the upgrade's transaction: the name index of every medium, from its entries.
    void IndexNames();
    // Within the upgrade's transaction: the table of folder links of every medium, from its
    // entries and folders.
    void LinkFolders();

    // A second connection to the same database, for a search to read on beside the first, or
    // null when the kind of database gains nothing by one.
    virtual std::unique_ptr<IConnection> OpenSecondConnection() { return nullptr; }

    // Tables of the medium `id` alone are dropped before its rows in media, entries, folders,
    // folder_links and name_grams go.
    virtual void DropTablesOf(std::int64_t medium) = 0;

private:
    void CopyVersion2Medium(std::int64_t medium);
    void IndexNamesOf(std::int64_t medium);
    void LinkFoldersOf(std::int64_t medium);
    std::optional<std::int64_t> MediumId(const std::string& name);
    // On the thread that reads on it: the second connection, opened when first asked for.
    IConnection* SecondConnection();

    std::unique_ptr<IConnection> m_db;
    SqlDialect m_dialect;
    // The second connection is opened on a search's own thread while Interrupt may come from
    // any other: the mutex guards it and the waits given to it.
    std::mutex m_secondMutex;
    std::unique_ptr<IConnection> m_second;
    bool m_secondRefused = false;
    CatalogueWaits m_secondWaits;
};
