#pragma once

#include <ctime>
#include <optional>
#include <string>

// The current time: SOURCE_DATE_EPOCH when it holds a usable time (see ReadSourceDateEpoch),
// else the clock.
std::time_t CurrentTime();

// The time that SOURCE_DATE_EPOCH gives for reproducible output: nothing when it is not set,
// the time when it is a whole number of seconds since 1970 (decimal digits, a leading "-"
// allowed) that converts to a local date. False, with the reason in `error`, for anything
// else.
bool ReadSourceDateEpoch(std::optional<std::time_t>& time, std::string& error);
