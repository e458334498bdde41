// The listing file: a fixed-column text with a header block and two lines per entry, or a
// comma-delimited table, and the size text that the printed listing shares.
#include "engine/CatalogriumDoc.h"

#include "engine/Format.h"
#include "engine/Text.h"

#include <ostream>
#include <string>
#include <string_view>

namespace {

// The size column: FormatSize with this width, right-aligned in as many characters.
constexpr int kSizeWidth = 26;
constexpr std::size_t kDetailIndent = 43;
constexpr std::size_t kRuleLength = 97;
constexpr std::size_t kNameLineWidth = 79;
constexpr std::size_t kNameLimitNumbered = 67;
constexpr std::size_t kNameLimitUnnumbered = 72;
constexpr std::size_t kFlushBytes = 1 << 16;

// Collects the lines of the file and hands them to the stream in large pieces.
class LineSink {
public:
    explicit LineSink(std::ostream& out) : m_out(out) { m_text.reserve(2 * kFlushBytes); }
    LineSink(const LineSink&) = delete;
    LineSink& operator=(const LineSink&) = delete;

    // The text not yet handed to the stream; the line being built is appended to it and
    // EndLine() ends that line with CR LF.
    std::string& Text() { return m_text; }
    void Line(std::string_view text) {
        m_text += text;
        EndLine();
    }
    void EndLine() {
        m_text += "\r\n";
        if (m_text.size() >= kFlushBytes)
            Flush();
    }
    void Flush() {
        m_out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
        m_text.clear();
    }

private:
    std::ostream& m_out;
    std::string m_text;
};

// A number right-aligned in `width` characters ("%10ld"), never cut.
std::string RightAligned(long long number, std::size_t width) {
    return PadLeft(std::to_string(number), width);
}

std::string ColumnHeader() {
    std::string header(9, ' ');
    header += "Name";
    header.append(43, ' ');
    header += "Size";
    header.append(9, ' ');
    header += "Attributes";
    header.append(4, ' ');
    header += "Last Modified";
    return header;
}

// Writes the listing file of a document with options, in either layout.
class ListingFileWriter {
public:
    ListingFileWriter(const CCatalogriumDoc& doc, const ListingOptions& options, std::ostream& out)
        : m_doc(doc), m_options(options), m_sink(out) {}

    void WriteFixedColumn() {
        WriteHeaderBlock();
        long long number = 0;
        for (const auto& entry : m_doc.m_entryList)
            WriteFixedEntry(*entry, ++number);
        if (!m_doc.m_entryList.empty())
            m_sink.Line("");
        m_sink.Flush();
    }

    void WriteDelimited() {
        WriteDelimitedHeader();
        long long number = 0;
        for (const auto& entry : m_doc.m_entryList)
            WriteDelimitedRow(*entry, ++number);
        m_sink.Flush();
    }

private:
    std::string SizeText(std::uint64_t size) const {
        std::string text;
        m_doc.FormatSize(text, size, kSizeWidth);
        return text;
    }

    void WriteHeaderBlock() {
        std::string& line = m_sink.Text();
        line += "Catalogrium3: Listing of   <";
        line += ReplaceControlChars(m_doc.m_strListedFolder);
        line += "> Created on: ";
        line += FormatLocalTime(m_doc.Now());
        m_sink.EndLine();
        m_sink.Line("Directory(Folder)  summary:  Size(bytes): " + SizeText(m_doc.m_nTotalSize));
        line += "SubFolders Total:....";
        line += RightAligned(m_doc.m_nSubFolders, 10);
        m_sink.EndLine();
        line += "Files Total:.........";
        line += RightAligned(m_doc.m_nFiles, 10);
        m_sink.EndLine();
        m_sink.Line("");
        m_sink.Line("Attributes: A - archive, H - hidden, S - system, R - read only");
        m_sink.Line("");
        WriteBanner();
        m_sink.Line("");
        m_sink.Line(std::string(kRuleLength, '='));
        m_sink.Line(ColumnHeader());
        m_sink.Line(std::string(kRuleLength, '='));
    }

    void WriteBanner() {
        if (m_options.m_nFilesAndFolders == kFoldersOnly)
            m_sink.Line("*********OUTPUT DIRECTORY ONLY*******");
        else if (m_options.m_nFilesAndFolders == kFilesOnly)
            m_sink.Line("******OUTPUT FILES ONLY********");
    }

