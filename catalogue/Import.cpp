#include "Import.h"

#include "catalogue/Exchange.h"
#include "catalogue/Json.h"
#include "engine/EntryStat.h"
#include "engine/FolderEntry.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <unordered_map>

namespace {

using Kind = JsonReader::Kind;

// The text members of an object, each with its exact bytes when a "KEY_hex" member gives them.
class TextMembers {
public:
    explicit TextMembers(std::initializer_list<std::string_view> keys) {
        for (const auto key : keys)
            m_fields.push_back({std::string(key), {}, false, std::nullopt});
    }

    // Reads the member `key` when it is one of these texts or their "_hex"; false when not.
    bool Read(JsonReader& reader, const std::string& key) {
        const bool hex = key.ends_with("_hex");
        Field* field = Find(hex ? std::string_view(key).substr(0, key.size() - 4) : key);
        if (!field)
            return false;
        reader.Expect(Kind::String, key);
        std::string text = reader.ReadString();
        if (hex) {
            auto bytes = BytesOfHex(text);
            if (!bytes)
                reader.Fail("\"" + key + "\" must be hexadecimal digits, two for each byte");
            field->exact = std::move(bytes);
        } else {
            field->text = std::move(text);
        }
        field->present = true;
        return true;
    }

    bool Has(std::string_view key) const { return Get(key) != nullptr; }
    // The text, its exact bytes when given; empty when the member is missing.
    std::string Text(std::string_view key) const {
        const Field* field = Get(key);
        if (!field)
            return {};
        return field->exact ? *field->exact : field->text;
    }

private:
    struct Field {
        std::string key;
        std::string text;
        bool present;
        std::optional<std::string> exact;
    };
    Field* Find(std::string_view key) {
        const auto it = std::ranges::find(m_fields, key, &Field::key);
        return it == m_fields.end() ? nullptr : &*it;
    }
    const Field* Get(std::string_view key) const {
        const auto it = std::ranges::find(m_fields, key, &Field::key);
        return it == m_fields.end() || !it->present ? nullptr : &*it;
    }

    std::vector<Field> m_fields;
};

std::int64_t ReadTime(JsonReader& reader, std::string_view key) {
    reader.Expect(Kind::String, key);
    const auto seconds = ParseIsoUtc(reader.ReadString());
    if (!seconds)
        reader.Fail("\"" + std::string(key) + "\" must be a date and time YYYY-MM-DDTHH:MM:SSZ");
    return *seconds;
}

std::uint32_t ReadAttributes(JsonReader& reader) {
    reader.Expect(Kind::Number, "attributes");
    const std::uint64_t value = reader.ReadUnsigned();
    if (value > std::numeric_limits<std::uint32_t>::max())
        reader.Fail("\"attributes\" must fit in 32 bits");
    return static_cast<std::uint32_t>(value);
}

ContentHash ReadHash(JsonReader& reader) {
    reader.Expect(Kind::String, "xxh3_128");
    const auto bytes = BytesOfHex(reader.ReadString());
    const auto hash = bytes ? HashFromBytes(*bytes) : std::nullopt;
    if (!hash)
        reader.Fail("\"xxh3_128\" must be 32 hexadecimal digits");
    return *hash;
}

[[noreturn]] void UnknownMember(JsonReader& reader, const std::string& key) {
    reader.Fail("unknown member \"" + key + "\"");
}

// A name as a directory gives it: never empty, "." or "..", without "/" or a NUL.
void CheckEntryName(JsonReader& reader, const std::string& name) {
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        reader.Fail("an entry's name must not be empty, \".\" or \"..\", nor hold \"/\" or a NUL");
}

// The entries of a medium in the order of their ids, gathered into the folders that an add
// takes: the entries of each folder are the run of consecutive ids that name it as parent, the
// run of the listed folder (0) first, each other run after the entry of its folder. A folder
// was read when it has a run or its entry has totals.
class FolderRuns {
public:
    explicit FolderRuns(ICatalogueAdd& add) : m_add(add) {}

