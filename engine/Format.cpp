#include "Format.h"

#include "engine/Text.h"

namespace {

constexpr std::size_t kSizeTextWidth = 17;

// The number of thousands separators the decimal digits of `size` need.
int CountSeparators(std::uint64_t size) {
    int separators = 0;
    for (; size > 999; size /= 1000)
        ++separators;
    return separators;
}

// "1,234,567": a comma before every group of three digits counted from the right.
std::string GroupDigits(std::uint64_t size) {
    const std::string digits = std::to_string(size);
    const std::size_t lead = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    std::string out = digits.substr(0, lead);
    for (std::size_t pos = lead; pos < digits.size(); pos += 3) {
        out += ',';
        out.append(digits, pos, 3);
    }
    return out;
}

// The grouped digits, or nothing when a column of `width` is too narrow for them.
std::string GroupedDigitsFitting(std::uint64_t size, int width) {
    if (width / (CountSeparators(size) + 1) < 5)
        return {};
    return GroupDigits(size);
}

std::string WithSuffix(const std::string& digits, const char* suffix) {
    return digits.empty() ? std::string() : digits + suffix;
}

// The unit boundaries are decimal while the divisors are powers of 1024, so a million bytes
// shows as "0.9 Mb".
std::string UnitSizeText(std::uint64_t size, int width) {
    if (size < 1024)
        return WithSuffix(GroupedDigitsFitting(size, width), "  b");
    if (size < 1000000)
        return FormatUnits(size, 1) + " Kb";
    if (size < 1000000000)
        return FormatUnits(size, 2) + " Mb";
    return FormatUnits(size, 3) + " Gb";
}

void AppendTwoDigits(std::string& out, int value) {
    const int twoDigits = ((value % 100) + 100) % 100;
    out += static_cast<char>('0' + twoDigits / 10);
    out += static_cast<char>('0' + twoDigits % 10);
}

} // namespace

std::string FormatUnits(std::uint64_t size, int power) {
    std::uint64_t unit = 1;
    for (int i = 0; i < power; ++i)
        unit *= 1024;
    const std::uint64_t tenths = size % unit * 10 / unit;
    return std::to_string(size / unit) + '.' + static_cast<char>('0' + tenths);
}

std::string FormatSizeText(std::uint64_t size, int width, bool bytesMode) {
    const std::string text =
        bytesMode ? WithSuffix(GroupedDigitsFitting(size, width), " b") : UnitSizeText(size, width);
    return PadLeft(text, kSizeTextWidth);
}

std::string FormatAttributes(std::uint32_t attributes) {
    std::string letters;
    if (attributes & kAttrArchive)
        letters += 'A';
    if (attributes & kAttrHidden)
        letters += 'H';
    if (attributes & kAttrReadOnly)
        letters += 'R';
    if (attributes & kAttrSystem)
        letters += 'S';
    return letters;
}

std::string FormatDateTime(const std::tm& local) {
    std::string text;
    text.reserve(17);
    AppendTwoDigits(text, local.tm_mon + 1);
    text += '/';
    AppendTwoDigits(text, local.tm_mday);
    text += '/';
    // The year's last two digits, without adding 1900 to a year that may be the largest int.
    AppendTwoDigits(text, local.tm_year % 100);
    text += ' ';
    AppendTwoDigits(text, local.tm_hour);
    text += ':';
    AppendTwoDigits(text, local.tm_min);
    text += ':';
    AppendTwoDigits(text, local.tm_sec);
    return text;
}

std::tm LocalCalendarTime(std::time_t when) {
    // localtime_r fails only beyond the years an int holds, which no file time reaches.
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

std::tm FileLocalTime(FileTime ft) {
    return LocalCalendarTime(UnixSecondsFromFileTime(ft));
}

std::string FormatLocalTime(std::time_t when) {
    return FormatDateTime(LocalCalendarTime(when));
}

std::string FormatFileTime(FileTime ft) {
    return FormatDateTime(FileLocalTime(ft));
}

void AppendDelimitedField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}
