#include "EntryComments.h"

#include "engine/Text.h"

std::string ShownName(const std::string& name, bool upperCase) {
    return upperCase ? ToUpperCase(name) : name;
}

std::vector<EntryComments> CommentsOf(const EntryList& entries) {
    std::vector<EntryComments> comments;
    for (const auto& entry : entries)
        if (entry->m_comments.CountNonEmpty() > 0)
            comments.push_back({entry->m_strName, entry->m_comments});
    return comments;
}
