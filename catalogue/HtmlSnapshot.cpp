#include "HtmlSnapshot.h"

#include "SnapshotPage.h"
#include "catalogue/CaseFolding.h"
#include "catalogue/FindSql.h"
#include "engine/Text.h"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_map>
#include <utility>

namespace {

// Sizes from here on do not fit a JavaScript number exactly; the page gets them as text.
constexpr std::uint64_t kFirstInexactNumber = std::uint64_t{1} << 53;

// The bytes of numbers, seven bits at a time, the last byte of each without its top bit.
class VarintColumn {
public:
    void Add(std::uint64_t value) {
        while (value >= 0x80) {
            m_bytes += static_cast<char>(0x80 | (value & 0x7F));
            value >>= 7;
        }
        m_bytes += static_cast<char>(value);
    }
    // A signed number: 0, -1, 1, -2, ... as 0, 1, 2, 3, ...
    void AddSigned(std::int64_t value) {
        const auto bits = static_cast<std::uint64_t>(value);
        Add((bits << 1) ^ (value < 0 ? ~std::uint64_t{0} : 0));
    }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

std::string Base64(const std::string& bytes) {
    static constexpr std::string_view kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(group >> 18) & 0x3F];
        out += kDigits[(group >> 12) & 0x3F];
        out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 0x3F] : '=';
        out += i + 2 < bytes.size() ? kDigits[group & 0x3F] : '=';
    }
    return out;
}

// A JavaScript escape of `value`: "\x" and two hex digits, or "\u" and four.
void AppendEscape(std::string& out, char32_t value) {
    static constexpr std::string_view kDigits = "0123456789abcdef";
    const int digits = value < 0x100 ? 2 : 4;
    out += digits == 2 ? "\\x" : "\\u";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 0xF];
}

bool IsPlainAscii(char c) {
    return c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '<' && c != ':';
}

// `text` as the characters of a JavaScript string literal that the page's HTML parser leaves
// alone: an invalid byte b becomes the lone surrogate U+DC00 + b, as the catalogue decodes it;
// quotes, backslashes, "<" (no "</script>" can end the data early), ":" (no name reads as an
// address such as "http:" to anyone checking the page) and every control character are escaped
// (HTML would turn a carriage return into a line feed).
void AppendJsChars(std::string& out, std::string_view text) {
    if (std::ranges::all_of(text, IsPlainAscii)) {
        out += text;
        return;
    }
    for (const char32_t c : DecodeLenient(text)) {
        if (c == U'"' || c == U'\\')
            out.append({'\\', static_cast<char>(c)});
        else if (c < 0x20 || c == U'<' || c == U':' || (c >= 0x7F && c <= 0x9F) ||
                 (c >= 0xDC80 && c <= 0xDCFF) || c == 0x2028 || c == 0x2029)
            AppendEscape(out, c);
        else
            out += EncodeUtf8(std::u32string_view(&c, 1));
    }
}

std::string JsString(std::string_view text) {
    std::string out = "\"";
    AppendJsChars(out, text);
    return out + '"';
}

char KindLetter(EntryKind kind) {
    switch (kind) {
    case EntryKind::Folder:
        return 'd';
    case EntryKind::Link:
        return 'l';
    case EntryKind::Other:
        return 'o';
    case EntryKind::File:
        break;
    }
    return 'f';
}

// Simple case folding as the page applies it: pairs of a code point (after the previous one)
// and what folding adds to it.
std::string FoldTable() {
    std::string out = "[";
    char32_t previous = 0;
    for (const CaseFold& fold : SimpleCaseFolds()) {
        out += std::to_string(fold.from - previous) + ',' +
               std::to_string(static_cast<std::int64_t>(fold.to) - fold.from) + ',';
        previous = fold.from;
    }
    out.back() = ']';
    return out;
}

// A folder whose entries a medium's data holds: `index` is its entry's (in the page's order of
// the medium's entries), its entries follow one another from `first`.
struct SnapshotFolder {
    std::int64_t index = 0;
    std::int64_t first = 0;
    std::int64_t count = 0;
    FolderTotals totals;
};

// A folder still to write: its id in the catalogue and where its SnapshotFolder is.
struct PendingFolder {
    std::int64_t id = 0;
    std::optional<std::size_t> slot; // none: the listed folder, which has no entry
};

// Every entry of a medium as the catalogue numbers them, the entries of each folder in a run.
class MediumTree {
public:
    MediumTree(ICatalogue& catalogue, const std::string& medium) {
        catalogue.MediumEntries(medium, [&](const CataloguedEntry& entry) {
            const auto run = m_runs.try_emplace(entry.parent, m_entries.size(), 0).first;
            ++run->second.second;
            m_entries.emplace_back(entry).comments = {}; // the page shows no comments
            return true;
        });
    }

    // The entries of the folder `id`, by name.
    std::vector<const CataloguedEntry*> EntriesOf(std::int64_t id) const {
        std::vector<const CataloguedEntry*> entries;
        if (const auto run = m_runs.find(id); run != m_runs.end())
            for (std::size_t i = 0; i < run->second.second; ++i)
                entries.push_back(&m_entries[run->second.first + i]);
        std::ranges::sort(entries, {}, &CataloguedEntry::name);
        return entries;
    }

private:
    std::vector<CataloguedEntry> m_entries;
    std::unordered_map<std::int64_t, std::pair<std::size_t, std::size_t>> m_runs; // first, count
};

