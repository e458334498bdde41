#include "TitleDlg.h"

#include "dialogs/DialogFrame.h"
#include "dialogs/LimitedEdit.h"

#include <QLabel>
#include <QPushButton>

CTitleDlg::CTitleDlg(QWidget* parent) : CModalDialog(parent) {
    setWindowTitle(QStringLiteral("Title"));
    SetModalFrame(*this, true);
    const struct {
        const char* id;
        int y;
    } edits[] = {{"1041", 25}, {"1042", 43}, {"1044", 63}};
    for (int i = 0; i < 3; ++i)
        m_pEdits[i] = PlaceControl(new CLimitedEdit(this), edits[i].id, 5, edits[i].y, 164, 14);

    auto* ok = PlaceControl(new QPushButton(QStringLiteral("OK"), this), "1", 57, 81, 35, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* reset =
        PlaceControl(new QPushButton(QStringLiteral("Reset"), this), "1046", 5, 81, 35, 14);
    connect(reset, &QPushButton::clicked, this, &CTitleDlg::OnReset);
    auto* cancel = PlaceControl(new QPushButton(QStringLiteral("Cancel 'Print Title'"), this), "2",
                                104, 81, 65, 14);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* prompt = new QLabel(
        QStringLiteral("The following Title will be printed. Please make changes as needed ."),
        this);
    prompt->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    prompt->setWordWrap(true);
    PlaceControl(prompt, "", 12, 3, 120, 18);
    LayOutTemplate(*this, 176, 98);
}

void CTitleDlg::OnReset() {
    m_lines = m_defaults;
    DoDataExchange(false);
}

// Loading also sets each edit's limit; taking the lines stops at the first one that is too
// long, with a message, and leaves the members as they were.
bool CTitleDlg::DoDataExchange(bool save) {
    return ExchangeLines({{m_pEdits[0], m_pEdits[1], m_pEdits[2]},
                          {&m_lines.m_strTitle1, &m_lines.m_strTitle2, &m_lines.m_strTitle3},
                          kTitleLineChars},
                         save);
}

bool CTitleDialogPrompter::EditTitle(TitleLines& lines) {
    CTitleDlg dialog(m_pParent);
    dialog.m_lines = dialog.m_defaults = lines;
    if (dialog.DoModal() != QDialog::Accepted)
        return false;
    lines = dialog.m_lines;
    return true;
}
