#include "Exchange.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

constexpr std::array<std::string_view, 4> kKindWords{"file", "folder", "link", "other"};

// Floor division, for times before 1970.
constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};

// The proleptic Gregorian date of a day counted from 1970-01-01 (H. Hinnant's algorithm).
CivilDate DateOfDay(std::int64_t days) {
    days += 719468;
    const std::int64_t era = FloorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    return {yearOfEra + era * 400 + (month <= 2), month, day};
}

std::int64_t DayOfDate(const CivilDate& date) {
    const std::int64_t year = date.year - (date.month <= 2);
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear =
        (153 * (date.month > 2 ? date.month - 3 : date.month + 9) + 2) / 5 + date.day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// A run of exactly `count` digits at `pos`, as a number.
std::optional<int> Digits(std::string_view text, std::size_t pos, std::size_t count) {
    int value = 0;
    if (pos + count > text.size())
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data() + pos, text.data() + pos + count, value);
    if (error != std::errc() || end != text.data() + pos + count || text[pos] == '-' ||
        text[pos] == '+')
        return std::nullopt;
    return value;
}

} // namespace

std::string_view KindWord(EntryKind kind) {
    return kKindWords[static_cast<std::size_t>(kind)];
}

std::optional<EntryKind> KindOfWord(std::string_view word) {
    for (std::size_t i = 0; i < kKindWords.size(); ++i)
        if (kKindWords[i] == word)
            return static_cast<EntryKind>(i);
    return std::nullopt;
}

// The day is counted down from the second's remainder, not up from the day's first second:
// the earliest second that 64 bits hold lies in a day whose first second they do not.
std::string IsoUtcText(std::int64_t seconds) {
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t inDay = seconds % kSecondsPerDay;
    if (inDay < 0) {
        inDay += kSecondsPerDay;
        --days;
    }
    const CivilDate date = DateOfDay(days);
    char text[64];
    std::snprintf(text, sizeof text, "%s%04lld-%02d-%02dT%02d:%02d:%02dZ", date.year < 0 ? "-" : "",
                  static_cast<long long>(date.year < 0 ? -date.year : date.year), date.month,
                  date.day, static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60),
                  static_cast<int>(inDay % 60));
    return text;
}

std::optional<std::int64_t> ParseIsoUtc(std::string_view text) {
    const bool negative = text.starts_with('-');
    const std::size_t yearStart = negative ? 1 : 0;
    const std::size_t dash = text.find('-', yearStart);
    if (dash == std::string_view::npos || dash - yearStart < 4 || dash - yearStart > 13 ||
        text.size() != dash + 16)
        return std::nullopt;
    std::int64_t year = 0;
    const auto [end, error] = std::from_chars(text.data() + yearStart, text.data() + dash, year);
    if (error != std::errc() || end != text.data() + dash || text[yearStart] == '+')
        return std::nullopt;
    const std::string_view rest = text.substr(dash);
    if (rest[0] != '-' || rest[3] != '-' || rest[6] != 'T' || rest[9] != ':' || rest[12] != ':' ||
        rest[15] != 'Z')
        return std::nullopt;
    const auto month = Digits(rest, 1, 2), day = Digits(rest, 4, 2), hour = Digits(rest, 7, 2),
               minute = Digits(rest, 10, 2), second = Digits(rest, 13, 2);
    if (!month || !day || !hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;
    const CivilDate date{negative ? -year : year, *month, *day};
    const std::int64_t days = DayOfDate(date);
    const CivilDate back = DateOfDay(days);
    if (back.year != date.year || back.month != date.month || back.day != date.day)
        return std::nullopt; // no such day, such as the 30th of February
    // Before 1970 the day's seconds count back from the next day, so that the earliest time
    // that 64 bits hold is reached without passing beyond it.
    const std::int64_t inDay = *hour * 3600 + *minute * 60 + *second;
    const bool before = days < 0;
    std::int64_t seconds = 0;
    if (__builtin_mul_overflow(before ? days + 1 : days, kSecondsPerDay, &seconds) ||
        __builtin_add_overflow(seconds, before ? inDay - kSecondsPerDay : inDay, &seconds))
        return std::nullopt; // beyond what 64 bits of seconds hold
    return seconds;
}
