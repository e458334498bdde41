#pragma once

#include "tests/print/PdfTools.h"

#include <sstream>
#include <string>
#include <vector>

// The independent reference for the width of printed text: the advances in the font file
// itself, read with fontTools (Debian's python3-fonttools) by average_widths.py.

inline bool FontToolsAvailable() {
    return std::system("/usr/bin/python3 -c 'import fontTools' >/dev/null 2>&1 && "
                       "command -v fc-match >/dev/null 2>&1") == 0;
}

// What the font file of `face` at `weight` (100 thin to 900 black) has to say of `texts`.
struct FontFileWidths {
    std::string postScriptName;
    // The width of each text in average characters of the font.
    std::vector<double> widths;
};

inline FontFileWidths ReadFontFileWidths(const std::string& face, int weight,
                                         const std::vector<std::string>& texts) {
    const char* fontconfigWeight = weight <= 200 ? "thin" : weight >= 600 ? "bold" : "regular";
    const std::string file =
        RunCommand({"fc-match", "-f", "%{file}", face + ":weight=" + fontconfigWeight}).out;
    std::vector<std::string> command{AVERAGE_WIDTHS_SCRIPT, file};
    command.insert(command.end(), texts.begin(), texts.end());
    std::istringstream output(RunCommand(command).out);
    FontFileWidths result;
    std::getline(output, result.postScriptName);
    for (double width = 0; output >> width;)
        result.widths.push_back(width);
    return result;
}

// The names of the fonts embedded in a PDF file, as pdffonts lists them.
inline std::string EmbeddedFonts(const std::string& pdf) {
    return RunCommand(
               {"sh", "-c", "pdffonts \"$1\" | awk 'NR > 2 && $(NF-4) == \"yes\"'", "sh", pdf})
        .out;
}
