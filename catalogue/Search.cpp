#include "Search.h"

#include "catalogue/FolderPaths.h"
#include "catalogue/NameGrams.h"
#include "catalogue/NameKey.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

struct SearchedMedium {
    std::int64_t id = 0;
    std::string name;
    std::string folder;
    std::int64_t entries = 0;
};

// A match before its folder's path is known.
struct FoundRow {
    std::size_t medium = 0; // in the searched media
    std::int64_t parent = 0;
    std::int64_t rank = 0; // the folder's
    std::string name;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::uint32_t attributes = 0;
};

// The media the query reads, in the order of their names as bytes.
std::vector<SearchedMedium> SearchedMedia(IConnection& db, const FindQuery& query) {
    std::vector<SearchedMedium> media;
    const auto add = [&](const SqlRow& row) {
        media.push_back({row.Int(0), row.Text(1), row.Text(2), row.Int(3)});
        return true;
    };
    const std::string select = "SELECT id, name, folder, files + folders FROM media";
    if (query.medium)
        db.Query(select + " WHERE name = $1", {*query.medium}, add);
    else
        db.Query(select, {}, add);
    std::ranges::sort(media, {}, &SearchedMedium::name);
    return media;
}

std::vector<std::int64_t> IdsOf(const std::vector<SearchedMedium>& media) {
    std::vector<std::int64_t> ids;
    for (const SearchedMedium& medium : media)
        ids.push_back(medium.id);
    return ids;
}

// The entries of each medium that the pattern and bounds select, read through the name index
// when it can narrow them.
class MatchReader {
public:
    MatchReader(IConnection& db, SqlDialect dialect, const FindQuery& query)
        : m_db(db), m_dialect(dialect), m_query(query), m_pattern(ParsePattern(query.pattern)),
          m_lookup(LookupFor(m_pattern)) {}

    void Read(const SearchedMedium& medium, std::size_t index, std::vector<FoundRow>& rows) {
        const auto add = [&](const SqlRow& row) {
            rows.push_back({index, row.Int(0), 0, row.Text(1),
                            static_cast<std::uint64_t>(row.Int(2)), row.Int(3),
                            static_cast<std::uint32_t>(row.Int(4))});
            return true;
        };
        ForEachStatement(medium, false,
                         [&](const SqlStatement& sql) { m_db.Query(sql.text, sql.params, add); });
    }

    std::size_t Count(const std::vector<SearchedMedium>& media) {
        std::size_t count = 0;
        const auto add = [&](const SqlStatement& sql) {
            count += static_cast<std::size_t>(QueryNumber(m_db, sql.text, sql.params));
        };
        if (!m_lookup.Usable()) {
            if (!media.empty())
                add(MatchStatement(m_query, m_pattern, m_dialect, IdsOf(media), {}, true));
            return count;
        }
        for (const SearchedMedium& medium : media)
            ForEachStatement(medium, true, add);
        return count;
    }

    std::string Explain(const std::vector<SearchedMedium>& media) {
        if (!m_lookup.Usable())
            return "every entry of " + std::to_string(media.size()) +
                   " media read: the pattern has no character\n";
        std::size_t candidates = 0;
        std::size_t holding = 0;
        std::size_t whole = 0;
        for (const SearchedMedium& medium : media) {
            const std::size_t count = Candidates(medium.id).size();
            candidates += count;
            holding += count > 0;
            whole += ReadWhole(medium, count);
        }
        return "name index: " +
               (m_lookup.range ? std::string("a range of grams")
                               : std::to_string(m_lookup.all.size()) + " grams") +
               ", " + std::to_string(candidates) + " candidates on " + std::to_string(holding) +
               " of " + std::to_string(media.size()) + " media, " + std::to_string(whole) +
               " of them read whole\n";
    }

private:
    // Each candidate is looked up on its own: once they are more than a share of the medium's
    // entries, one pass over them all, each checked against the pattern, costs less.
    static bool ReadWhole(const SearchedMedium& medium, std::size_t candidates) {
        constexpr std::int64_t kShareLookedUp = 16;
        return static_cast<std::int64_t>(candidates) * kShareLookedUp > medium.entries;
    }

    template <typename Each>
    void ForEachStatement(const SearchedMedium& medium, bool count, const Each& each) {
        const std::vector<std::int64_t> media = {medium.id};
        if (!m_lookup.Usable()) {
            each(MatchStatement(m_query, m_pattern, m_dialect, media, {}, count));
            return;
        }
        const std::vector<std::int64_t> candidates = Candidates(medium.id);
        if (ReadWhole(medium, candidates.size())) {
            each(MatchStatement(m_query, m_pattern, m_dialect, media, {}, count));
            return;
        }
        InBatches(candidates, [&](std::span<const std::int64_t> ids) {
            each(MatchStatement(m_query, m_pattern, m_dialect, media, ids, count));
        });
    }

    std::vector<std::int64_t> Candidates(std::int64_t medium) {
        return LookUpCandidates(m_db, kNameIndexTable, medium, m_lookup);
    }

