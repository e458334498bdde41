#include "Clock.h"

#include "engine/Text.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace {

constexpr const char* kVariable = "SOURCE_DATE_EPOCH";

std::optional<std::time_t> WholeSeconds(std::string_view text) {
    long long seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return static_cast<std::time_t>(seconds);
}

bool HasLocalDate(std::time_t when) {
    std::tm local{};
    return localtime_r(&when, &local) != nullptr;
}

} // namespace

bool ReadSourceDateEpoch(std::optional<std::time_t>& time, std::string& error) {
    time.reset();
    const char* value = std::getenv(kVariable);
    if (!value)
        return true;
    const std::string shown = std::string(kVariable) + "=\"" + ReplaceControlChars(value) + "\"";
    const auto seconds = WholeSeconds(value);
    if (!seconds) {
        error = shown + " is not a whole number of seconds";
        return false;
    }
    if (!HasLocalDate(*seconds)) {
        error = shown + " is beyond the dates that can be shown";
        return false;
    }
    time = seconds;
    return true;
}

std::time_t CurrentTime() {
    std::optional<std::time_t> epoch;
    std::string error;
    if (ReadSourceDateEpoch(epoch, error) && epoch)
        return *epoch;
    return std::time(nullptr);
}
