#pragma once

#include <string>

// The version of the catalogue's tables that this program writes; a catalogue of a higher
// version was made by a newer program and is refused.
inline constexpr int kCatalogueSchemaVersion = 1;

inline std::string NewerSchemaMessage(const std::string& location) {
    return "The catalogue " + location +
           " was made by a newer version of the program; it is left as it is.";
}

inline std::string ExistsMessage(const std::string& name) {
    return "A medium named \"" + name + "\", or on the same volume, is already in the catalogue.";
}

inline std::string TakenMessage(const std::string& name) {
    return "A medium named \"" + name + "\" is already in the catalogue.";
}
