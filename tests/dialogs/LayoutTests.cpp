#include "dialogs/AdvancedOptionsDlg.h"
#include "dialogs/BrowserDlg.h"
#include "dialogs/CommentDlgs.h"
#include "dialogs/TitleDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace {

// Every text of the templates shows whole, whatever the width of the desktop's font.
void ExpectNoTextCut(QDialog& dialog) {
    for (QWidget* control : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const auto* label = qobject_cast<QLabel*>(control);
        const bool hasText = qobject_cast<QCheckBox*>(control) ||
                             qobject_cast<QRadioButton*>(control) || (label && !label->wordWrap());
        if (hasText) {
            EXPECT_GE(control->width(), control->sizeHint().width())
                << qPrintable(control->objectName());
        }
        EXPECT_TRUE(dialog.rect().contains(control->geometry()))
            << qPrintable(control->objectName());
    }
}

TEST(DialogLayout, NoTextIsCutAndEveryControlIsInside) {
    const QFont original = QApplication::font();
    for (const int pointSize : {8, 9, 10, 11, 14}) {
        QFont font = original;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
        CAdvancedOptionsDlg options;
        ExpectNoTextCut(options);
        CTitleDlg title;
        ExpectNoTextCut(title);
        CCommentListDlg list;
        ExpectNoTextCut(list);
        CCommentEditDlg editor;
        ExpectNoTextCut(editor);
    }
    QApplication::setFont(original);
}

} // namespace
