#include "RecordOutput.h"

#include "engine/ReplacingFile.h"
#include "engine/Text.h"

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

void AppendHexEscapes(std::string& out, std::string_view bytes) {
    static constexpr std::string_view kDigits = "0123456789abcdef";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
    }
}

// The escape of a backslash, a tab, a line feed or a carriage return; nothing for any other
// character.
std::string_view NamedEscape(std::string_view character) {
    if (character.size() != 1)
        return {};
    switch (character[0]) {
    case '\\':
        return "\\\\";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    default:
        return {};
    }
}

} // namespace

std::string EscapedField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    while (!field.empty()) {
        const LeadingChar c = ReadLeadingChar(field);
        const std::string_view bytes = field.substr(0, c.length == 0 ? 1 : c.length);
        if (const std::string_view named = NamedEscape(bytes); !named.empty())
            out += named;
        else if (c.length == 0 || c.control)
            AppendHexEscapes(out, bytes);
        else
            out += bytes;
        field.remove_prefix(bytes.size());
    }
    return out;
}

bool CRecordWriter::Write(std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (const std::string_view field : fields) {
        if (m_format == RecordFormat::NulTerminated) {
            Append(field);
            Append(std::string_view("\0", 1));
            continue;
        }
        if (!first)
            Append("\t");
        Append(EscapedField(field));
        first = false;
    }
    if (m_format == RecordFormat::Escaped)
        Append("\n");
    return m_buffer.size() < kBufferBytes ? m_error == 0 : Flush();
}

bool CRecordWriter::Flush() {
    if (m_error == 0)
        m_error = WriteAll(m_fd, m_buffer);
    m_buffer.clear();
    return m_error == 0;
}

void CRecordWriter::Append(std::string_view bytes) {
    if (m_error == 0)
        m_buffer += bytes;
}
