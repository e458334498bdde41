#include "CommentDlgs.h"

#include "dialogs/DialogFrame.h"
#include "dialogs/LimitedEdit.h"
#include "engine/Text.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

std::string ListedName(const CFolderEntry& entry) {
    return CountChars(entry.m_strName) <= kLongestListedName ? entry.m_strName
                                                             : entry.m_strShortName;
}

CCommentEditDlg::CCommentEditDlg(QWidget* parent) : CModalDialog(parent) {
    SetModalFrame(*this, false);
    const struct {
        const char* id;
        int y;
    } edits[] = {{"1073", 7}, {"1074", 20}, {"1075", 34}};
    for (int i = 0; i < 3; ++i) {
        m_pEdits[i] = PlaceControl(new CLimitedEdit(this), edits[i].id, 0, edits[i].y, 113, 12);
        m_pEdits[i]->setFrame(false);
    }
    auto* done = PlaceControl(new QPushButton(QStringLiteral("&Done"), this), "1", 3, 51, 52, 13);
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel =
        PlaceControl(new QPushButton(QStringLiteral("&Cancel"), this), "2", 58, 51, 52, 13);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    LayOutTemplate(*this, 113, 65);
}

bool CCommentEditDlg::DoDataExchange(bool save) {
    return ExchangeLines(
        {{m_pEdits[0], m_pEdits[1], m_pEdits[2]},
         {&m_comments.m_strComment1, &m_comments.m_strComment2, &m_comments.m_strComment3},
         {kCommentLineChars, kCommentLineChars, kCommentLineChars}},
        save);
}

CCommentListDlg::CCommentListDlg(QWidget* parent) : CModalDialog(parent) {
    setWindowTitle(QStringLiteral("Catalogrium3: adding comments"));
    SetModalFrame(*this, true);
    // "&Done" comes first in the tab order and ends the dialog as Esc does.
    auto* done = PlaceControl(new QPushButton(QStringLiteral("&Done"), this), "2", 162, 87, 50, 14);
    connect(done, &QPushButton::clicked, this, &QDialog::reject);
    m_lbEntries = PlaceControl(new QListWidget(this), "1072", 0, 0, 219, 84);
    m_lbEntries->setUniformItemSizes(true);
    connect(m_lbEntries, &QListWidget::itemDoubleClicked, this, &CCommentListDlg::OnDblClkEntry);
    PlaceControl(new QLabel(QStringLiteral("Double click on selected line to add comment."), this),
                 "", 7, 90, 154, 12);
    LayOutTemplate(*this, 220, 103);
}

// Enter ends the dialog wherever the focus is, as "&Done" and Esc do.
void CCommentListDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Line i of the list is entry i of the listing.
void CCommentListDlg::OnInitDialog() {
    m_nExtraLines = 0;
    m_lbEntries->clear();
    if (!m_pList)
        return;
    QStringList names;
    names.reserve(static_cast<qsizetype>(m_pList->size()));
    for (const auto& entry : *m_pList)
        names.push_back(QString::fromStdString(ListedName(*entry)));
    m_lbEntries->addItems(names);
}

void CCommentListDlg::OnDblClkEntry() {
    const int row = m_lbEntries->currentRow();
    if (!m_pList || row < 0 || !m_lbEntries->item(row)->isSelected() ||
        static_cast<std::size_t>(row) >= m_pList->size())
        return;
    CFolderEntry& entry = *(*m_pList)[static_cast<std::size_t>(row)];
    const int linesBefore = entry.m_comments.CountNonEmpty();
    CCommentEditDlg editor(this);
    editor.m_comments = entry.m_comments;
    if (editor.DoModal() != QDialog::Accepted)
        return;
    entry.m_comments = editor.m_comments;
    m_nExtraLines += entry.m_comments.CountNonEmpty() - linesBefore;
}