// The entries of one medium in the page's order, the order of the catalogue's search: a folder
// at a time, depth first in the order of folder paths; the entries of each folder by name, as
// bytes.
class MediumColumns {
public:
    MediumColumns(ICatalogue& catalogue, const Medium& medium) {
        const MediumTree tree(catalogue, medium.name);
        std::vector<PendingFolder> pending{{0, std::nullopt}};
        while (!pending.empty()) {
            const PendingFolder folder = pending.back();
            pending.pop_back();
            const std::vector<const CataloguedEntry*> entries = tree.EntriesOf(folder.id);
            const std::int64_t first = m_count;
            if (!folder.slot)
                m_rootCount = static_cast<std::int64_t>(entries.size());
            for (const CataloguedEntry* entry : entries)
                Add(*entry);
            // The sub-folders, the first in path order last, to be written next.
            std::vector<std::size_t> read;
            for (std::size_t i = 0; i < entries.size(); ++i)
                if (entries[i]->totals)
                    read.push_back(i);
            std::ranges::sort(read, [&](std::size_t a, std::size_t b) {
                return PathNameLess(entries[b]->name, entries[a]->name);
            });
            for (const std::size_t i : read) {
                pending.push_back({entries[i]->id, m_folders.size()});
                m_folders.push_back(
                    {first + static_cast<std::int64_t>(i), 0, 0, *entries[i]->totals});
            }
            if (folder.slot) {
                m_folders[*folder.slot].first = first;
                m_folders[*folder.slot].count = m_count - first;
            }
        }
    }

    void Write(std::ostream& out) {
        std::ranges::sort(m_folders, {}, &SnapshotFolder::index);
        VarintColumn folders;
        std::int64_t previous = 0;
        for (const SnapshotFolder& folder : m_folders) {
            folders.Add(static_cast<std::uint64_t>(folder.index - previous));
            folders.Add(static_cast<std::uint64_t>(folder.first - folder.index));
            folders.Add(static_cast<std::uint64_t>(folder.count));
            folders.Add(static_cast<std::uint64_t>(folder.totals.files));
            folders.Add(static_cast<std::uint64_t>(folder.totals.folders));
            previous = folder.index;
        }
        out << ",count:" << m_count << ",rootCount:" << m_rootCount << ",names:\"" << m_names
            << "\",kinds:\"" << m_kinds << "\",sizes:\"" << Base64(m_sizes.Bytes()) << "\",times:\""
            << Base64(m_times.Bytes()) << "\",dirs:\"" << Base64(folders.Bytes()) << "\",bigSizes:{"
            << m_bigSizes << '}';
    }

private:
    void Add(const CataloguedEntry& entry) {
        if (m_count > 0)
            m_names += '/'; // no name holds one
        AppendJsChars(m_names, entry.name);
        m_kinds += KindLetter(entry.kind);
        if (entry.size >= kFirstInexactNumber) {
            m_bigSizes += (m_bigSizes.empty() ? "" : ",") + std::to_string(m_count) + ":\"" +
                          std::to_string(entry.size) + '"';
            m_sizes.Add(0);
        } else {
            m_sizes.Add(entry.size);
        }
        // The difference in two's complement, so that no time overflows it.
        m_times.AddSigned(static_cast<std::int64_t>(static_cast<std::uint64_t>(entry.modified) -
                                                    static_cast<std::uint64_t>(m_lastTime)));
        m_lastTime = entry.modified;
        ++m_count;
    }

    std::int64_t m_count = 0;
    std::int64_t m_rootCount = 0;
    std::string m_names;
    std::string m_kinds;
    VarintColumn m_sizes;
    VarintColumn m_times;
    std::int64_t m_lastTime = 0;
    std::string m_bigSizes;
    std::vector<SnapshotFolder> m_folders;
};

void WriteMedium(ICatalogue& catalogue, const Medium& medium, std::ostream& out) {
    out << "{name:" << JsString(medium.name) << ",folder:" << JsString(medium.folder)
        << ",label:" << JsString(medium.volume.label) << ",uuid:" << JsString(medium.volume.uuid)
        << ",fsType:" << JsString(medium.volume.fsType)
        << ",volumePath:" << JsString(medium.volume.path)
        << ",mountPoint:" << JsString(medium.mountPoint) << ",added:" << medium.added
        << ",files:" << medium.files << ",folders:" << medium.folders << ",bytes:\"" << medium.bytes
        << "\",location:" << JsString(medium.location) << ",note:" << JsString(medium.note);
    MediumColumns(catalogue, medium).Write(out);
    out << "}";
}

} // namespace

void WriteHtmlSnapshot(ICatalogue& catalogue, const std::vector<std::string>& media,
                       std::ostream& out) {
    std::vector<Medium> selected = SelectedMedia(catalogue, media);
    // The order of the catalogue's search: media by name, as bytes.
    std::ranges::sort(selected, {}, &Medium::name);
    out << kSnapshotPageHead << "const SNAPSHOT={folds:" << FoldTable() << ",media:[";
    for (std::size_t i = 0; i < selected.size(); ++i) {
        out << (i ? ",\n" : "\n");
        WriteMedium(catalogue, selected[i], out);
    }
    out << "]};" << kSnapshotPageTail;
}