    IConnection& m_db;
    SqlDialect m_dialect;
    const FindQuery& m_query;
    NamePattern m_pattern;
    GramLookup m_lookup;
};

// The matches of the searched media, read in their order. Given a second connection, a thread of
// its own reads every other medium on it, a little ahead of the caller, while the caller reads
// the rest: the database's share of a search, nearly all of it on a server, is then done by two
// of its processes at once.
class MediaRows {
public:
    MediaRows(IConnection& db, const std::function<IConnection*()>& second, SqlDialect dialect,
              const FindQuery& query, const std::vector<SearchedMedium>& media)
        : m_db(db), m_reader(db, dialect, query), m_media(media) {
        if (second && media.size() > 1)
            m_thread = std::jthread(
                [this, second, dialect, &query] { ReadEveryOther(second, dialect, query); });
    }
    // A read under way on the second connection is stopped; the thread is waited for.
    ~MediaRows() {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        if (m_busy)
            m_second->Interrupt();
        m_changed.notify_all();
    }
    MediaRows(const MediaRows&) = delete;
    MediaRows& operator=(const MediaRows&) = delete;

    // Adds the matches of the medium `i` to `rows`; the media are asked for in order.
    void Read(std::size_t i, std::vector<FoundRow>& rows) {
        std::unique_lock lock(m_mutex);
        m_asked = i;
        m_changed.notify_all();
        // An interruption reaches both connections; waiting, the caller looks for it on its own.
        constexpr auto kLookForInterruption = std::chrono::milliseconds(20);
        while (!ReadHere(i) && !m_done.contains(i)) {
            m_changed.wait_for(lock, kLookForInterruption);
            m_db.ThrowIfInterrupted();
        }
        if (ReadHere(i)) {
            lock.unlock();
            m_reader.Read(m_media[i], i, rows);
            return;
        }
        Done done = std::move(m_done.extract(i).mapped());
        m_changed.notify_all();
        lock.unlock();
        if (done.failure)
            std::rethrow_exception(done.failure);
        rows.insert(rows.end(), std::make_move_iterator(done.rows.begin()),
                    std::make_move_iterator(done.rows.end()));
    }

private:
    struct Done {
        std::vector<FoundRow> rows;
        std::exception_ptr failure;
    };
    // The thread reads a medium once the caller has come this near to it.
    static constexpr std::size_t kReadAhead = 3;

    // Under the mutex: whether the caller reads the medium `i` itself.
    bool ReadHere(std::size_t i) const { return !m_thread.joinable() || i % 2 == 0 || m_alone; }

    // On the thread: the media at odd places, in order.
    void ReadEveryOther(const std::function<IConnection*()>& second, SqlDialect dialect,
                        const FindQuery& query) {
        std::optional<MatchReader> reader;
        try {
            IConnection* db = second();
            const std::lock_guard lock(m_mutex);
            m_second = db;
            m_alone = db == nullptr;
            m_changed.notify_all();
            if (m_alone)
                return;
            reader.emplace(*db, dialect, query);
        } catch (...) {
            Hand(1, {{}, std::current_exception()});
            return;
        }
        for (std::size_t j = 1; j < m_media.size(); j += 2) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || j <= m_asked + kReadAhead; });
                if (m_stop)
                    return;
                m_busy = true;
            }
            Done done;
            try {
                reader->Read(m_media[j], j, done.rows);
            } catch (...) {
                done.failure = std::current_exception();
            }
            const bool failed = done.failure != nullptr;
            Hand(j, std::move(done));
            if (failed)
                return;
        }
    }

    void Hand(std::size_t j, Done done) {
        const std::lock_guard lock(m_mutex);
        m_busy = false;
        m_done.emplace(j, std::move(done));
        m_changed.notify_all();
    }

    IConnection& m_db;
    MatchReader m_reader;
    const std::vector<SearchedMedium>& m_media;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_asked = 0;
    bool m_stop = false;
    bool m_alone = false; // no second connection
    bool m_busy = false;  // reading on the second connection
    IConnection* m_second = nullptr;
    std::map<std::size_t, Done> m_done; // read by the thread, not yet taken
    std::jthread m_thread;              // last: joined before the rest goes
};

// Gives `rows` of `medium` the ranks of their folders, which `paths` learns.
void Rank(FolderPaths& paths, std::int64_t medium, std::span<FoundRow> rows) {
    std::vector<std::int64_t> folders;
    for (const FoundRow& row : rows)
        folders.push_back(row.parent);
    paths.Learn(medium, std::move(folders));
    for (FoundRow& row : rows)
        row.rank = paths.RankOf(medium, row.parent);
}

// Hands `rows`, ranked, to `each` with their paths; false once `each` wants no more.
bool Emit(IConnection& db, const std::vector<SearchedMedium>& media, std::span<FoundRow> rows,
          FolderPaths& paths, const std::function<bool(const CatalogueMatch&)>& each) {
    for (const FoundRow& row : rows) {
        db.ThrowIfInterrupted(); // the caller may take its time over each match
        const SearchedMedium& medium = media[row.medium];
        if (!each({medium.name,
                   MatchPath(medium.folder, paths.Below(medium.id, row.parent), row.name), row.size,
                   row.modified, row.attributes}))
            return false;
    }
    return true;
}

