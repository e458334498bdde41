#include "StartFolder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kFileScheme = "file:";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool HasFileScheme(std::string_view text) {
    return EqualsIgnoringCase(text.substr(0, kFileScheme.size()), kFileScheme);
}

// "file:..." or any "scheme://...": a URI rather than a path.
bool LooksLikeUri(std::string_view text) {
    if (HasFileScheme(text))
        return true;
    const std::size_t colon = text.find("://");
    if (colon == std::string_view::npos || colon == 0 ||
        !std::isalpha(static_cast<unsigned char>(text.front())))
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

std::string ThisHostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

// A URI's host names this machine when it is empty, "localhost" or the machine's own name.
bool IsThisHost(std::string_view host) {
    return host.empty() || EqualsIgnoringCase(host, "localhost") ||
           EqualsIgnoringCase(host, ThisHostName());
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    const int lower = std::tolower(static_cast<unsigned char>(c));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// Every "%XX" becomes the byte it stands for; a "%" without two hex digits stays as it is.
std::string PercentDecoded(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
        if (low < 0) {
            bytes += text[i];
            continue;
        }
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return bytes;
}

// "/" stays; any other path loses its trailing slashes.
std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// `path` without its "." steps and doubled slashes, which never change the folder named.
// A ".." step stays for the kernel to resolve: after a link it leads to the parent of the
// link's target, not back to the folder holding the link.
std::string WithoutCurrentFolderSteps(const std::string& path) {
    std::string result;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view step(path.data() + start, end - start);
        if (!step.empty() && step != ".")
            result.append("/").append(step);
        start = end + 1;
    }
    return result.empty() ? "/" : result;
}

// A relative path is taken from the current folder.
std::string AbsolutePath(const std::string& path, const std::string& currentFolder) {
    if (path.front() == '/')
        return WithoutTrailingSlashes(path);
    return WithoutCurrentFolderSteps(currentFolder + "/" + path);
}

// Why `path` cannot be opened as a folder; empty when it can.
std::string FolderProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "cannot open " + path + ": " + std::strerror(errno);
    return S_ISDIR(st.st_mode) ? std::string() : "not a folder: " + path;
}

} // namespace

std::optional<std::string> LocalPathOfUri(std::string_view uri) {
    if (!HasFileScheme(uri))
        return std::nullopt;
    uri.remove_prefix(kFileScheme.size());
    uri = uri.substr(0, uri.find_first_of("?#"));
    if (uri.substr(0, 2) == "//") {
        uri.remove_prefix(2);
        const std::size_t slash = uri.find('/');
        if (slash == std::string_view::npos || !IsThisHost(uri.substr(0, slash)))
            return std::nullopt;
        uri.remove_prefix(slash);
    }
    std::string path = PercentDecoded(uri);
    // A NUL would cut the path short of the name it stands for.
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

StartFolder FolderFromOperands(const std::vector<std::string>& operands,
                               const std::string& currentFolder) {
    if (operands.empty())
        return {};
    if (operands.size() > 1)
        return {{}, "one folder at most, " + std::to_string(operands.size()) + " were given"};
    const std::string& operand = operands.front();
    if (operand.empty())
        return {{}, "the folder name is empty"};
    std::string path;
    if (LooksLikeUri(operand)) {
        const auto local = LocalPathOfUri(operand);
        if (!local)
            return {{}, "not a local folder: " + operand};
        path = WithoutTrailingSlashes(*local);
    } else if (operand.front() != '/' && currentFolder.empty()) {
        return {{}, "cannot open " + operand + ": the current folder is unknown"};
    } else {
        path = AbsolutePath(operand, currentFolder);
    }
    if (std::string problem = FolderProblem(path); !problem.empty())
        return {{}, problem};
    return {path, {}};
}

std::optional<std::string> FolderOfDroppedPaths(const std::vector<std::string>& paths) {
    std::optional<std::string> firstFileFolder;
    for (const std::string& path : paths) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            return WithoutTrailingSlashes(path);
        if (!firstFileFolder)
            firstFileFolder = ParentFolder(path);
    }
    return firstFileFolder;
}
