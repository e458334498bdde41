#pragma once

#include "engine/FolderEntry.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// The whole units of `size` in 1024^power, a full stop and the tenths, both rounded down
// ("1.5" for 1536 with power 1). `power` is 0 to 5.
std::string FormatUnits(std::uint64_t size, int power);
// The size text right-aligned in 17 characters (longer texts are not cut): grouped bytes
// ("1,024 b") in bytes mode, else "999  b", "1.0 Kb", "0.9 Mb", "4.6 Gb"; the digits are left
// out when `width` / (separators + 1) is below 5.
std::string FormatSizeText(std::uint64_t size, int width, bool bytesMode);
// `text` as one field of a comma-separated line: quoted when it holds a comma, a double quote or
// a line break, with inner quotes doubled.
void AppendDelimitedField(std::string& out, std::string_view text);
// The attribute letters in the order A H R S; empty when none is set.
std::string FormatAttributes(std::uint32_t attributes);
// The local calendar time of a moment, with the offset from UTC in force at that moment.
std::tm LocalCalendarTime(std::time_t when);
// The local calendar time of a file's last-write time, to the second (fractions dropped).
std::tm FileLocalTime(FileTime ft);
// MM/DD/YY HH:MM:SS of a local calendar time (17 characters).
std::string FormatDateTime(const std::tm& local);
// The date and time text of a moment, in local time.
std::string FormatLocalTime(std::time_t when);
// The date and time text of a file's last-write time, in local time, to the second.
std::string FormatFileTime(FileTime ft);