    void CheckId(JsonReader& reader, std::int64_t id) const {
        if (id != m_next)
            reader.Fail("\"id\" must be " + std::to_string(m_next) +
                        ": the entries are numbered 1, 2, 3, ... in the order they come");
    }

    void CheckParent(JsonReader& reader, std::int64_t parent) const {
        const bool continues = m_run && m_run->id == parent;
        const bool startsRoot = parent == 0 && !m_rootStarted;
        if (!continues && !startsRoot && !m_pending.contains(parent))
            reader.Fail("\"parent\" must be 0 or a folder's id given before it, each folder's "
                        "entries one after another");
    }

    void Add(AddedEntry entry, std::int64_t parent, bool read) {
        if (!m_run || m_run->id != parent)
            StartRun(parent);
        if (entry.kind == EntryKind::Folder)
            m_pending.emplace(m_next, read);
        m_run->entries.push_back(std::move(entry));
        ++m_next;
    }

    // The last run, the listed folder when it is empty, and the empty folders that were read.
    void Finish() {
        Flush();
        if (!m_rootStarted)
            m_add.AddFolder({0, m_next, {}});
        const std::map<std::int64_t, bool> pending(m_pending.begin(), m_pending.end());
        for (const auto& [id, read] : pending)
            if (read)
                m_add.AddFolder({id, m_next, {}});
    }

private:
    void StartRun(std::int64_t parent) {
        Flush();
        m_run = AddedFolder{parent, m_next, {}};
        if (parent == 0)
            m_rootStarted = true;
        else
            m_pending.erase(parent);
    }
    void Flush() {
        if (m_run)
            m_add.AddFolder(*m_run);
        m_run.reset();
    }

    ICatalogueAdd& m_add;
    std::optional<AddedFolder> m_run;
    bool m_rootStarted = false;
    std::int64_t m_next = 1;
    // Folders whose runs have not come yet, and whether they were read.
    std::unordered_map<std::int64_t, bool> m_pending;
};

void ReadEntry(JsonReader& reader, FolderRuns& runs) {
    AddedEntry entry;
    std::optional<std::int64_t> id;
    std::optional<std::int64_t> parent;
    std::optional<EntryKind> kind;
    bool read = false;
    TextMembers texts{"name", "comment1", "comment2", "comment3"};
    reader.EnterObject();
    for (std::string key; reader.NextMember(key);) {
        if (texts.Read(reader, key)) {
            if (key.starts_with("name"))
                CheckEntryName(reader, texts.Text("name"));
        } else if (key == "id") {
            reader.Expect(Kind::Number, key);
            id = reader.ReadInt();
            runs.CheckId(reader, *id);
        } else if (key == "parent") {
            reader.Expect(Kind::Number, key);
            parent = reader.ReadInt();
            runs.CheckParent(reader, *parent);
        } else if (key == "kind") {
            reader.Expect(Kind::String, key);
            kind = KindOfWord(reader.ReadString());
            if (!kind)
                reader.Fail("\"kind\" must be \"file\", \"folder\", \"link\" or \"other\"");
        } else if (key == "size") {
            reader.Expect(Kind::Number, key);
            entry.size = reader.ReadUnsigned();
        } else if (key == "modified") {
            entry.modified = ReadTime(reader, key);
        } else if (key == "attributes") {
            entry.attributes = ReadAttributes(reader);
        } else if (key == "totals") {
            reader.Expect(Kind::Object, key);
            reader.SkipValue(); // counted again
            read = true;
        } else if (key == "xxh3_128") {
            entry.hash = ReadHash(reader);
        } else {
            UnknownMember(reader, key);
        }
    }
    if (!id || !parent || !kind || !texts.Has("name"))
        reader.Fail("an entry needs \"id\", \"parent\", \"name\" and \"kind\"");
    entry.name = texts.Text("name");
    entry.comments = {texts.Text("comment1"), texts.Text("comment2"), texts.Text("comment3")};
    entry.kind = *kind;
    runs.Add(std::move(entry), *parent, read);
}

void ReadEntries(JsonReader& reader, ICatalogueAdd& add) {
    FolderRuns runs(add);
    reader.Expect(Kind::Array, "entries");
    reader.EnterArray();
    while (reader.NextElement())
        ReadEntry(reader, runs);
    runs.Finish();
}

void ReadVolume(JsonReader& reader, VolumeInfo& volume) {
    TextMembers texts{"label", "uuid", "fs_type", "path"};
    reader.Expect(Kind::Object, "volume");
    reader.EnterObject();
    for (std::string key; reader.NextMember(key);)
        if (!texts.Read(reader, key))
            UnknownMember(reader, key);
    volume = {texts.Text("label"), texts.Text("uuid"), texts.Text("fs_type"), texts.Text("path")};
}

// One medium of the program's own document: its members, then its entries, added as they come.
class OwnMedium {
public:
    OwnMedium(ICatalogue& catalogue, const ImportOptions& options)
        : m_catalogue(catalogue), m_options(options) {}

