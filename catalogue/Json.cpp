#include "Json.h"

#include "engine/Text.h"

#include <charconv>

namespace {

constexpr int kEnd = -1;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

const char* KindName(JsonReader::Kind kind) {
    switch (kind) {
    case JsonReader::Kind::Object:
        return "an object";
    case JsonReader::Kind::Array:
        return "an array";
    case JsonReader::Kind::String:
        return "a string";
    case JsonReader::Kind::Number:
        return "a number";
    case JsonReader::Kind::Bool:
        return "true or false";
    case JsonReader::Kind::Null:
        return "null";
    }
    return "a value";
}

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsDigit(int c) {
    return c >= '0' && c <= '9';
}

int HexValue(int c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendEscapedControl(std::string& out, unsigned char c) {
    constexpr char kDigits[] = "0123456789abcdef";
    switch (c) {
    case '\b':
        out += "\\b";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        out += "\\u00";
        out += kDigits[c >> 4];
        out += kDigits[c & 0xF];
    }
}

} // namespace

JsonError::JsonError(std::size_t line, std::size_t column, const std::string& what)
    : CatalogueError("line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                     what) {}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = ReadLeadingChar(text.substr(pos)).length;
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::string WithReplacementChars(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = ReadLeadingChar(text.substr(pos)).length;
        if (length == 0)
            out += kReplacement;
        else
            out.append(text.substr(pos, length));
        pos += length == 0 ? 1 : length;
    }
    return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t pos = 0; pos < text.size();) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (c < 0x20) {
            AppendEscapedControl(out, c);
            ++pos;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++pos;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++pos;
        } else if (const std::size_t length = ReadLeadingChar(text.substr(pos)).length) {
            out.append(text.substr(pos, length));
            pos += length;
        } else {
            out += kReplacement;
            ++pos;
        }
    }
    out += '"';
}

std::string HexOf(std::string_view bytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        hex += kDigits[c >> 4];
        hex += kDigits[c & 0xF];
    }
    return hex;
}