    // A name too long for the line gives way to the short name.
    const std::string& ShownName(const CFolderEntry& entry) const {
        const std::size_t limit =
            m_options.m_bNumberFileLines ? kNameLimitNumbered : kNameLimitUnnumbered;
        return CountChars(entry.m_strName) <= limit ? entry.m_strName : entry.m_strShortName;
    }

    void WriteFixedEntry(const CFolderEntry& entry, long long number) {
        WriteNameLine(entry, number);
        WriteDetailLine(entry);
        for (int line = 1; line <= 3; ++line)
            if (const std::string& comment = entry.m_comments.Line(line); !comment.empty())
                m_sink.Line("  *** comment:   " + ReplaceControlChars(comment));
    }

    void WriteNameLine(const CFolderEntry& entry, long long number) {
        std::string& line = m_sink.Text();
        const std::size_t start = line.size();
        if (m_options.m_bNumberFileLines) {
            line += RightAligned(number, 6);
            line += ". ";
        } else {
            line += ' ';
        }
        line += entry.IsFolder() ? "[ " : "  ";
        line += ReplaceControlChars(ShownName(entry));
        line += entry.IsFolder() ? " ]  " : "    ";
        const std::size_t length = CountChars(std::string_view(line).substr(start));
        if (length < kNameLineWidth)
            line.append(kNameLineWidth - length, ' ');
        line += ' ';
        m_sink.EndLine();
    }

    void WriteDetailLine(const CFolderEntry& entry) {
        std::string& line = m_sink.Text();
        line.append(kDetailIndent, ' ');
        if (m_options.m_bAddSize) {
            line += PadLeft(SizeText(entry.m_nSize), kSizeWidth);
            line += ' ';
        } else {
            line.append(28, '.');
        }
        if (m_options.m_bAddAttribute) {
            line += PadLeft(FormatAttributes(entry.m_dwAttributes), 6);
            line += "  ";
        } else {
            line.append(6, '.');
        }
        line += "  ";
        if (m_options.m_bAddDate)
            line += FormatFileTime(entry.m_ftLastWrite);
        m_sink.EndLine();
    }

    void WriteDelimitedHeader() {
        std::string& line = m_sink.Text();
        if (m_options.m_bNumberFileLines)
            line += "Number,";
        line += "Type,Name";
        if (m_options.m_bAddSize)
            line += ",Size(bytes)";
        if (m_options.m_bAddAttribute)
            line += ",Attributes";
        if (m_options.m_bAddDate)
            line += ",Last Modified";
        m_sink.EndLine();
    }

    void WriteDelimitedRow(const CFolderEntry& entry, long long number) {
        std::string& line = m_sink.Text();
        if (m_options.m_bNumberFileLines) {
            line += std::to_string(number);
            line += ',';
        }
        line += entry.IsFolder() ? "Y," : "N,";
        AppendDelimitedField(line, TrimWhiteSpace(entry.m_strName));
        if (m_options.m_bAddSize) {
            line += ',';
            line += std::to_string(entry.m_nSize);
        }
        if (m_options.m_bAddAttribute) {
            line += ',';
            line += FormatAttributes(entry.m_dwAttributes);
            line += ' ';
        }
        if (m_options.m_bAddDate) {
            line += ',';
            line += FormatFileTime(entry.m_ftLastWrite);
        }
        m_sink.EndLine();
    }

    const CCatalogriumDoc& m_doc;
    const ListingOptions& m_options;
    LineSink m_sink;
};

} // namespace

void CCatalogriumDoc::FormatSize(std::string& out, std::uint64_t size, int width) const {
    if (!m_pOptions)
        return;
    // Two-column case inserts have no room for byte counts.
    const bool bytesMode =
        m_pOptions->m_bSizeInBytes && !(m_pOptions->m_bTwoColumn && m_pOptions->IsCaseInsert());
    out = FormatSizeText(size, width, bytesMode);
}

void CCatalogriumDoc::Serialize(std::ostream& out) const {
    if (!m_pOptions)
        return;
    ListingFileWriter writer(*this, *m_pOptions, out);
    if (m_pOptions->m_bDelimited)
        writer.WriteDelimited();
    else
        writer.WriteFixedColumn();
}
