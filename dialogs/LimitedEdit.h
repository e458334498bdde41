#pragma once

#include <QLineEdit>

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
