#include "dialogs/CommentDlgs.h"
#include "dialogs/LimitedEdit.h"
#include "tests/support/ModalHelpers.h"

#include <QListWidget>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<CFolderEntry> Entry(std::string name, std::string shortName = "SHORTNAME") {
    auto entry = std::make_unique<CFolderEntry>();
    entry->m_strName = std::move(name);
    entry->m_strShortName = std::move(shortName);
    return entry;
}

TEST(CommentList, ListsNamesUpToFortyCharactersElseTheShortName) {
    const std::string forty(40, 'n');
    EXPECT_EQ(ListedName(*Entry(forty)), forty);
    EXPECT_EQ(ListedName(*Entry(forty + "n", "NNNNNNNNNNN")), "NNNNNNNNNNN");
    // Forty characters that take more than forty bytes still fit.
    std::string accented;
    for (int i = 0; i < 40; ++i)
        accented += "\xC3\xA9";
    EXPECT_EQ(ListedName(*Entry(accented)), accented);
}

class CommentListTest : public testing::Test {
protected:
    CommentListTest() {
        entries.push_back(Entry("alpha.txt"));
        entries.push_back(Entry(std::string(41, 'x'), "XXXXXX~1"));
        entries.push_back(Entry("gamma"));
        dialog.m_pList = &entries;
    }

    // Double-clicks line `row`, letting `edit` work in the editor that opens.
    void EditRow(int row, std::function<void(CCommentEditDlg&)> edit) {
        WhenModal<CCommentEditDlg>(std::move(edit));
        QListWidget& list = *dialog.m_lbEntries;
        const QPoint centre = list.visualItemRect(list.item(row)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
    }
    static void Type(CCommentEditDlg& editor, const char* id, const QString& text) {
        CLimitedEdit* edit = Control<CLimitedEdit>(editor, id);
        edit->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        else
            QTest::keyClicks(edit, text);
    }
    static void Done(CCommentEditDlg& editor) {
        QTest::mouseClick(Control<QPushButton>(editor, "1"), Qt::LeftButton);
    }

    EntryList entries;
    CCommentListDlg dialog;
};

TEST_F(CommentListTest, ShowsOneLinePerEntryInListingOrder) {
    dialog.show();
    ASSERT_EQ(dialog.m_lbEntries->count(), 3);
    EXPECT_EQ(dialog.m_lbEntries->item(0)->text(), "alpha.txt");
    EXPECT_EQ(dialog.m_lbEntries->item(1)->text(), "XXXXXX~1");
    EXPECT_EQ(dialog.m_lbEntries->item(2)->text(), "gamma");
    EXPECT_EQ(dialog.windowTitle(), "Catalogrium3: adding comments");
}

TEST_F(CommentListTest, ShowsAScrollBarOnlyWhenTheEntriesDoNotFit) {
    dialog.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialog.m_lbEntries->verticalScrollBar()->isVisible());

    dialog.hide();
    for (int i = 0; i < 100; ++i)
        entries.push_back(Entry("entry" + std::to_string(i)));
    dialog.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog.m_lbEntries->verticalScrollBar()->isVisible());
}

TEST_F(CommentListTest, CountsTheNetChangeOfCommentLines) {
    dialog.show();
    EditRow(0, [](CCommentEditDlg& editor) {
        Type(editor, "1074", "second line only");
        Done(editor);
    });
    EXPECT_EQ(entries[0]->m_comments.m_strComment2, "second line only");
    EXPECT_EQ(dialog.m_nExtraLines, 1);

    EditRow(2, [](CCommentEditDlg& editor) {
        Type(editor, "1073", "one");
        Type(editor, "1074", "two");
        Type(editor, "1075", "three");
        QTest::keyClick(Control<CLimitedEdit>(editor, "1075"), Qt::Key_Return);
    });
    EXPECT_EQ(dialog.m_nExtraLines, 4);

    EditRow(2, [](CCommentEditDlg& editor) {
        EXPECT_EQ(Control<CLimitedEdit>(editor, "1074")->text(), "two");
        Type(editor, "1073", "");
        Type(editor, "1075", "");
        Done(editor);
    });
    EXPECT_EQ(entries[2]->m_comments.m_strComment1, "");
    EXPECT_EQ(entries[2]->m_comments.m_strComment2, "two");
    EXPECT_EQ(dialog.m_nExtraLines, 2);
    EXPECT_EQ(dialog.m_lbEntries->item(2)->text(), "gamma");
}

