#include "engine/Format.h"

#include "tests/engine/ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

// The size text without its leading blanks, after checking that it fills 17 characters.
std::string Trimmed(const std::string& text) {
    EXPECT_GE(text.size(), 17u) << '"' << text << '"';
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

TEST(FormatUnits, RoundsUnitsAndTenthsDown) {
    EXPECT_EQ(FormatUnits(1536, 1), "1.5");
    EXPECT_EQ(FormatUnits(13312, 1), "13.0");
    EXPECT_EQ(FormatUnits(999999, 1), "976.5");
    EXPECT_EQ(FormatUnits(1023, 1), "0.9");
    EXPECT_EQ(FormatUnits(123456789, 2), "117.7");
    EXPECT_EQ(FormatUnits(5000000000ULL, 3), "4.6");
    EXPECT_EQ(FormatUnits(2000000000000ULL, 3), "1862.6");
    EXPECT_EQ(FormatUnits(std::numeric_limits<std::uint64_t>::max(), 3), "17179869183.9");
    EXPECT_EQ(FormatUnits(std::numeric_limits<std::uint64_t>::max(), 5), "16383.9");
}

struct SizeRow {
    std::uint64_t size;
    int width;
    const char* unitText;
    const char* bytesText;
};

TEST(FormatSizeText, EveryRowOfTheSizeTable) {
    const SizeRow rows[] = {
        {0, 26, "0  b", "0 b"},
        {999, 26, "999  b", "999 b"},
        {1010, 26, "1,010  b", "1,010 b"},
        {1023, 26, "1,023  b", "1,023 b"},
        {1024, 26, "1.0 Kb", "1,024 b"},
        {999999, 26, "976.5 Kb", "999,999 b"},
        {1000000, 26, "0.9 Mb", "1,000,000 b"},
        {1048575, 26, "0.9 Mb", "1,048,575 b"},
        {1048576, 26, "1.0 Mb", "1,048,576 b"},
        {734003200, 26, "700.0 Mb", "734,003,200 b"},
        {999999999, 26, "953.6 Mb", "999,999,999 b"},
        {1000000000, 26, "0.9 Gb", "1,000,000,000 b"},
        {1073741823, 26, "0.9 Gb", "1,073,741,823 b"},
        {5000000000ULL, 26, "4.6 Gb", "5,000,000,000 b"},
        {5000000000ULL, 16, "4.6 Gb", ""},
        {999999999, 16, "953.6 Mb", "999,999,999 b"},
        {1000000000000ULL, 26, "931.3 Gb", "1,000,000,000,000 b"},
        {999999999999999ULL, 25, "931322.5 Gb", "999,999,999,999,999 b"},
        {1000000000000000ULL, 26, "931322.5 Gb", ""},
    };
    for (const SizeRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.size << " width " << row.width);
        EXPECT_EQ(Trimmed(FormatSizeText(row.size, row.width, false)), row.unitText);
        EXPECT_EQ(Trimmed(FormatSizeText(row.size, row.width, true)), row.bytesText);
    }
}

TEST(FormatSizeText, RightAlignsInSeventeenCharactersWithoutCutting) {
    EXPECT_EQ(FormatSizeText(13312, 26, false), "          13.0 Kb");
    EXPECT_EQ(FormatSizeText(5, 26, false), "             5  b");
    EXPECT_EQ(FormatSizeText(5000000000ULL, 16, true), std::string(17, ' '));
    EXPECT_EQ(FormatSizeText(1000000000000ULL, 26, true), "1,000,000,000,000 b");
    EXPECT_EQ(FormatSizeText(100000000000000ULL, 26, true), "100,000,000,000,000 b");
}

