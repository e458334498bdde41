#pragma once

#include "dialogs/DialogFrame.h"
#include "engine/FolderEntry.h"

#include <cstddef>
#include <string>

class CLimitedEdit;
class QListWidget;

// Names longer than this are listed by their short name.
inline constexpr std::size_t kLongestListedName = 40;

// The comment editor: three lines of at most 19 characters, no caption bar. The caller fills
// the members, runs DoModal and reads them back only after Accepted ("&Done" or Enter).
class CCommentEditDlg : public CModalDialog {
    Q_OBJECT
public:
    explicit CCommentEditDlg(QWidget* parent = nullptr);

    CommentLines m_comments;

protected:
    void OnInitDialog() override { DoDataExchange(false); }
    bool OnOK() override { return DoDataExchange(true); }

private:
    bool DoDataExchange(bool save);

    CLimitedEdit* m_pEdits[3] = {};
};

// The comments list: every entry of a fresh listing, by name (or short name when the name is
// longer than 40 characters); a double click edits that entry's three comment lines. However
// it ends, the caller reads `m_nExtraLines`, the net number of non-empty comment lines added
// during the run. The list is borrowed; the dialog never adds or removes entries.
class CCommentListDlg : public CModalDialog {
    Q_OBJECT
public:
    explicit CCommentListDlg(QWidget* parent = nullptr);

    // DoModal's result carries no meaning.
    void OnDblClkEntry();

    EntryList* m_pList = nullptr;
    int m_nExtraLines = 0;
    QListWidget* m_lbEntries = nullptr;

protected:
    void OnInitDialog() override;
    void keyPressEvent(QKeyEvent* event) override;
};

// The line that lists an entry: its name, or its short name when the name is too long.
std::string ListedName(const CFolderEntry& entry);