TEST_F(CommentListTest, CancellingTheEditorChangesNothing) {
    entries[1]->m_comments.m_strComment1 = "kept";
    dialog.show();
    for (const bool escape : {false, true})
        EditRow(1, [escape](CCommentEditDlg& editor) {
            Type(editor, "1073", "changed");
            Type(editor, "1075", "added");
            if (escape)
                QTest::keyClick(Control<CLimitedEdit>(editor, "1073"), Qt::Key_Escape);
            else
                QTest::mouseClick(Control<QPushButton>(editor, "2"), Qt::LeftButton);
        });
    EXPECT_EQ(entries[1]->m_comments.m_strComment1, "kept");
    EXPECT_EQ(entries[1]->m_comments.m_strComment3, "");
    EXPECT_EQ(dialog.m_nExtraLines, 0);
}

TEST_F(CommentListTest, ADoubleClickWithoutASelectionDoesNothing) {
    dialog.show();
    dialog.m_lbEntries->clearSelection();
    dialog.OnDblClkEntry();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(dialog.m_nExtraLines, 0);
}

TEST_F(CommentListTest, EveryWayOutGivesTheSameCount) {
    for (int way = 0; way < 4; ++way) {
        WhenModal<CCommentListDlg>([this, way](CCommentListDlg& dlg) {
            EditRow(0, [](CCommentEditDlg& editor) {
                Type(editor, "1073", "x");
                Done(editor);
            });
            if (way == 0)
                QTest::mouseClick(Control<QPushButton>(dlg, "2"), Qt::LeftButton);
            else if (way == 1)
                QTest::keyClick(dlg.m_lbEntries, Qt::Key_Return);
            else if (way == 2)
                QTest::keyClick(dlg.m_lbEntries, Qt::Key_Escape);
            else
                dlg.close();
        });
        entries[0]->m_comments.m_strComment1.clear();
        dialog.DoModal();
        EXPECT_EQ(dialog.m_nExtraLines, 1) << "way " << way;
    }
}

TEST(CommentEditor, HasNoCaptionBarAndTakesNineteenCharacters) {
    CCommentEditDlg editor;
    EXPECT_FALSE(editor.windowFlags() & Qt::WindowTitleHint);
    EXPECT_EQ(Control<QPushButton>(editor, "1")->text(), "&Done");
    EXPECT_EQ(Control<QPushButton>(editor, "2")->text(), "&Cancel");
    WhenModal<CCommentEditDlg>([](CCommentEditDlg& dlg) {
        QTest::keyClicks(Control<CLimitedEdit>(dlg, "1073"), QString(19, u'a'));
        QTest::keyClicks(Control<CLimitedEdit>(dlg, "1074"), QString(20, u'b'));
        dlg.accept();
    });
    EXPECT_EQ(editor.DoModal(), QDialog::Accepted);
    EXPECT_EQ(editor.m_comments.m_strComment1, std::string(19, 'a'));
    EXPECT_EQ(editor.m_comments.m_strComment2, std::string(19, 'b'));
}

TEST(CommentEditor, RefusesALoadedLineOverTheLimitWithAMessage) {
    CCommentEditDlg editor;
    editor.m_comments.m_strComment3 = std::string(25, 'z');
    QString message;
    WhenModal<CCommentEditDlg>([&message](CCommentEditDlg& dlg) {
        AnswerNextMessage(message);
        dlg.accept();
        EXPECT_TRUE(dlg.isVisible());
        dlg.reject();
    });
    EXPECT_EQ(editor.DoModal(), QDialog::Rejected);
    EXPECT_EQ(message, "Please enter no more than 19 characters.");
    EXPECT_EQ(editor.m_comments.m_strComment3, std::string(25, 'z'));
}

} // namespace
