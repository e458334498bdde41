#pragma once

#include <array>
#include <cstddef>
#include <string>

// The most characters each line of the title block holds, as the Title dialog takes them.
inline constexpr std::array<int, 3> kTitleLineChars{19, 21, 21};

// The three lines of the printed title block, as the printer keeps them, the Title dialog
// edits them and ctlgrm's --title gives them.
struct TitleLines {
    std::string m_strTitle1;
    std::string m_strTitle2;
    std::string m_strTitle3;

    // Line `number` (1 to 3).
    std::string& Line(int number) {
        return number == 1 ? m_strTitle1 : number == 2 ? m_strTitle2 : m_strTitle3;
    }
    // The most characters of line `number` (1 to 3).
    static int Limit(int number) { return kTitleLineChars[static_cast<std::size_t>(number - 1)]; }
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
