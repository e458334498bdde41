#include "FolderPaths.h"

#include "catalogue/FindSql.h"

// Ranks are looked up for the folders asked for, not for those above them, which only give
// their names to the paths.
void FolderPaths::Learn(std::int64_t medium, std::vector<std::int64_t> folders) {
    const auto forgetRanked = [&] {
        std::erase_if(folders, [&](std::int64_t folder) {
            const auto known = m_links.find({medium, folder});
            return folder == 0 || (known != m_links.end() && known->second.rank);
        });
    };
    std::ranges::sort(folders);
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    forgetRanked();
    if (folders.size() > kIdBatch) {
        LearnEveryFolder(medium);
        forgetRanked();
    }
    const std::string inMedium = "medium = " + std::to_string(medium);
    InBatches(folders, [&](std::span<const std::int64_t> ids) {
        m_db.Query("WITH RECURSIVE up(id, parent, name, asked) AS (SELECT id, parent, name, 1 FROM "
                   "entries WHERE " +
                       inMedium + " AND id IN (" + NumberList(ids) +
                       ") UNION SELECT e.id, e.parent, e.name, 0 FROM entries e JOIN up ON e." +
                       inMedium +
                       " AND e.id = up.parent) SELECT id, parent, name, CASE WHEN asked = 1 THEN "
                       "coalesce((SELECT rank FROM folders f WHERE f." +
                       inMedium + " AND f.id = up.id), 0) END FROM up",
                   {}, [&](const SqlRow& row) {
                       Link& link = m_links[{medium, row.Int(0)}];
                       link.parent = row.Int(1);
                       link.name = row.Text(2);
                       if (!row.IsNull(3))
                           link.rank = row.Int(3);
                       return true;
                   });
    });
    // A folder without an entry (a damaged catalogue) has no name and lies at the top.
    for (const std::int64_t folder : folders) {
        Link& link = m_links[{medium, folder}];
        if (!link.rank)
            link.rank = 0;
    }
}

// One pass over the medium's folders costs less than looking many of them up with those above.
void FolderPaths::LearnEveryFolder(std::int64_t medium) {
    m_db.QueryMany("SELECT f.id, e.parent, e.name, f.rank FROM folders f JOIN entries e ON "
                   "e.medium = f.medium AND e.id = f.id WHERE f.medium = $1",
                   {medium}, [&](const SqlRow& row) {
                       const auto [link, added] = m_links.try_emplace(
                           {medium, row.Int(0)}, Link{row.Int(1), row.Text(2), row.Int(3), {}});
                       if (!added)
                           link->second.rank = row.Int(3);
                       return true;
                   });
}

const std::string& FolderPaths::Below(std::int64_t medium, std::int64_t folder) {
    static const std::string listed;
    if (folder == 0)
        return listed;
    Link& asked = m_links.at({medium, folder});
    if (asked.path)
        return *asked.path;
    std::vector<const Link*> chain;
    for (std::int64_t up = folder; up != 0; up = chain.back()->parent)
        chain.push_back(&m_links.at({medium, up}));
    std::string path;
    for (auto link = chain.rbegin(); link != chain.rend(); ++link)
        path += (*link)->name + '/';
    asked.path = std::move(path);
    return *asked.path;
}