    std::string Read(JsonReader& reader) {
        reader.EnterObject();
        for (std::string key; reader.NextMember(key);) {
            if (m_added)
                reader.Fail("\"" + key + "\" must come before \"entries\"");
            ReadMember(reader, key);
        }
        if (!m_added)
            reader.Fail("a medium needs \"entries\"");
        return m_medium.name;
    }

private:
    void ReadMember(JsonReader& reader, const std::string& key) {
        if (m_texts.Read(reader, key)) {
            if (key.starts_with("name") && !m_options.as)
                CheckName(reader, m_texts.Text("name"));
        } else if (key == "volume") {
            ReadVolume(reader, m_medium.volume);
        } else if (key == "added") {
            m_medium.added = ReadTime(reader, key);
        } else if (key == "checksums") {
            reader.Expect(Kind::Bool, key);
            m_medium.checksums = reader.ReadBool();
        } else if (key == "totals") {
            reader.Expect(Kind::Object, key);
            reader.SkipValue(); // counted again
        } else if (key == "entries") {
            AddEntries(reader);
        } else {
            UnknownMember(reader, key);
        }
    }

    static void CheckName(JsonReader& reader, const std::string& name) {
        try {
            CheckMediumName(name);
        } catch (const CatalogueError& error) {
            reader.Fail(error.what());
        }
    }

    void AddEntries(JsonReader& reader) {
        if (!m_texts.Has("name") && !m_options.as)
            reader.Fail("\"name\" must come before \"entries\"");
        m_medium.name = m_options.as.value_or(m_texts.Text("name"));
        m_medium.folder = m_texts.Text("folder");
        m_medium.mountPoint = m_texts.Text("mount_point");
        m_medium.location = m_texts.Text("location");
        m_medium.note = m_texts.Text("note");
        auto add = m_catalogue.BeginAdd(m_medium, m_options.replace);
        ReadEntries(reader, *add);
        add->Commit();
        m_added = true;
    }

