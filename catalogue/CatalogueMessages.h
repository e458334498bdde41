#pragma once

#include <string>

// The version of the catalogue's tables that this program writes; a catalogue of a higher
// version was made by a newer program and is refused.
inline constexpr int kCatalogueSchemaVersion = 7;

inline std::string NewerSchemaMessage(const std::string& location) {
    return "The catalogue " + location +
           " was made by a newer version of the program; it is left as it is.";
}

// A catalogue of an older version is brought up to date when it is first opened where it may be
// written; one that cannot be written is not read.
inline std::string OlderSchemaMessage(const std::string& location) {
    return "The catalogue " + location +
           " was made by an older version of the program and cannot be written here to bring it "
           "up to date; it is left as it is. Open it once where it may be written.";
}

// `existing` is in the way of adding `name`: by its name, or else by its folder.
inline std::string ExistsMessage(const std::string& name, const std::string& existing) {
    if (name == existing)
        return "A medium named \"" + name + "\" is already in the catalogue.";
    return "The same folder of the same volume is already in the catalogue as \"" + existing +
           "\".";
}

inline std::string TwoMediaMessage(const std::string& name, const std::string& ofFolder) {
    return "The name \"" + name + "\" belongs to one medium of the catalogue and the folder to " +
           "another, \"" + ofFolder + "\"; neither is replaced. Choose another name, or forget " +
           "one of them first.";
}

inline std::string TakenMessage(const std::string& name) {
    return "A medium named \"" + name + "\" is already in the catalogue.";
}
