#pragma once

#include <ctime>

// The current time: SOURCE_DATE_EPOCH when it is set to a number, else the clock.
std::time_t CurrentTime();