std::optional<std::string> BytesOfHex(std::string_view hex) {
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

int JsonReader::Peek() {
    if (m_pos == m_size) {
        m_in.read(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        m_size = static_cast<std::size_t>(m_in.gcount());
        m_pos = 0;
        if (m_size == 0)
            return kEnd;
    }
    return static_cast<unsigned char>(m_buffer[m_pos]);
}

int JsonReader::Take() {
    const int c = Peek();
    if (c == kEnd)
        return c;
    ++m_pos;
    if (c == '\n') {
        ++m_line;
        m_column = 1;
    } else {
        ++m_column;
    }
    return c;
}

void JsonReader::SkipSpace() {
    while (IsSpace(Peek()))
        Take();
}

void JsonReader::FailHere(const std::string& what) const {
    throw JsonError(m_line, m_column, what);
}

void JsonReader::Fail(const std::string& what) const {
    throw JsonError(m_valueLine, m_valueColumn, what);
}

JsonReader::Kind JsonReader::Next() {
    SkipSpace();
    m_valueLine = m_line;
    m_valueColumn = m_column;
    const int c = Peek();
    switch (c) {
    case '{':
        return Kind::Object;
    case '[':
        return Kind::Array;
    case '"':
        return Kind::String;
    case 't':
    case 'f':
        return Kind::Bool;
    case 'n':
        return Kind::Null;
    default:
        if (c == '-' || IsDigit(c))
            return Kind::Number;
    }
    FailHere(c == kEnd ? "the document ends where a value should be" : "no value begins here");
}

void JsonReader::Expect(Kind kind, std::string_view key) {
    if (Next() != kind)
        Fail("\"" + std::string(key) + "\" must be " + KindName(kind));
}

void JsonReader::EnterObject() {
    if (Next() != Kind::Object)
        Fail("an object was expected");
    Take();
    m_open.push_back({true, false});
}

void JsonReader::EnterArray() {
    if (Next() != Kind::Array)
        Fail("an array was expected");
    Take();
    m_open.push_back({false, false});
}

bool JsonReader::NextMember(std::string& key) {
    SkipSpace();
    if (Peek() == '}') {
        Take();
        m_open.pop_back();
        return false;
    }
    if (m_open.back().any) {
        if (Peek() != ',')
            FailHere("a comma or \"}\" was expected");
        Take();
        SkipSpace();
    }
    m_open.back().any = true;
    if (Peek() != '"')
        FailHere("a member's name in quotes was expected");
    Next();
    key = ReadString();
    SkipSpace();
    if (Peek() != ':')
        FailHere("a colon was expected after the member's name");
    Take();
    return true;
}

bool JsonReader::NextElement() {
    SkipSpace();
    if (Peek() == ']') {
        Take();
        m_open.pop_back();
        return false;
    }
    if (m_open.back().any) {
        if (Peek() != ',')
            FailHere("a comma or \"]\" was expected");
        Take();
    }
    m_open.back().any = true;
    return true;
}

char32_t JsonReader::ReadHex4() {
    char32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = HexValue(Peek());
        if (digit < 0)
            FailHere("\"\\u\" needs four hexadecimal digits");
        Take();
        value = value * 16 + static_cast<char32_t>(digit);
    }
    return value;
}

void JsonReader::ReadEscape(std::string& out, std::size_t line, std::size_t column) {
    const int c = Take();
    switch (c) {
    case '"':
    case '\\':
    case '/':
        out += static_cast<char>(c);
        return;
    case 'b':
        out += '\b';
        return;
    case 'f':
        out += '\f';
        return;
    case 'n':
        out += '\n';
        return;
    case 'r':
        out += '\r';
        return;
    case 't':
        out += '\t';
        return;
    case 'u':
        break;
    default:
        throw JsonError(line, column, "unknown escape in a string");
    }
    char32_t cp = ReadHex4();
    if (cp >= 0xDC00 && cp <= 0xDFFF)
        throw JsonError(line, column, "a \"\\u\" escape of a lone low surrogate");
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        const char* unpaired = "a high surrogate must be followed by a \"\\u\" low surrogate";
        if (Take() != '\\' || Take() != 'u')
            throw JsonError(line, column, unpaired);
        const char32_t low = ReadHex4();
        if (low < 0xDC00 || low > 0xDFFF)
            throw JsonError(line, column, unpaired);
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    out += EncodeUtf8(std::u32string(1, cp));
}

// A character of two to four bytes, checked unless the reader takes bytes as they come.
void JsonReader::ReadRawBytes(std::string& out, unsigned char lead, std::size_t line,
                              std::size_t column) {
    std::string bytes(1, static_cast<char>(lead));
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    while (bytes.size() < length && (Peek() & 0xC0) == 0x80)
        bytes += static_cast<char>(Take());
    if (!m_rawBytes && ReadLeadingChar(bytes).length != bytes.size())
        throw JsonError(line, column, "a string holds bytes that are no valid UTF-8");
    out += bytes;
}

std::string JsonReader::ReadString() {
    if (Next() != Kind::String)
        Fail("a string was expected");
    Take();
    std::string out;
    for (;;) {
        const std::size_t line = m_line;
        const std::size_t column = m_column;
        const int c = Take();
        if (c == kEnd)
            FailHere("the document ends inside a string");
        if (c == '"')
            return out;
        if (c < 0x20)
            throw JsonError(line, column, "a control character must be escaped in a string");
        if (c == '\\')
            ReadEscape(out, line, column);
        else if (c < 0x80)
            out += static_cast<char>(c);
        else
            ReadRawBytes(out, static_cast<unsigned char>(c), line, column);
    }
}

void JsonReader::Literal(std::string_view word) {
    for (const char c : word)
        if (Take() != c)
            Fail("no value begins here");
}

std::string JsonReader::ReadNumberText() {
    if (Next() != Kind::Number)
        Fail("a number was expected");
    std::string text;
    const auto digits = [&] {
        if (!IsDigit(Peek()))
            FailHere("a digit was expected");
        while (IsDigit(Peek()))
            text += static_cast<char>(Take());
    };
    if (Peek() == '-')
        text += static_cast<char>(Take());
    if (Peek() == '0')
        text += static_cast<char>(Take());
    else
        digits();
    if (Peek() == '.') {
        text += static_cast<char>(Take());
        digits();
    }
    if (Peek() == 'e' || Peek() == 'E') {
        text += static_cast<char>(Take());
        if (Peek() == '+' || Peek() == '-')
            text += static_cast<char>(Take());
        digits();
    }
    return text;
}

std::int64_t JsonReader::ReadInt() {
    const std::string text = ReadNumberText();
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        Fail("a whole number of at most 64 bits was expected");
    return value;
}

std::uint64_t JsonReader::ReadUnsigned() {
    const std::string text = ReadNumberText();
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        Fail("a whole number from 0 to 18446744073709551615 was expected");
    return value;
}

bool JsonReader::ReadBool() {
    if (Next() != Kind::Bool)
        Fail("true or false was expected");
    const bool value = Peek() == 't';
    Literal(value ? "true" : "false");
    return value;
}

// Without recursion, so that no nesting of a hostile document can exhaust the stack.
void JsonReader::SkipValue() {
    const std::size_t depth = m_open.size();
    SkipOne();
    while (m_open.size() > depth) {
        std::string key;
        if (m_open.back().object ? NextMember(key) : NextElement())
            SkipOne();
    }
}

// A scalar read, or a container entered.
void JsonReader::SkipOne() {
    switch (Next()) {
    case Kind::Object:
        EnterObject();
        return;
    case Kind::Array:
        EnterArray();
        return;
    case Kind::String:
        ReadString();
        return;
    case Kind::Number:
        ReadNumberText();
        return;
    case Kind::Bool:
        ReadBool();
        return;
    case Kind::Null:
        Literal("null");
        return;
    }
}

void JsonReader::End() {
    SkipSpace();
    if (Peek() != kEnd)
        FailHere("the document goes on after its end");
}
