#include "Store.h"

#include "CallScope.h"
#include "MediaRules.h"

#include <optional>

namespace {

using Call = CallScope<IConnection>;

} // namespace

std::int64_t QueryNumber(IConnection& db, const std::string& sql, const SqlParams& params) {
    std::optional<std::int64_t> number;
    db.Query(sql, params, [&](const SqlRow& row) {
        if (!number)
            number = row.IsNull(0) ? 0 : row.Int(0);
        return true;
    });
    return number.value_or(0);
}

std::string Store::InByteOrder(const std::string& column) const {
    return m_dialect == SqlDialect::Postgres ? column + " COLLATE \"C\"" : column;
}

std::vector<Medium> Store::Media() {
    const Call call(*m_db);
    std::vector<Medium> media;
    m_db->Query("SELECT name, folder, label, uuid, fstype, added, files, folders, bytes "
                "FROM media ORDER BY " +
                    InByteOrder("name"),
                {}, [&](const SqlRow& row) {
                    media.push_back({row.Text(0),
                                     row.Text(1),
                                     {row.Text(2), row.Text(3), row.Text(4), {}},
                                     row.Int(5),
                                     row.Int(6),
                                     row.Int(7),
                                     static_cast<std::uint64_t>(row.Int(8))});
                    return true;
                });
    return media;
}

std::vector<std::string> Store::Conflicts(const std::string& name, const VolumeInfo& volume) {
    const Call call(*m_db);
    return FindConflicts(name, volume);
}

std::vector<std::string> Store::FindConflicts(const std::string& name, const VolumeInfo& volume) {
    std::vector<std::string> names;
    m_db->Query(
        "SELECT name, uuid, volume_path FROM media WHERE name = $1 OR "
        "(uuid <> '' AND uuid = $2) ORDER BY " +
            InByteOrder("name"),
        {name, volume.uuid}, [&](const SqlRow& row) {
            if (row.Text(0) == name || SameFolder({{}, row.Text(1), {}, row.Text(2)}, volume))
                names.push_back(row.Text(0));
            return true;
        });
    return names;
}

void Store::Find(const FindQuery& query, const std::function<bool(const CatalogueMatch&)>& each) {
    const Call call(*m_db);
    const SqlStatement sql = FindStatement(query, m_dialect, false);
    m_db->Query(sql.text, sql.params, [&](const SqlRow& row) {
        return each({row.Text(0), MatchPath(row.Text(1), row.Text(2), row.Text(3)),
                     static_cast<std::uint64_t>(row.Int(4)), row.Int(5),
                     static_cast<std::uint32_t>(row.Int(6))});
    });
}

std::size_t Store::Count(const FindQuery& query) {
    const Call call(*m_db);
    const SqlStatement sql = FindStatement(query, m_dialect, true);
    return static_cast<std::size_t>(QueryNumber(*m_db, sql.text, sql.params));
}

bool Store::Forget(const std::string& name) {
    const Call call(*m_db);
    Transaction transaction(*m_db);
    const bool found = RemoveMedium(name);
    transaction.Commit();
    return found;
}

bool Store::Rename(const std::string& name, const std::string& newName) {
    const Call call(*m_db);
    Transaction transaction(*m_db);
    RefuseTakenName(*this, name, newName);
    const bool found =
        m_db->Execute("UPDATE media SET name = $1 WHERE name = $2", {newName, name}) > 0;
    transaction.Commit();
    return found;
}

bool Store::RemoveMedium(const std::string& name) {
    bool found = false;
    std::int64_t id = 0;
    m_db->Query("SELECT id FROM media WHERE name = $1", {name}, [&](const SqlRow& row) {
        found = true;
        id = row.Int(0);
        return true;
    });
    if (!found)
        return false;
    RemoveFromIndex(id);
    for (const char* table : {"entries WHERE medium", "folders WHERE medium", "media WHERE id"})
        m_db->Execute(std::string("DELETE FROM ") + table + " = $1", {id});
    return true;
}
