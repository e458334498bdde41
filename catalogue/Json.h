#pragma once

#include "catalogue/Catalogue.h"

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A document that is no JSON of the expected shape; the message names the line and column
// (both from 1, the column counting bytes) where the fault begins.
class JsonError : public CatalogueError {
public:
    JsonError(std::size_t line, std::size_t column, const std::string& what);
};

// Whether `text` is valid UTF-8.
bool IsValidUtf8(std::string_view text);

// `text` with every byte that is no part of a valid character replaced by U+FFFD.
std::string WithReplacementChars(std::string_view text);

// `text` as a JSON string, quotes included: every byte that is no part of a valid character
// becomes U+FFFD, control characters, quotes and backslashes are escaped.
void AppendJsonString(std::string& out, std::string_view text);

// Every byte as two lower-case hexadecimal digits, and back; nothing when `hex` is not such.
std::string HexOf(std::string_view bytes);
std::optional<std::string> BytesOfHex(std::string_view hex);

// Reads one JSON document (RFC 8259) from a stream, a value at a time, without holding more
// than the value being read. Strings must be valid UTF-8 until the reader is told to take their
// bytes as they come (as some programs write the names of files); a "\u" escape is always a
// valid character. Every fault throws JsonError at its place.
class JsonReader {
public:
    enum class Kind { Object, Array, String, Number, Bool, Null };

    explicit JsonReader(std::istream& in) : m_in(in) {}

    // From now on, a string's bytes that are no valid UTF-8 are taken as they are.
    void TakeBytesInStrings() { m_rawBytes = true; }

    // The kind of the value that comes next; its place is the one Fail names from now on.
    Kind Next();
    // An object's members: Enter, then NextMember until it gives false, reading each value.
    void EnterObject();
    bool NextMember(std::string& key);
    // An array's elements: Enter, then NextElement until it gives false, reading each value.
    void EnterArray();
    bool NextElement();
    std::string ReadString();
    // A whole number that fits; a fraction or exponent is refused.
    std::int64_t ReadInt();
    std::uint64_t ReadUnsigned();
    bool ReadBool();
    // Reads the next value whatever it is, however deeply nested.
    void SkipValue();
    // Nothing but white space may follow the document.
    void End();

    // Throws JsonError at the place of the value that comes next (see Next).
    [[noreturn]] void Fail(const std::string& what) const;
    // Throws unless the next value is of `kind`, naming the member `key` in the message.
    void Expect(Kind kind, std::string_view key);

private:
    int Peek();
    int Take();
    void SkipSpace();
    void Literal(std::string_view word);
    std::string ReadNumberText();
    // Each is given the place of the character it reads, where its faults are told.
    void ReadEscape(std::string& out, std::size_t line, std::size_t column);
    char32_t ReadHex4();
    void ReadRawBytes(std::string& out, unsigned char lead, std::size_t line, std::size_t column);
    [[noreturn]] void FailHere(const std::string& what) const;

    std::istream& m_in;
    bool m_rawBytes = false;
    std::array<char, 65536> m_buffer{};
    std::size_t m_pos = 0;
    std::size_t m_size = 0;
    std::size_t m_line = 1;
    std::size_t m_column = 1;
    std::size_t m_valueLine = 1;
    std::size_t m_valueColumn = 1;
    void SkipOne();

    // An open container, and whether an element of it was read, so that the next needs a comma.
    struct Open {
        bool object;
        bool any;
    };
    std::vector<Open> m_open;
};