    ICatalogue& m_catalogue;
    const ImportOptions& m_options;
    Medium m_medium;
    TextMembers m_texts{"name", "folder", "mount_point", "location", "note"};
    bool m_added = false;
};

std::vector<std::string> ReadOwnDocument(JsonReader& reader, ICatalogue& catalogue,
                                         const ImportOptions& options) {
    std::vector<std::string> names;
    bool knownFormat = false;
    bool knownVersion = false;
    bool haveMedia = false;
    reader.EnterObject();
    for (std::string key; reader.NextMember(key);) {
        if (key == "format") {
            reader.Expect(Kind::String, key);
            knownFormat = reader.ReadString() == kExchangeFormat;
            if (!knownFormat)
                reader.Fail("\"format\" must be \"" + std::string(kExchangeFormat) + "\"");
        } else if (key == "version") {
            reader.Expect(Kind::Number, key);
            knownVersion = reader.ReadInt() == kExchangeVersion;
            if (!knownVersion)
                reader.Fail("this program reads version " + std::to_string(kExchangeVersion) +
                            " of the format, not this one");
        } else if (key == "media" && knownFormat && knownVersion) {
            reader.Expect(Kind::Array, key);
            reader.EnterArray();
            while (reader.NextElement()) {
                if (options.as && !names.empty())
                    reader.Fail("--as names one medium, and the document has more");
                names.push_back(OwnMedium(catalogue, options).Read(reader));
            }
            haveMedia = true;
        } else if (key == "media") {
            reader.Fail("\"format\" and \"version\" must come before \"media\"");
        } else {
            UnknownMember(reader, key);
        }
    }
    if (!haveMedia)
        reader.Fail("the document has no \"media\"");
    return names;
}

// ncdu's export: [1, MINOR, {metadata}, [{root}, entry, [{folder}, entry, ...], ...]].
class NcduDocument {
public:
    std::string ReadInto(JsonReader& reader, ICatalogue& catalogue, const ImportOptions& options) {
        Medium medium;
        reader.EnterArray();
        ReadHeader(reader, medium);
        if (!reader.NextElement())
            reader.Fail("the ncdu file has no folder");
        reader.Expect(Kind::Array, "the folder");
        reader.EnterArray();
        if (!reader.NextElement())
            reader.Fail("a folder's array must begin with the folder's own object");
        medium.folder = ReadInfo(reader).name;
        ReadTree(reader);
        if (reader.NextElement())
            reader.Fail("nothing may follow the folder in an ncdu file");
        medium.name = options.as.value_or(medium.folder);
        auto add = catalogue.BeginAdd(medium, options.replace);
        AddTree(*add);
        add->Commit();
        return medium.name;
    }

    // The tree goes without recursion, as it came: a hostile file may nest folders without end.
    ~NcduDocument() {
        std::vector<std::unique_ptr<Folder>> below;
        const auto takeChildren = [&below](Folder& folder) {
            for (auto& [index, child] : folder.read)
                below.push_back(std::move(child));
            folder.read.clear();
        };
        takeChildren(m_root);
        while (!below.empty()) {
            const std::unique_ptr<Folder> folder = std::move(below.back());
            below.pop_back();
            takeChildren(*folder);
        }
    }

private:
    struct Folder {
        std::vector<AddedEntry> entries;
        std::vector<std::pair<std::size_t, std::unique_ptr<Folder>>> read; // by entry index
    };

    static void ReadHeader(JsonReader& reader, Medium& medium) {
        if (!reader.NextElement() || reader.Next() != Kind::Number || reader.ReadInt() != 1)
            reader.Fail("an ncdu file begins with its major version, 1");
        if (!reader.NextElement() || reader.Next() != Kind::Number)
            reader.Fail("an ncdu file's minor version was expected");
        reader.ReadInt();
        if (!reader.NextElement())
            reader.Fail("an ncdu file's metadata was expected");
        reader.Expect(Kind::Object, "metadata");
        reader.EnterObject();
        for (std::string key; reader.NextMember(key);) {
            if (key == "timestamp") {
                reader.Expect(Kind::Number, key);
                medium.added = reader.ReadInt();
            } else {
                reader.SkipValue();
            }
        }
    }

