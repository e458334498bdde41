#pragma once

#include "Catalogue.h"
#include "Connection.h"
#include "FindSql.h"

#include <memory>
#include <string>
#include <vector>

// The catalogue's operations, written once over a connection; each kind of database adds what
// truly differs: its tables and their version, the add, and the search index.
class Store : public ICatalogue {
public:
    void Interrupt() override { m_db->Interrupt(); }
    void SetWaits(CatalogueWaits waits) override { m_db->SetWaits(std::move(waits)); }
    std::vector<Medium> Media() override;
    std::vector<std::string> Conflicts(const std::string& name, const VolumeInfo& volume) override;
    void Find(const FindQuery& query,
              const std::function<bool(const CatalogueMatch&)>& each) override;
    std::size_t Count(const FindQuery& query) override;
    bool Forget(const std::string& name) override;
    bool Rename(const std::string& name, const std::string& newName) override;

    // Conflicts, within a call under way.
    std::vector<std::string> FindConflicts(const std::string& name, const VolumeInfo& volume);
    // Removes the medium and everything catalogued under it, within a transaction under way;
    // false when there is none.
    bool RemoveMedium(const std::string& name);

protected:
    Store(std::unique_ptr<IConnection> db, SqlDialect dialect)
        : m_db(std::move(db)), m_dialect(dialect) {}

    IConnection& Db() { return *m_db; }
    SqlDialect Dialect() const { return m_dialect; }
    // `column` ordered by its bytes, whatever the database's collation.
    std::string InByteOrder(const std::string& column) const;
    // What the search index holds of the medium `id` is forgotten before its entries go.
    virtual void RemoveFromIndex(std::int64_t medium) = 0;

private:
    std::unique_ptr<IConnection> m_db;
    SqlDialect m_dialect;
};
