#pragma once

#include <QString>

#include <cstdint>

// How the catalogue's windows show an entry's attributes and time.

// The letters of the attribute bits: A archive, H hidden, R read-only, S system, D folder.
QString AttributeLetters(std::uint32_t attributes);
// Seconds since 1970 as the local date and time, yyyy-MM-dd HH:mm:ss.
QString LocalTimeText(std::int64_t seconds);
