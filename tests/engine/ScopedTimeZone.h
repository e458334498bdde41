#pragma once

#include "tests/support/ScopedVariable.h"

#include <ctime>

// Sets TZ for the life of the object and gives back the previous value (or its absence).
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) : m_tz("TZ", zone) { ::tzset(); }

private:
    // Declared before m_tz, so destroyed after it: the C library reads the restored TZ.
    struct ReadAgainOnExit {
        ~ReadAgainOnExit() { ::tzset(); }
    } m_readAgain;
    ScopedVariable m_tz;
};
