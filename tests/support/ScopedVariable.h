#pragma once

#include <cstdlib>
#include <optional>
#include <string>

// Sets (or, given nullptr, removes) one environment variable for the life of the object and
// then gives back its previous value or its absence, so that a test leaves the environment of
// the tests after it as it found it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_name(name) {
        if (const char* previous = std::getenv(name))
            m_previous = previous;
        Set(value);
    }
    ~ScopedVariable() { Set(m_previous ? m_previous->c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

    // Sets the variable again within the same scope (nullptr removes it).
    void Set(const char* value) const {
        if (value)
            ::setenv(m_name.c_str(), value, 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};
