#include "Export.h"

#include "catalogue/Exchange.h"
#include "catalogue/FindSql.h"
#include "catalogue/HtmlSnapshot.h"
#include "catalogue/Json.h"
#include "engine/Format.h"
#include "engine/OutputFile.h"

#include <algorithm>
#include <sstream>
#include <unordered_map>

namespace {

// Text gathered before it goes to the sink, a piece of this size at a time.
constexpr std::size_t kPieceSize = 1 << 16;

class PieceWriter {
public:
    explicit PieceWriter(const ExportSink& sink) : m_sink(sink) { m_text.reserve(kPieceSize); }

    std::string& Text() { return m_text; }
    // Hands the text to the sink once it is large enough.
    void MaybeFlush() {
        if (m_text.size() >= kPieceSize)
            Flush();
    }
    void Flush() {
        if (!m_text.empty())
            m_sink(m_text);
        m_text.clear();
    }

private:
    const ExportSink& m_sink;
    std::string m_text;
};

// `"key": "text"`, and `"key_hex": "..."` with its exact bytes when they are no valid UTF-8.
void AppendText(std::string& out, const std::string& key, std::string_view text) {
    out += '"';
    out += key;
    out += "\": ";
    AppendJsonString(out, text);
    if (IsValidUtf8(text))
        return;
    out += ", \"";
    out += key;
    out += "_hex\": \"";
    out += HexOf(text);
    out += '"';
}

void AppendNumber(std::string& out, std::string_view key, std::int64_t value) {
    out += '"';
    out += key;
    out += "\": ";
    out += std::to_string(value);
}

void AppendTotals(std::string& out, std::int64_t files, std::int64_t folders, std::uint64_t bytes) {
    out += "\"totals\": {\"files\": " + std::to_string(files) +
           ", \"folders\": " + std::to_string(folders) + ", \"bytes\": " + std::to_string(bytes) +
           "}";
}

void AppendComments(std::string& out, const CommentLines& comments) {
    for (int line = 1; line <= 3; ++line) {
        if (comments.Line(line).empty())
            continue;
        out += ", ";
        AppendText(out, "comment" + std::to_string(line), comments.Line(line));
    }
}

void AppendEntry(std::string& out, const CataloguedEntry& entry) {
    out += "{";
    AppendNumber(out, "id", entry.id);
    out += ", ";
    AppendNumber(out, "parent", entry.parent);
    out += ", ";
    AppendText(out, "name", entry.name);
    out += ", \"kind\": \"";
    out += KindWord(entry.kind);
    out += "\", \"size\": " + std::to_string(entry.size) + ", \"modified\": \"" +
           IsoUtcText(entry.modified) + "\", ";
    AppendNumber(out, "attributes", entry.attributes);
    if (entry.totals) {
        out += ", ";
        AppendTotals(out, entry.totals->files, entry.totals->folders, entry.totals->bytes);
    }
    AppendComments(out, entry.comments);
    if (entry.hash)
        out += ", \"xxh3_128\": \"" + HexOf(HashBytes(*entry.hash)) + '"';
    out += "}";
}

void AppendMediumHead(std::string& out, const Medium& medium) {
    out += "    {\n      ";
    AppendText(out, "name", medium.name);
    out += ",\n      ";
    AppendText(out, "folder", medium.folder);
    out += ",\n      \"volume\": {";
    AppendText(out, "label", medium.volume.label);
    out += ", ";
    AppendText(out, "uuid", medium.volume.uuid);
    out += ", ";
    AppendText(out, "fs_type", medium.volume.fsType);
    out += ", ";
    AppendText(out, "path", medium.volume.path);
    out += "},\n      ";
    AppendText(out, "mount_point", medium.mountPoint);
    out += ",\n      \"added\": \"" + IsoUtcText(medium.added) + "\",\n      ";
    AppendTotals(out, medium.files, medium.folders, medium.bytes);
    out += ",\n      ";
    AppendText(out, "location", medium.location);
    out += ",\n      ";
    AppendText(out, "note", medium.note);
    out += ",\n      \"checksums\": ";
    out += medium.checksums ? "true" : "false";
    out += ",\n      \"entries\": [";
}

void WriteJsonMedium(ICatalogue& catalogue, const Medium& medium, PieceWriter& writer) {
    std::string& out = writer.Text();
    AppendMediumHead(out, medium);
    bool first = true;
    catalogue.MediumEntries(medium.name, [&](const CataloguedEntry& entry) {
        out += first ? "\n        " : ",\n        ";
        first = false;
        AppendEntry(out, entry);
        writer.MaybeFlush();
        return true;
    });
    out += first ? "]\n    }" : "\n      ]\n    }";
}

// A CSV field of `bytes`, made valid UTF-8.
void AppendCsvField(std::string& out, std::string_view bytes) {
    AppendDelimitedField(out, WithReplacementChars(bytes));
}

void WriteCsvMedium(ICatalogue& catalogue, const Medium& medium, PieceWriter& writer) {
    std::string& out = writer.Text();
    std::unordered_map<std::int64_t, std::string> below{{0, ""}}; // a folder's path below
    catalogue.MediumEntries(medium.name, [&](const CataloguedEntry& entry) {
        const std::string& folder = below.at(entry.parent);
        if (entry.kind == EntryKind::Folder)
            below.emplace(entry.id, folder + entry.name + '/');
        AppendCsvField(out, medium.name);
        out += ',';
        AppendCsvField(out, MatchPath(medium.folder, folder, entry.name));
        out += ',';
        out += KindWord(entry.kind);
        out += ',' + std::to_string(entry.size) + ',' + IsoUtcText(entry.modified) + ',' +
               FormatAttributes(entry.attributes) + "\r\n";
        writer.MaybeFlush();
        return true;
    });
}

// The page is made whole before it goes to the sink: its parts are gathered per medium.
void WriteHtmlExport(ICatalogue& catalogue, const std::vector<Medium>& media,
                     const ExportSink& sink) {
    std::vector<std::string> names;
    for (const Medium& medium : media)
        names.push_back(medium.name);
    std::ostringstream page;
    WriteHtmlSnapshot(catalogue, names, page);
    sink(page.view());
}

} // namespace

