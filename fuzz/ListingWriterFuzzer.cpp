// The sort and the listing file, fed random names, sizes, times, attributes, comments and
// options. The fixed-column file has two lines per entry and one per comment line, whatever
// the names hold; the comma-delimited file reads back as one record per entry with the
// header's field count and the entry's name.
#include "engine/CatalogriumDoc.h"
#include "engine/ProgressNote.h"
#include "engine/Prompter.h"
#include "engine/Text.h"
#include "fuzz/FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Record = std::vector<std::string>;

// Reads comma-delimited text (RFC 4180, CR LF line ends); nothing when it is malformed.
std::optional<std::vector<Record>> ReadDelimited(const std::string& text) {
    std::vector<Record> records;
    Record record;
    std::string field;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"' && field.empty()) {
            for (++i;; ++i) {
                if (i >= text.size())
                    return std::nullopt;
                if (text[i] == '"' && (i + 1 >= text.size() || text[i + 1] != '"'))
                    break;
                if (text[i] == '"')
                    ++i;
                field += text[i];
            }
            ++i;
            if (i < text.size() && text[i] != ',' && text[i] != '\r')
                return std::nullopt;
            continue;
        }
        if (text[i] == ',') {
            record.push_back(std::move(field));
            field.clear();
            ++i;
        } else if (text.compare(i, 2, "\r\n") == 0) {
            record.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(record));
            record.clear();
            i += 2;
        } else if (text[i] == '\r' || text[i] == '\n' || text[i] == '"') {
            return std::nullopt;
        } else {
            field += text[i++];
        }
    }
    if (!field.empty() || !record.empty())
        return std::nullopt;
    return records;
}

std::size_t CountLines(const std::string& text) {
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    return lines;
}

ListingOptions SomeOptions(FuzzedDataProvider& input) {
    ListingOptions options;
    options.m_bAddSize = input.ConsumeBool();
    options.m_bAddDate = input.ConsumeBool();
    options.m_bAddAttribute = input.ConsumeBool();
    options.m_bDelimited = input.ConsumeBool();
    options.m_bNumberFileLines = input.ConsumeBool();
    options.m_bSizeInBytes = input.ConsumeBool();
    options.m_bUpperCase = input.ConsumeBool();
    options.m_bTwoColumn = input.ConsumeBool();
    options.m_nPrintAs = input.ConsumeIntegralInRange(-1, 4);
    options.m_nFilesAndFolders = input.ConsumeIntegralInRange(-1, 3);
    options.m_nSortBy = input.ConsumeIntegralInRange(-1, 6);
    options.m_bDescend = input.ConsumeBool();
    return options;
}

void AddEntries(FuzzedDataProvider& input, ScanList& scanList) {
    const int count = input.ConsumeIntegralInRange(0, 40);
    for (int i = 0; i < count && input.remaining_bytes() > 0; ++i) {
        auto entry = std::make_unique<CFolderEntry>();
        entry->m_dwAttributes = input.ConsumeIntegral<std::uint32_t>();
        entry->m_nSize = input.ConsumeIntegral<std::uint64_t>();
        entry->m_ftLastWrite = input.ConsumeIntegral<std::uint64_t>();
        entry->m_strName = input.ConsumeRandomLengthString(80);
        entry->m_strShortName = input.ConsumeRandomLengthString(14);
        entry->m_comments.m_strComment1 = input.ConsumeRandomLengthString(24);
        entry->m_comments.m_strComment2 = input.ConsumeRandomLengthString(24);
        if (entry->IsFolder())
            scanList.push_front(std::move(entry));
        else
            scanList.push_back(std::move(entry));
    }
}

std::string Written(const CCatalogriumDoc& doc) {
    std::ostringstream out;
    doc.Serialize(out);
    return out.str();
}

void CheckFixedColumn(CCatalogriumDoc& doc) {
    const std::string text = Written(doc);
    std::size_t entryLines = doc.m_entryList.empty() ? 0 : 1;
    for (const auto& entry : doc.m_entryList)
        entryLines += 2 + static_cast<std::size_t>(entry->m_comments.CountNonEmpty());
    EntryList entries = std::move(doc.m_entryList);
    doc.m_entryList.clear();
    const std::size_t headerLines = CountLines(Written(doc));
    doc.m_entryList = std::move(entries);

    Require(CountLines(text) == headerLines + entryLines);
    Require(text.find_first_of("\r\n") == text.find("\r\n"));
    std::string withoutLineEnds;
    for (std::size_t at = 0, end; at < text.size(); at = end + 2) {
        end = text.find("\r\n", at);
        Require(end != std::string::npos);
        withoutLineEnds += text.substr(at, end - at);
    }
    Require(withoutLineEnds.find_first_of("\r\n") == std::string::npos);
}

void CheckDelimited(const CCatalogriumDoc& doc, const ListingOptions& options) {
    const auto records = ReadDelimited(Written(doc));
    Require(records.has_value());
    Require(records->size() == doc.m_entryList.size() + 1);
    const std::size_t fields = records->front().size();
    const std::size_t nameField = options.m_bNumberFileLines ? 2 : 1;
    for (std::size_t i = 0; i < doc.m_entryList.size(); ++i) {
        const Record& record = (*records)[i + 1];
        Require(record.size() == fields);
        Require(record[nameField] == TrimWhiteSpace(doc.m_entryList[i]->m_strName));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    CSilentPrompter prompter;
    CSilentProgressNote progress;
    CCatalogriumDoc doc(prompter, progress);
    ListingOptions options = SomeOptions(input);
    doc.SetOptions(&options);
    doc.SetClock([] { return std::time_t{1796663109}; });
    doc.m_strListedFolder = input.ConsumeRandomLengthString(40);
    doc.m_nTotalSize = input.ConsumeIntegral<std::uint64_t>();
    doc.m_nFiles = input.ConsumeIntegral<int>();
    doc.m_nSubFolders = input.ConsumeIntegral<int>();
    AddEntries(input, doc.m_scanList);

    doc.SortEntries(options.m_bDescend, options.m_nSortBy);
    Require(doc.m_scanList.empty());
    if (options.m_bDelimited)
        CheckDelimited(doc, options);
    else
        CheckFixedColumn(doc);
    return 0;
}
