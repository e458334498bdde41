#pragma once

#include "tests/support/ReadAll.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// Golden files: what a test produces, compared byte for byte with a file kept beside the test.
// A missing or different file fails the test. Run the test with CATALOGRIUM_UPDATE_GOLDEN=1 to
// write the files from what the code produces now, then read the change in `git diff` before
// committing it.

namespace golden_detail {

inline std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        lines.emplace_back(text.substr(start, stop - start));
        start = stop + 1;
    }
    return lines;
}

// The first line where the two texts part, with a few lines of each from there.
inline std::string FirstDifference(const std::string& expected, const std::string& actual) {
    const auto want = Lines(expected);
    const auto got = Lines(actual);
    std::size_t line = 0;
    while (line < want.size() && line < got.size() && want[line] == got[line])
        ++line;
    std::ostringstream out;
    out << "first difference at line " << line + 1 << " (golden " << want.size()
        << " lines, produced " << got.size() << ")\n";
    const auto show = [&out, line](const char* sign, const std::vector<std::string>& lines) {
        for (std::size_t i = line; i < lines.size() && i < line + 5; ++i)
            out << sign << ' ' << lines[i] << '\n';
    };
    show("-", want);
    show("+", got);
    return out.str();
}

} // namespace golden_detail

// Whether `actual` is the content of the golden file at `path`; rewrites the file instead when
// CATALOGRIUM_UPDATE_GOLDEN=1.
inline testing::AssertionResult MatchesGolden(const std::filesystem::path& path,
                                              const std::string& actual) {
    const char* update = std::getenv("CATALOGRIUM_UPDATE_GOLDEN");
    if (update && std::string_view(update) == "1") {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << actual;
        return testing::AssertionSuccess() << "rewrote " << path;
    }
    if (!std::filesystem::exists(path))
        return testing::AssertionFailure()
               << "golden file " << path
               << " is missing; CATALOGRIUM_UPDATE_GOLDEN=1 writes it from the code as it is";
    const std::string expected = ReadAll(path);
    if (expected == actual)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "differs from golden file " << path << ": "
           << golden_detail::FirstDifference(expected, actual)
           << "If the change is meant, CATALOGRIUM_UPDATE_GOLDEN=1 rewrites the file.";
}
