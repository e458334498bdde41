#pragma once

#include <QLineEdit>

#include <array>
#include <string>

// A single-line edit whose typing stops at a number of characters (code points, not UTF-16
// units). Text loaded by the program may be longer than the limit; the user can then shorten
// it but not lengthen it. A paste inserts as much as fits. Loaded bytes come back unchanged
// while the user leaves the text alone, even when they are not valid UTF-8.
class CLimitedEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CLimitedEdit(QWidget* parent = nullptr);

    // Shows `text` (UTF-8 bytes) and limits typing to `limit` characters.
    void LoadText(const std::string& text, int limit);
    // The text as UTF-8 bytes: exactly the loaded bytes when the text was not changed.
    std::string SavedText() const;
    int Limit() const { return m_nLimit; }
    bool IsOverLimit() const;

private:
    int m_nLimit = 32767;
    bool m_bLoading = false;
    QString m_strAccepted;
    QString m_strLoaded;
    std::string m_strLoadedBytes;
};

// The check run when a dialog takes an edit's text: a text longer than the edit's limit shows
// "Please enter no more than N characters.", puts the focus on the edit and returns false.
bool CheckMaxChars(CLimitedEdit& edit);

// Three lines of a dialog and their edits, with a limit each.
struct LimitedLines {
    std::array<CLimitedEdit*, 3> edits;
    std::array<std::string*, 3> members;
    std::array<int, 3> limits;
};

// Loading shows each member in its edit with its limit. Saving takes the three texts only
// when every edit passes CheckMaxChars; at the first that does not, the members stay as they
// were and false is returned.
bool ExchangeLines(const LimitedLines& lines, bool save);
