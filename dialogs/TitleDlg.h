#pragma once

#include "TitlePrompter.h"

#include <QDialog>

#include <string>

class CLimitedEdit;

// Most characters of the title lines.
inline constexpr int kTitleLine1Limit = 19;
inline constexpr int kTitleLine23Limit = 21;

// The Title dialog: shows the three proposed title lines for editing; Reset brings the
// proposed lines (the defaults) back. The caller sets all six members, runs DoModal and
// takes the three lines only after Accepted (OK or Enter); "Cancel 'Print Title'", Esc and
// the close box give Rejected.
class CTitleDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTitleDlg(QWidget* parent = nullptr);

    int DoModal();
    void OnReset();

    std::string m_strLine1;
    std::string m_strLine2;
    std::string m_strLine3;
    std::string m_strDefault1;
    std::string m_strDefault2;
    std::string m_strDefault3;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

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
