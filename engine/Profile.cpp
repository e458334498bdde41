#include "Profile.h"

#include "engine/OutputFile.h"
#include "engine/ReplacingFile.h"
#include "engine/Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>
#include <vector>

#include <pwd.h>

namespace {

using IntField = int ListingOptions::*;
using TextField = std::string ListingOptions::*;

struct ProfileKey {
    std::string_view key;
    std::variant<IntField, TextField> field;
    // "Size" and "Attributes" repeat "Add Size" and "Add Attribute" for older readers: they
    // are written but never read back.
    bool loaded = true;
};

// Every key of the profile, in the order a save writes them. A setting's default is the
// value of a new ListingOptions.
const std::array<ProfileKey, 22> kProfileKeys{{
    {"Size", &ListingOptions::m_bAddSize, false},
    {"Attributes", &ListingOptions::m_bAddAttribute, false},
    {"Summary", &ListingOptions::m_bPrintSummary},
    {"Print Title", &ListingOptions::m_bPrintTitle},
    {"Descend", &ListingOptions::m_bDescend},
    {"Sort by", &ListingOptions::m_nSortBy},
    {"Files and Folders", &ListingOptions::m_nFilesAndFolders},
    {"number STD Lines", &ListingOptions::m_bNumberStdLines},
    {"number CD Lines", &ListingOptions::m_bNumberCDLines},
    {"number File Lines", &ListingOptions::m_bNumberFileLines},
    {"Add Size", &ListingOptions::m_bAddSize},
    {"Add Date", &ListingOptions::m_bAddDate},
    {"Add Attribute", &ListingOptions::m_bAddAttribute},
    {"Print as ", &ListingOptions::m_nPrintAs},
    {"Add Comments", &ListingOptions::m_bAddComments},
    {"Do not draw Grid", &ListingOptions::m_bNoGrid},
    {"Add Size in Bytes", &ListingOptions::m_bSizeInBytes},
    {"AutoRefresh List", &ListingOptions::m_bAutoRefresh},
    {"All in UpperCase", &ListingOptions::m_bUpperCase},
    {"current Font", &ListingOptions::m_strFontName},
    {"Two Column", &ListingOptions::m_bTwoColumn},
    {"Delimited", &ListingOptions::m_bDelimited},
}};

constexpr std::string_view kSectionHeader = "[Options]";
constexpr std::string_view kProfileFileName = "catalogrium3.ini";
// A profile is a few hundred bytes; anything much larger is not one. A save never writes
// more than this, so that what it writes can be read back.
constexpr std::uintmax_t kMaxProfileBytes = 1 << 20;
// Some editors begin a UTF-8 file with a byte-order mark; it belongs to no line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

const ProfileKey* FindLoadedKey(std::string_view key) {
    auto it = std::find_if(kProfileKeys.begin(), kProfileKeys.end(),
                           [key](const ProfileKey& k) { return k.loaded && k.key == key; });
    return it == kProfileKeys.end() ? nullptr : &*it;
}

std::string_view TrimBlanks(std::string_view text) {
    auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<int> ParseInt(std::string_view text) {
    text = TrimBlanks(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// Characters that would end a line of the profile (a NUL ends it for most readers).
constexpr std::string_view kLineBreaks("\r\n\0", 3);

bool HoldsLineBreak(std::string_view text) {
    return text.find_first_of(kLineBreaks) != std::string_view::npos;
}

// The stored text of one key, as a save writes it.
std::string ValueText(const ListingOptions& options, const ProfileKey& key) {
    if (auto field = std::get_if<IntField>(&key.field))
        return std::to_string(options.*(*field));
    const std::string& text = options.*std::get<TextField>(key.field);
    return text.substr(0, text.find_first_of(kLineBreaks));
}

// ---- the file as lines ----------------------------------------------------------------

enum class ReadResult { Missing, Text, Unreadable };

// The whole profile file; Unreadable for a folder, a file that cannot be opened or read, or
// one too large to be a profile.
ReadResult ReadProfileText(const std::string& path, std::string& text) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    if (!S_ISREG(st.st_mode) || static_cast<std::uintmax_t>(st.st_size) > kMaxProfileBytes)
        return ReadResult::Unreadable;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ReadResult::Unreadable;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? ReadResult::Unreadable : ReadResult::Text;
}

// The lines of a profile, each with the carriage return of a CR LF line end, after the
// byte-order mark the file may begin with.
struct ProfileLines {
    std::string byteOrderMark;
    std::vector<std::string> lines;
    // How the file ends its lines, for the lines a save adds or changes: "\r\n" when its
    // first line ends so, "\n" otherwise.
    std::string lineEnd = "\n";
};

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

ProfileLines ReadLines(std::string_view text) {
    ProfileLines profile;
    if (text.starts_with(kByteOrderMark)) {
        profile.byteOrderMark = kByteOrderMark;
        text.remove_prefix(kByteOrderMark.size());
    }
    const std::size_t firstEnd = text.find('\n');
    if (firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r')
        profile.lineEnd = "\r\n";
    profile.lines = SplitLines(text);
    return profile;
}

// A line without the carriage return of a file written on another system.
std::string_view Content(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool IsSectionHeader(std::string_view line) {
    line = TrimBlanks(Content(line));
    return !line.empty() && line.front() == '[';
}

bool IsOptionsHeader(std::string_view line) {
    return TrimBlanks(Content(line)) == kSectionHeader;
}

// The key of a key=value line (the text before the first "="), or nothing.
std::optional<std::string_view> KeyOf(std::string_view line) {
    line = Content(line);
    auto eq = line.find('=');
    if (eq == std::string_view::npos || IsSectionHeader(line))
        return std::nullopt;
    return line.substr(0, eq);
}

std::string_view ValueOf(std::string_view line) {
    line = Content(line);
    return line.substr(line.find('=') + 1);
}

// Calls visit(index) for every line inside an [Options] section.
template <typename Visit>
void ForEachOptionsLine(const std::vector<std::string>& lines, Visit visit) {
    bool inOptions = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (IsSectionHeader(lines[i]))
            inOptions = IsOptionsHeader(lines[i]);
        else if (inOptions)
            visit(i);
    }
}

// ---- saving ----------------------------------------------------------------------------

// The lines [first, end) of the first [Options] section, header excluded; the section is
// appended when the file has none.
std::pair<std::size_t, std::size_t> OptionsSection(std::vector<std::string>& lines) {
    auto header = std::find_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return IsOptionsHeader(l); });
    if (header == lines.end()) {
        if (!lines.empty() && !TrimBlanks(Content(lines.back())).empty())
            lines.emplace_back();
        lines.emplace_back(kSectionHeader);
        return {lines.size(), lines.size()};
    }
    std::size_t first = static_cast<std::size_t>(header - lines.begin()) + 1;
    std::size_t end = first;
    while (end < lines.size() && !IsSectionHeader(lines[end]))
        ++end;
    return {first, end};
}

// Each key's line of the first [Options] section is changed in place; a key the section
// lacks is added after its last key line, so a new section holds the keys in save order.
void WriteKeys(std::vector<std::string>& lines, const ListingOptions& options) {
    auto [first, end] = OptionsSection(lines);
    std::size_t insertAt = first;
    for (std::size_t i = first; i < end; ++i)
        if (KeyOf(lines[i]))
            insertAt = i + 1;
    for (const ProfileKey& key : kProfileKeys) {
        std::string line = std::string(key.key) + "=" + ValueText(options, key);
        auto existing = std::find_if(lines.begin() + static_cast<std::ptrdiff_t>(first),
                                     lines.begin() + static_cast<std::ptrdiff_t>(end),
                                     [&](const std::string& l) { return KeyOf(l) == key.key; });
        if (existing != lines.begin() + static_cast<std::ptrdiff_t>(end)) {
            *existing = std::move(line);
            continue;
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt++), std::move(line));
        ++end;
    }
}

// A line that kept the carriage return of its CR LF end is ended as it was; a line that the
// save wrote is ended as the file ends its lines.
std::string JoinLines(const ProfileLines& profile) {
    std::string text = profile.byteOrderMark;
    for (const auto& line : profile.lines)
        text += line + (line.ends_with('\r') ? "\n" : profile.lineEnd);
    return text;
}

// Writes `text` through a temporary file beside `path` that replaces it once complete and on
// disk. An existing file keeps its permissions; a new one is the user's alone. Returns errno
// of the failed step, or 0.
int ReplaceFile(const std::string& path, const std::string& text) {
    COutputFile file(path, 0600);
    if (file.Descriptor() < 0)
        return file.Error();
    if (const int error = WriteAll(file.Descriptor(), text))
        return error;
    return file.Commit() ? 0 : file.Error();
}

std::string NotSavedText(const std::string& reason) {
    return "The settings were not saved: " + reason;
}

// Saves of two windows closing at once run one after the other: each holds an exclusive lock
// on the file PROFILE.lock from reading the profile to replacing it, so the save that starts
// last is the one that writes last. The lock file stays (removing it would let a
// third save lock a new file while the second still holds the old one). Where it cannot be
// made, the save goes on without it.
class CProfileLock {
public:
    explicit CProfileLock(const std::string& profile)
        : m_fd(::open((profile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~CProfileLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CProfileLock(const CProfileLock&) = delete;
    CProfileLock& operator=(const CProfileLock&) = delete;

private:
    int m_fd;
};

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

std::string ConfigFolder() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, like an empty one.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    return HomeFolder() + "/.config";
}

} // namespace

std::string DefaultProfilePath() {
    return ConfigFolder() + "/" + std::string(kProfileFileName);
}

bool ApplyProfileSetting(ListingOptions& options, const std::string& key,
                         const std::string& value) {
    const ProfileKey* found = FindLoadedKey(key);
    if (!found)
        return false;
    if (auto field = std::get_if<IntField>(&found->field)) {
        auto number = ParseInt(value);
        if (!number)
            return false;
        options.*(*field) = *number;
        return true;
    }
    if (HoldsLineBreak(value))
        return false;
    options.*std::get<TextField>(found->field) = TrimBlanks(value);
    return true;
}

bool LoadListingOptions(const std::string& path, ListingOptions& options, std::string& error) {
    options = ListingOptions{};
    std::string text;
    switch (ReadProfileText(path, text)) {
    case ReadResult::Missing:
        return true;
    case ReadResult::Unreadable:
        error = "The settings were not read: " + ReplaceControlChars(path) +
                " is not a profile that can be read; the defaults are used.";
        return false;
    case ReadResult::Text:
        break;
    }
    const auto lines = ReadLines(text).lines;
    std::set<std::string_view, std::less<>> seen; // the first line of a key counts
    ForEachOptionsLine(lines, [&](std::size_t i) {
        auto key = KeyOf(lines[i]);
        if (key && seen.insert(*key).second)
            ApplyProfileSetting(options, std::string(*key), std::string(ValueOf(lines[i])));
    });
    return true;
}

bool SaveListingOptions(const std::string& path, const ListingOptions& options,
                        std::string& error) {
    int unfollowed = 0;
    const std::string target = ResolvedTarget(path, unfollowed);
    if (unfollowed != 0) {
        error = NotSavedText(SaveFailureText(unfollowed, path));
        return false;
    }
    std::error_code ec;
    auto folder = std::filesystem::path(target).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    const CProfileLock lock(target);
    std::string text;
    if (ReadProfileText(target, text) == ReadResult::Unreadable) {
        error = NotSavedText(ReplaceControlChars(path) + " is not a profile that can be read.");
        return false;
    }
    ProfileLines profile = ReadLines(text);
    WriteKeys(profile.lines, options);
    text = JoinLines(profile);
    if (text.size() > kMaxProfileBytes) {
        error = NotSavedText(ReplaceControlChars(path) +
                             " would grow larger than 1 MiB, too large to be read back.");
        return false;
    }
    if (const int failure = ReplaceFile(target, text)) {
        error = NotSavedText(SaveFailureText(failure, path));
        return false;
    }
    return true;
}
