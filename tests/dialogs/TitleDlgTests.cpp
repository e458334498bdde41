#include "dialogs/LimitedEdit.h"
#include "dialogs/TitleDlg.h"
#include "tests/support/ModalHelpers.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

class TitleDlgTest : public testing::Test {
protected:
    TitleDlgTest() { Propose("/HOME/US...OCUMENTS", " 12/08/26 06:46:24", ""); }
    void Propose(const std::string& line1, const std::string& line2, const std::string& line3) {
        dialog.m_lines = dialog.m_defaults = {line1, line2, line3};
    }
    int Run(std::function<void(CTitleDlg&)> interact) {
        WhenModal<CTitleDlg>(std::move(interact));
        return dialog.DoModal();
    }
    static CLimitedEdit* Edit(CTitleDlg& dlg, const char* id) {
        return Control<CLimitedEdit>(dlg, id);
    }

    CTitleDlg dialog;
};

TEST_F(TitleDlgTest, TabVisitsTheEditsThenOkResetAndCancel) {
    EXPECT_EQ(TabOrder(dialog), QStringList({"1041", "1042", "1044", "1", "1046", "2"}));
    EXPECT_TRUE(Control<QPushButton>(dialog, "1")->isDefault());
}

TEST_F(TitleDlgTest, OkWithoutChangesGivesTheProposedLines) {
    EXPECT_EQ(Run([](CTitleDlg& dlg) { QTest::keyClick(Edit(dlg, "1041"), Qt::Key_Return); }),
              QDialog::Accepted);
    EXPECT_EQ(dialog.m_lines, (TitleLines{"/HOME/US...OCUMENTS", " 12/08/26 06:46:24", ""}));
}

TEST_F(TitleDlgTest, OkTakesWhatWasTyped) {
    Run([](CTitleDlg& dlg) {
        QTest::keyClicks(Edit(dlg, "1044"), "Backup");
        QTest::mouseClick(Control<QPushButton>(dlg, "1"), Qt::LeftButton);
    });
    EXPECT_EQ(dialog.m_lines.m_strTitle1, "/HOME/US...OCUMENTS");
    EXPECT_EQ(dialog.m_lines.m_strTitle3, "Backup");
}

TEST_F(TitleDlgTest, ResetBringsTheProposedLinesBackAndMayBePressedAgain) {
    Run([](CTitleDlg& dlg) {
        for (const char* id : {"1041", "1042", "1044"})
            QTest::keyClicks(Edit(dlg, id), "x");
        QTest::mouseClick(Control<QPushButton>(dlg, "1046"), Qt::LeftButton);
        EXPECT_TRUE(dlg.isVisible());
        QTest::keyClicks(Edit(dlg, "1044"), "y");
        QTest::mouseClick(Control<QPushButton>(dlg, "1046"), Qt::LeftButton);
        EXPECT_EQ(Edit(dlg, "1044")->text(), "");
        dlg.accept();
    });
    EXPECT_EQ(dialog.m_lines, (TitleLines{"/HOME/US...OCUMENTS", " 12/08/26 06:46:24", ""}));
}