    // One entry's object; its kind from its mode when ncdu recorded it (-e).
    static AddedEntry ReadInfo(JsonReader& reader) {
        AddedEntry entry;
        std::optional<std::uint64_t> mode;
        bool notRegular = false;
        bool named = false;
        reader.EnterObject();
        for (std::string key; reader.NextMember(key);) {
            if (key == "name") {
                reader.Expect(Kind::String, key);
                entry.name = reader.ReadString();
                named = true;
            } else if (key == "asize") {
                reader.Expect(Kind::Number, key);
                entry.size = reader.ReadUnsigned();
            } else if (key == "mtime") {
                reader.Expect(Kind::Number, key);
                entry.modified = reader.ReadInt();
            } else if (key == "mode") {
                reader.Expect(Kind::Number, key);
                mode = reader.ReadUnsigned();
            } else if (key == "notreg") {
                reader.Expect(Kind::Bool, key);
                notRegular = reader.ReadBool();
            } else {
                reader.SkipValue();
            }
        }
        if (!named)
            reader.Fail("an entry of an ncdu file needs a \"name\"");
        const mode_t type = mode ? static_cast<mode_t>(*mode)
                                 : static_cast<mode_t>((notRegular ? S_IFIFO : S_IFREG) | S_IWUSR);
        entry.kind = S_ISDIR(type)   ? EntryKind::Folder
                     : S_ISLNK(type) ? EntryKind::Link
                     : S_ISREG(type) ? EntryKind::File
                                     : EntryKind::Other;
        entry.attributes = AttributesOfMode(type, entry.name, false);
        return entry;
    }

    // The listed folder's entries and below, its array entered and its object read; a stack
    // of the folders open, so that no depth of nesting exhausts the program's.
    void ReadTree(JsonReader& reader) {
        std::vector<Folder*> open{&m_root};
        while (!open.empty()) {
            if (!reader.NextElement()) {
                open.pop_back();
                continue;
            }
            Folder& folder = *open.back();
            const Kind kind = reader.Next();
            if (kind == Kind::Object) {
                AddedEntry entry = ReadInfo(reader);
                CheckName(reader, entry.name);
                folder.entries.push_back(std::move(entry));
            } else if (kind == Kind::Array) {
                reader.EnterArray();
                if (!reader.NextElement())
                    reader.Fail("a folder's array must begin with the folder's own object");
                AddedEntry entry = ReadInfo(reader);
                CheckName(reader, entry.name);
                entry.kind = EntryKind::Folder;
                entry.size = 0;
                entry.attributes |= kAttrFolder;
                folder.read.emplace_back(folder.entries.size(), std::make_unique<Folder>());
                folder.entries.push_back(std::move(entry));
                open.push_back(folder.read.back().second.get());
            } else {
                reader.Fail("an entry of an ncdu file is an object, or a folder's array");
            }
        }
    }

    static void CheckName(JsonReader& reader, const std::string& name) {
        CheckEntryName(reader, name);
    }

    // The folders in the order an add numbers them: each folder's entries in a run, a folder's
    // id its parent's first id plus its index.
    void AddTree(ICatalogueAdd& add) {
        std::deque<std::pair<Folder*, std::int64_t>> queue{{&m_root, 0}};
        std::int64_t next = 1;
        while (!queue.empty()) {
            auto [folder, id] = queue.front();
            queue.pop_front();
            for (auto& [index, below] : folder->read)
                queue.emplace_back(below.get(), next + static_cast<std::int64_t>(index));
            AddedFolder added{id, next, std::move(folder->entries)};
            next += static_cast<std::int64_t>(added.entries.size());
            add.AddFolder(added);
        }
    }

    Folder m_root;
};

} // namespace

std::vector<std::string> ImportMedia(ICatalogue& catalogue, std::istream& in,
                                     const ImportOptions& options) {
    auto batch = catalogue.BeginBatch();
    // ncdu writes names as their bytes, valid UTF-8 or not; the program's own document never.
    JsonReader reader(in);
    const bool ncdu = reader.Next() == Kind::Array;
    if (ncdu)
        reader.TakeBytesInStrings();
    std::vector<std::string> names =
        ncdu ? std::vector<std::string>{NcduDocument().ReadInto(reader, catalogue, options)}
             : ReadOwnDocument(reader, catalogue, options);
    reader.End();
    batch->Commit();
    return names;
}
