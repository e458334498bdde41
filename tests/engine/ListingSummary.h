#pragma once

#include "engine/CatalogriumDoc.h"

#include <set>
#include <string>

// A listing summed up in one line, comparable across a process boundary and with the
// reference walks: the totals, then each entry's name and size in byte order.
inline std::string ListingSummary(const CCatalogriumDoc& doc) {
    std::string text = "folders=" + std::to_string(doc.m_nSubFolders) +
                       " files=" + std::to_string(doc.m_nFiles) +
                       " bytes=" + std::to_string(doc.m_nTotalSize);
    std::set<std::string> entries;
    for (const auto& entry : doc.m_scanList)
        entries.insert(entry->m_strName + ":" + std::to_string(entry->m_nSize));
    for (const auto& entry : entries)
        text += " " + entry;
    return text;
}

// What a failed or stopped reading leaves: no entries, no totals, no listed folder.
inline std::string EmptyListing() {
    return "folders=0 files=0 bytes=0";
}