// What is left to hand on of the query's offset and limit.
class Window {
public:
    explicit Window(const FindQuery& query) : m_skip(query.offset), m_left(query.limit) {}

    // The part of `rows` (in order) within the window; it moves past them.
    std::span<FoundRow> Take(std::vector<FoundRow>& rows) {
        const std::size_t skipped = std::min(m_skip, rows.size());
        m_skip -= skipped;
        std::size_t count = rows.size() - skipped;
        if (m_left) {
            count = std::min(count, *m_left);
            *m_left -= count;
        }
        return std::span(rows).subspan(skipped, count);
    }
    bool Full() const { return m_left && *m_left == 0; }
    // How many rows in order are enough to fill it from here.
    std::optional<std::size_t> Needed() const {
        return m_left ? std::optional(m_skip + *m_left) : std::nullopt;
    }

private:
    std::size_t m_skip;
    std::optional<std::size_t> m_left;
};

// By medium, then path: a medium at a time, its folders in the order of their paths (their
// ranks), the names of a folder as bytes.
void FindInPathOrder(IConnection& db, const std::function<IConnection*()>& second,
                     SqlDialect dialect, const FindQuery& query, std::vector<SearchedMedium>& media,
                     const std::function<bool(const CatalogueMatch&)>& each) {
    if (query.descending)
        std::ranges::reverse(media);
    MediaRows reader(db, second, dialect, query, media);
    Window window(query);
    FolderPaths paths(db);
    std::vector<FoundRow> rows;
    for (std::size_t i = 0; i < media.size() && !window.Full(); ++i) {
        rows.clear();
        reader.Read(i, rows);
        Rank(paths, media[i].id, rows);
        const auto inPathOrder = [](const FoundRow& a, const FoundRow& b) {
            return std::tie(a.rank, a.name) < std::tie(b.rank, b.name);
        };
        if (query.descending)
            std::ranges::sort(
                rows, [&](const FoundRow& a, const FoundRow& b) { return inPathOrder(b, a); });
        else
            std::ranges::sort(rows, inPathOrder);
        if (!Emit(db, media, window.Take(rows), paths, each))
            return;
    }
}

// By size, time or attributes, ties by medium and path: every medium read, keeping only as many
// of the first matches as the window needs.
void FindInValueOrder(IConnection& db, const std::function<IConnection*()>& second,
                      SqlDialect dialect, const FindQuery& query,
                      const std::vector<SearchedMedium>& media,
                      const std::function<bool(const CatalogueMatch&)>& each) {
    MediaRows reader(db, second, dialect, query, media);
    const auto value = [&](const FoundRow& row) -> std::int64_t {
        switch (query.order) {
        case MatchOrder::Size:
            return static_cast<std::int64_t>(row.size);
        case MatchOrder::Modified:
            return row.modified;
        default:
            return row.attributes;
        }
    };
    const auto before = [&](const FoundRow& a, const FoundRow& b) {
        if (value(a) != value(b))
            return query.descending ? value(b) < value(a) : value(a) < value(b);
        return std::tie(media[a.medium].name, a.rank, a.name) <
               std::tie(media[b.medium].name, b.rank, b.name);
    };
    Window window(query);
    FolderPaths paths(db);
    std::vector<FoundRow> rows;
    for (std::size_t i = 0; i < media.size(); ++i) {
        const std::size_t read = rows.size();
        reader.Read(i, rows);
        Rank(paths, media[i].id, std::span(rows).subspan(read));
        if (const auto needed = window.Needed(); needed && rows.size() > 2 * *needed) {
            std::ranges::nth_element(rows, rows.begin() + static_cast<std::ptrdiff_t>(*needed),
                                     before);
            rows.resize(*needed);
        }
    }
    std::ranges::sort(rows, before);
    Emit(db, media, window.Take(rows), paths, each);
}

} // namespace

void FindMatches(IConnection& db, const std::function<IConnection*()>& second, SqlDialect dialect,
                 const FindQuery& query, const std::function<bool(const CatalogueMatch&)>& each) {
    std::vector<SearchedMedium> media = SearchedMedia(db, query);
    if (query.order == MatchOrder::Medium || query.order == MatchOrder::Path)
        FindInPathOrder(db, second, dialect, query, media, each);
    else
        FindInValueOrder(db, second, dialect, query, media, each);
}

std::size_t CountMatches(IConnection& db, SqlDialect dialect, const FindQuery& query) {
    const std::vector<SearchedMedium> media = SearchedMedia(db, query);
    return MatchReader(db, dialect, query).Count(media);
}

std::string ExplainMatches(IConnection& db, SqlDialect dialect, const FindQuery& query) {
    const std::vector<SearchedMedium> media = SearchedMedia(db, query);
    return MatchReader(db, dialect, query).Explain(media);
}
