#pragma once

#include "dialogs/DialogFrame.h"
#include "engine/TitlePrompter.h"

#include <string>

class CLimitedEdit;

// The Title dialog: shows the three proposed title lines for editing; Reset brings the
// proposed lines (the defaults) back. The caller sets both members, runs DoModal and takes
// `m_lines` only after Accepted (OK or Enter); "Cancel 'Print Title'", Esc and the close box
// give Rejected.
class CTitleDlg : public CModalDialog {
    Q_OBJECT
public:
    explicit CTitleDlg(QWidget* parent = nullptr);

    void OnReset();

    // The lines as shown and edited.
    TitleLines m_lines;
    // The proposed lines, which Reset shows again.
    TitleLines m_defaults;

protected:
    void OnInitDialog() override { DoDataExchange(false); }
    bool OnOK() override { return DoDataExchange(true); }

private:
    bool DoDataExchange(bool save);

    CLimitedEdit* m_pEdits[3] = {};
};

// The printed listing's title prompter in the application: runs the Title dialog.
class CTitleDialogPrompter final : public ITitlePrompter {
public:
    explicit CTitleDialogPrompter(QWidget* parent = nullptr) : m_pParent(parent) {}
    bool EditTitle(TitleLines& lines) override;

private:
    QWidget* m_pParent;
};
