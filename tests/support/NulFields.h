#pragma once

#include <string>
#include <string_view>
#include <vector>

// The fields of `bytes`, each ended by a NUL, as find -print0 and ctlgrm -0 write them; what
// follows the last NUL is no field.
inline std::vector<std::string> NulFields(std::string_view bytes) {
    std::vector<std::string> fields;
    for (std::size_t start = 0, end; (end = bytes.find('\0', start)) != std::string_view::npos;
         start = end + 1)
        fields.emplace_back(bytes.substr(start, end - start));
    return fields;
}