void WriteJsonExport(ICatalogue& catalogue, const std::vector<Medium>& media,
                     const ExportSink& sink) {
    PieceWriter writer(sink);
    writer.Text() += "{\n  \"format\": \"" + std::string(kExchangeFormat) +
                     "\",\n  \"version\": " + std::to_string(kExchangeVersion) +
                     ",\n  \"media\": [";
    for (std::size_t i = 0; i < media.size(); ++i) {
        writer.Text() += i == 0 ? "\n" : ",\n";
        WriteJsonMedium(catalogue, media[i], writer);
    }
    writer.Text() += media.empty() ? "]\n}\n" : "\n  ]\n}\n";
    writer.Flush();
}

void WriteCsvExport(ICatalogue& catalogue, const std::vector<Medium>& media,
                    const ExportSink& sink) {
    PieceWriter writer(sink);
    writer.Text() += "medium,path,kind,size,modified,attributes\r\n";
    for (const Medium& medium : media)
        WriteCsvMedium(catalogue, medium, writer);
    writer.Flush();
}

void WriteExport(ICatalogue& catalogue, const std::vector<Medium>& media, ExportFormat format,
                 const ExportSink& sink) {
    switch (format) {
    case ExportFormat::Json:
        WriteJsonExport(catalogue, media, sink);
        return;
    case ExportFormat::Csv:
        WriteCsvExport(catalogue, media, sink);
        return;
    case ExportFormat::Html:
        WriteHtmlExport(catalogue, media, sink);
        return;
    }
}

void ExportToFile(ICatalogue& catalogue, const std::vector<Medium>& media, ExportFormat format,
                  const std::string& path) {
    COutputFile file(path, NewFilePermissions());
    const auto fail = [&](int error) { throw CatalogueError(SaveFailureText(error, path)); };
    if (file.Descriptor() < 0)
        fail(file.Error());
    WriteExport(catalogue, media, format, [&](std::string_view text) {
        if (const int error = WriteAll(file.Descriptor(), text))
            fail(error);
    });
    if (!file.Commit())
        fail(file.Error());
}