TEST(FormatSizeText, NarrowColumnsDropTheDigitsOfSmallSizes) {
    EXPECT_EQ(FormatSizeText(12, 4, false), std::string(17, ' '));
    EXPECT_EQ(FormatSizeText(12, 4, true), std::string(17, ' '));
    EXPECT_EQ(Trimmed(FormatSizeText(1000, 10, false)), "1,000  b");
    EXPECT_EQ(FormatSizeText(1000, 9, false), std::string(17, ' '));
    // Unit texts do not depend on the width.
    EXPECT_EQ(Trimmed(FormatSizeText(2048, 0, false)), "2.0 Kb");
}

TEST(FormatAttributes, LettersInTheOrderAHRS) {
    EXPECT_EQ(FormatAttributes(0), "");
    EXPECT_EQ(FormatAttributes(kAttrFolder), "");
    EXPECT_EQ(FormatAttributes(0x80), "");
    EXPECT_EQ(FormatAttributes(kAttrArchive | kAttrReadOnly), "AR");
    EXPECT_EQ(FormatAttributes(kAttrSystem | kAttrReadOnly | kAttrHidden | kAttrArchive), "AHRS");
    EXPECT_EQ(FormatAttributes(kAttrSystem | kAttrHidden | kAttrFolder), "HS");
}

std::tm Calendar(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return tm;
}

TEST(FormatDateTime, TwoDigitFieldsWithLeadingZeros) {
    EXPECT_EQ(FormatDateTime(Calendar(2026, 12, 7, 17, 5, 9)), "12/07/26 17:05:09");
    EXPECT_EQ(FormatDateTime(Calendar(2027, 1, 5, 8, 0, 0)), "01/05/27 08:00:00");
    EXPECT_EQ(FormatDateTime(Calendar(2000, 2, 29, 0, 0, 0)), "02/29/00 00:00:00");
    EXPECT_EQ(FormatDateTime(Calendar(1999, 12, 31, 23, 59, 59)), "12/31/99 23:59:59");
    EXPECT_EQ(FormatDateTime(Calendar(1601, 1, 1, 0, 0, 0)), "01/01/01 00:00:00");
}

TEST(FormatFileTime, ShowsLocalTimeToTheSecond) {
    ScopedTimeZone utc("UTC0");
    // 2026-12-07 17:05:09 UTC.
    const std::int64_t seconds = 1796663109;
    EXPECT_EQ(FormatFileTime(FileTimeFromUnix(seconds)), "12/07/26 17:05:09");
    EXPECT_EQ(FormatFileTime(FileTimeFromUnix(seconds, 999999999)), "12/07/26 17:05:09");
    EXPECT_EQ(FormatLocalTime(seconds), "12/07/26 17:05:09");
    EXPECT_EQ(FormatFileTime(0), "01/01/01 00:00:00");
}

TEST(FormatFileTime, TimesBeyondTheFileTimeRangeStopAtItsEnds) {
    ScopedTimeZone utc("UTC0");
    constexpr std::int64_t kYear1336 = -20000000000;
    EXPECT_EQ(FileTimeFromUnix(kYear1336), 0u);
    EXPECT_EQ(FormatFileTime(FileTimeFromUnix(kYear1336)), "01/01/01 00:00:00");
    EXPECT_EQ(FileTimeFromUnix(-11644473600), 0u);

    const FileTime last = FileTimeFromUnix(std::numeric_limits<std::int64_t>::max(), 999999999);
    EXPECT_EQ(FileTimeFromUnix(99999999999999), FileTimeFromUnix(1833029933769, 0));
    EXPECT_GT(last, FileTimeFromUnix(99999999999));
    EXPECT_GE(last, std::numeric_limits<FileTime>::max() - 20000000);
}

TEST(FormatFileTime, AppliesTheOffsetInForceAtThatDate) {
    ScopedTimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2026-07-01 10:00:00 UTC in summer time, 2026-12-07 17:05:09 UTC in winter time.
    EXPECT_EQ(FormatFileTime(FileTimeFromUnix(1782900000)), "07/01/26 12:00:00");
    EXPECT_EQ(FormatLocalTime(1796663109), "12/07/26 18:05:09");
}

} // namespace
