#pragma once

#include "engine/FolderWalk.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the program's own JSON document and its CSV table share with their readers: the name and
// version of the document's format, the words for the kinds of entries, and times as ISO 8601
// text in UTC. resources/catalogue.schema.json describes the document.

inline constexpr std::string_view kExchangeFormat = "catalogrium3-catalogue";
inline constexpr std::int64_t kExchangeVersion = 1;

// "file", "folder", "link" or "other".
std::string_view KindWord(EntryKind kind);
std::optional<EntryKind> KindOfWord(std::string_view word);

// Seconds since 1970 as YYYY-MM-DDTHH:MM:SSZ; a year before 0 or after 9999 has a sign or more
// digits ("-0001-...", "10000-...").
std::string IsoUtcText(std::int64_t seconds);
// The seconds of such a text; nothing when it is not one or names no real date.
std::optional<std::int64_t> ParseIsoUtc(std::string_view text);
