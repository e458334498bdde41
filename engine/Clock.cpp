#include "Clock.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

std::time_t CurrentTime() {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        long long seconds = 0;
        const char* end = epoch + std::strlen(epoch);
        auto [ptr, ec] = std::from_chars(epoch, end, seconds);
        if (ec == std::errc() && ptr == end && ptr != epoch)
            return static_cast<std::time_t>(seconds);
    }
    return std::time(nullptr);
}