TEST_F(TitleDlgTest, CancelEscAndTheCloseBoxTakeNothing) {
    for (int way = 0; way < 3; ++way) {
        const int result = Run([way](CTitleDlg& dlg) {
            QTest::keyClicks(Edit(dlg, "1041"), "zz");
            if (way == 0)
                QTest::mouseClick(Control<QPushButton>(dlg, "2"), Qt::LeftButton);
            else if (way == 1)
                QTest::keyClick(Edit(dlg, "1041"), Qt::Key_Escape);
            else
                dlg.close();
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(dialog.m_lines.m_strTitle1, "/HOME/US...OCUMENTS");
    }
    EXPECT_EQ(Control<QPushButton>(dialog, "2")->text(), "Cancel 'Print Title'");
}

TEST_F(TitleDlgTest, TypingStopsAtNineteenAndTwentyOneCharacters) {
    Propose("", "", "");
    Run([](CTitleDlg& dlg) {
        QTest::keyClicks(Edit(dlg, "1041"), QString(25, u'a'));
        QTest::keyClicks(Edit(dlg, "1042"), QString(25, u'b'));
        QTest::keyClicks(Edit(dlg, "1044"), QString(25, u'c'));
        dlg.accept();
    });
    EXPECT_EQ(dialog.m_lines.m_strTitle1, std::string(19, 'a'));
    EXPECT_EQ(dialog.m_lines.m_strTitle2, std::string(21, 'b'));
    EXPECT_EQ(dialog.m_lines.m_strTitle3, std::string(21, 'c'));
}

TEST_F(TitleDlgTest, AProposedLineOverTheLimitKeepsTheDialogOpenUntilShortened) {
    Propose(std::string(20, 'L'), "", "");
    QString message;
    const int result = Run([&message](CTitleDlg& dlg) {
        AnswerNextMessage(message);
        QTest::mouseClick(Control<QPushButton>(dlg, "1"), Qt::LeftButton);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(message, "Please enter no more than 19 characters.");
        EXPECT_EQ(dlg.focusWidget(), Edit(dlg, "1041"));
        // Typing cannot lengthen it; deleting shortens it.
        CLimitedEdit* line1 = Edit(dlg, "1041");
        line1->end(false);
        QTest::keyClicks(line1, "x");
        EXPECT_EQ(line1->text().size(), 20);
        QTest::keyClick(line1, Qt::Key_Backspace);
        dlg.accept();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.m_lines.m_strTitle1, std::string(19, 'L'));
}

TEST(TitlePrompter, GivesTheEditedLinesOnlyOnOk) {
    CTitleDialogPrompter prompter;
    TitleLines lines{"/DATA", " 01/02/03 04:05:06", ""};
    WhenModal<CTitleDlg>([](CTitleDlg& dlg) {
        QTest::keyClicks(Control<CLimitedEdit>(dlg, "1044"), "Disk 1");
        dlg.accept();
    });
    EXPECT_TRUE(prompter.EditTitle(lines));
    EXPECT_EQ(lines, (TitleLines{"/DATA", " 01/02/03 04:05:06", "Disk 1"}));

    WhenModal<CTitleDlg>([](CTitleDlg& dlg) {
        QTest::keyClicks(Control<CLimitedEdit>(dlg, "1041"), "!");
        dlg.reject();
    });
    EXPECT_FALSE(prompter.EditTitle(lines));
    EXPECT_EQ(lines.m_strTitle1, "/DATA");
}

// Limits count characters, not UTF-16 units or bytes.
TEST(LimitedEdit, CountsCharactersOutsideTheBasicPlaneAsOne) {
    CLimitedEdit edit;
    edit.LoadText("", 3);
    edit.show();
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    for (const QString& character : {smile, smile, QString::fromUtf8("\xC3\xA9"), QString("x")})
        QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, character, Qt::NoModifier);
    EXPECT_EQ(edit.SavedText(), "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xC3\xA9");
}

TEST(LimitedEdit, APasteInsertsWhatFits) {
    CLimitedEdit edit;
    edit.LoadText("abcd", 6);
    edit.setCursorPosition(2);
    edit.insert("123456");
    EXPECT_EQ(edit.text(), "ab12cd");
    EXPECT_EQ(edit.cursorPosition(), 4);
}

TEST(LimitedEdit, ReplacingASelectionMayUseTheFreedRoom) {
    CLimitedEdit edit;
    edit.LoadText("abcdef", 6);
    edit.setSelection(1, 3);
    edit.insert("XYZW");
    EXPECT_EQ(edit.text(), "aXYZef");
}

TEST(LimitedEdit, GivesBackUnchangedBytesThatAreNotValidUtf8) {
    CLimitedEdit edit;
    const std::string name = "caf\xE9";
    edit.LoadText(name, 19);
    EXPECT_EQ(edit.SavedText(), name);
    edit.insert("!");
    EXPECT_EQ(edit.SavedText(), "caf\xEF\xBF\xBD!");
}

} // namespace
