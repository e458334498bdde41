#include "Comments.h"

#include "engine/Text.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

// The comments of one line, or an error text.
bool ParseCommentLine(const std::string& line, EntryComments& out, std::string& problem) {
    if (line.size() > kMaxCommentLineBytes) {
        problem = "is longer than " + std::to_string(kMaxCommentLineBytes) +
                  " bytes, more than a name and three comments can be";
        return false;
    }
    if (line.find('\0') != std::string::npos) {
        problem = "holds a NUL byte";
        return false;
    }
    auto fields = SplitTabs(line);
    if (fields.front().empty()) {
        problem = "has no name";
        return false;
    }
    if (fields.size() > 4) {
        problem = "has more than three comments";
        return false;
    }
    out.name = fields.front();
    for (std::size_t i = 1; i < fields.size(); ++i) {
        if (CountChars(fields[i]) > static_cast<std::size_t>(kCommentLineChars)) {
            problem =
                "has a comment longer than " + std::to_string(kCommentLineChars) + " characters";
            return false;
        }
        out.comments.Line(static_cast<int>(i)) = fields[i];
    }
    return true;
}

// The whole of `in` into `text`; false when it holds more than `limit` bytes.
bool ReadAtMost(std::istream& in, std::size_t limit, std::string& text) {
    constexpr std::size_t kChunk = 1 << 16;
    while (in && text.size() <= limit) {
        const std::size_t size = text.size();
        text.resize(size + kChunk);
        in.read(text.data() + size, kChunk);
        text.resize(size + static_cast<std::size_t>(in.gcount()));
    }
    return text.size() <= limit;
}

bool ParseComments(const std::string& path, const std::string& text,
                   std::vector<EntryComments>& comments, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        EntryComments entry;
        std::string problem;
        if (!ParseCommentLine(line, entry, problem)) {
            error = path + ":" + std::to_string(number) + ": the line " + problem;
            return false;
        }
        comments.push_back(std::move(entry));
    }
    return true;
}

} // namespace

bool ReadCommentsFile(const std::string& path, std::vector<EntryComments>& comments,
                      std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the comments file \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    std::string text;
    if (!ReadAtMost(in, kMaxCommentsFileBytes, text)) {
        error = "the comments file \"" + path + "\" is larger than " +
                std::to_string(kMaxCommentsFileBytes) + " bytes, more than a listing can carry";
        return false;
    }
    if (in.bad()) {
        error = "cannot read the comments file \"" + path + "\"";
        return false;
    }
    return ParseComments(path, text, comments, error);
}

std::vector<std::string>
AttachComments(EntryList& entries, const std::vector<EntryComments>& comments, bool upperCase) {
    auto keyOf = [upperCase](const EntryComments& c) { return ShownName(c.name, upperCase); };
    std::unordered_map<std::string, const EntryComments*> byName;
    for (const auto& c : comments)
        byName[keyOf(c)] = &c;
    std::unordered_set<const EntryComments*> used;
    for (auto& entry : entries) {
        auto it = byName.find(entry->m_strName);
        if (it == byName.end())
            continue;
        entry->m_comments = it->second->comments;
        used.insert(it->second);
    }
    std::vector<std::string> unmatched;
    for (const auto& c : comments)
        if (byName.at(keyOf(c)) == &c && !used.count(&c))
            unmatched.push_back(c.name);
    return unmatched;
}
