#pragma once

#include <string>

// The three lines of the printed title block.
struct TitleLines {
    std::string line1;
    std::string line2;
    std::string line3;
    bool operator==(const TitleLines&) const = default;
};

// Shows the proposed title lines for editing (the Title dialog in the application; a fixed
// answer in ctlgrm and tests). Returns true with the edited lines in `lines` when the user
// confirms; false when cancelled, leaving `lines` as proposed.
class ITitlePrompter {
public:
    virtual ~ITitlePrompter() = default;
    virtual bool EditTitle(TitleLines& lines) = 0;
};
