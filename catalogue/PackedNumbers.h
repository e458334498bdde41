#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbers packed as LEB128 bytes: seven bits a byte, the lowest first, the high bit set on every
// byte but the number's last.
inline void AppendPackedNumber(std::string& bytes, std::uint64_t number) {
    while (number >= 0x80) {
        bytes += static_cast<char>(number | 0x80);
        number >>= 7;
    }
    bytes += static_cast<char>(number);
}

// The number packed at `at`, which moves past it; none when the bytes end within it or it takes
// more than nine bytes (63 bits).
inline std::optional<std::uint64_t> ReadPackedNumber(std::string_view bytes, std::size_t& at) {
    std::uint64_t number = 0;
    for (int shift = 0; at < bytes.size() && shift <= 56; shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes[at++]);
        number |= std::uint64_t{byte & 0x7Fu} << shift;
        if (!(byte & 0x80))
            return number;
    }
    return std::nullopt;
}
