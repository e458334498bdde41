#pragma once

#include "tests/support/RunCommand.h"

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

// Reading PDF files back with poppler's command-line tools.

inline bool PdfToolsAvailable() {
    return std::system("command -v pdfinfo >/dev/null 2>&1 && "
                       "command -v pdftotext >/dev/null 2>&1") == 0;
}

// One word of a page as pdftotext -bbox reports it, in points from the top-left corner.
struct PdfWord {
    int page = 0;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::string text;
};

inline std::vector<PdfWord> PdfWords(const std::string& path) {
    const std::string html = RunCommand({"pdftotext", "-bbox", path, "-"}).out;
    std::vector<PdfWord> words;
    int page = 0;
    const std::regex word(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" )re"
                          R"re(yMax="([\d.]+)">([^<]*)</word>)re");
    std::size_t pos = 0;
    while (pos < html.size()) {
        const std::size_t next = html.find('\n', pos);
        const std::string line = html.substr(pos, next == std::string::npos ? next : next - pos);
        pos = next == std::string::npos ? html.size() : next + 1;
        if (line.find("<page ") != std::string::npos)
            ++page;
        std::smatch m;
        if (std::regex_search(line, m, word))
            words.push_back(
                {page, std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4]), m[5]});
    }
    return words;
}

// A field of pdfinfo ("Pages", "Page size"), without its label.
inline std::string PdfInfoField(const std::string& path, const std::string& field) {
    const std::string info = RunCommand({"pdfinfo", path}).out;
    const std::regex line("(^|\n)" + field + R"(:\s*([^\n]*))");
    std::smatch m;
    return std::regex_search(info, m, line) ? m[2].str() : std::string();
}
