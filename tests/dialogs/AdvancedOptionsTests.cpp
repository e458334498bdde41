#include "dialogs/AdvancedOptionsDlg.h"
#include "engine/ListingOptions.h"
#include "tests/support/ModalHelpers.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <map>

namespace {

class FakeFontCatalog : public IFontCatalog {
public:
    std::vector<std::string> Families() const override { return families; }
    std::vector<std::string> Substitutes(const std::string& face) const override {
        const auto found = substitutes.find(face);
        return found == substitutes.end() ? std::vector<std::string>{} : found->second;
    }

    std::vector<std::string> families;
    std::map<std::string, std::vector<std::string>> substitutes;
};

FakeFontCatalog AllEightInstalled() {
    FakeFontCatalog catalog;
    for (const auto face : kPreferredFaces)
        catalog.families.emplace_back(face);
    catalog.families.push_back("DejaVu Sans");
    return catalog;
}

QStringList Items(const QComboBox& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i)
        items << combo.itemText(i);
    return items;
}

TEST(FontList, ShowsTheEightFacesSortedAndNothingElse) {
    const FakeFontCatalog catalog = AllEightInstalled();
    CFontCombo combo(catalog);
    combo.FillFonts("Arial");
    EXPECT_EQ(Items(combo),
              QStringList({"Arial", "Bookman Old Style", "Comic Sans MS", "Garamond",
                           "Haettenschweiler", "Tahoma", "Times New Roman", "Verdana"}));
}

TEST(FontList, TakesOnlyExactlySpelledFacesButSelectsIgnoringCase) {
    FakeFontCatalog catalog;
    catalog.families = {"arial", "Tahoma", "VERDANA"};
    CFontCombo combo(catalog);
    combo.FillFonts("tahoma");
    EXPECT_EQ(Items(combo), QStringList({"Tahoma"}));
    EXPECT_EQ(combo.currentText(), "Tahoma");
}

TEST(FontList, CountsAFaceInstalledThroughAnInstalledStandIn) {
    FakeFontCatalog catalog;
    catalog.families = {"Liberation Sans", "URW Bookman [urw]", "URW Bookman [UKWN]"};
    catalog.substitutes = {{"Arial", {"Arimo", "Liberation Sans"}},
                           {"Bookman Old Style", {"URW Bookman"}},
                           {"Times New Roman", {"Liberation Serif"}}};
    EXPECT_EQ(InstalledPreferredFaces(catalog),
              (std::vector<std::string>{"Arial", "Bookman Old Style"}));
}

TEST(FontList, HoldsEachFaceOnceWhenSeveralFoundriesOrStandInsReportIt) {
    FakeFontCatalog catalog;
    catalog.families = {"Arial", "Arial [Monotype]", "Liberation Sans"};
    catalog.substitutes = {{"Arial", {"Liberation Sans"}}};
    CFontCombo combo(catalog);
    combo.FillFonts("Arial");
    EXPECT_EQ(Items(combo), QStringList({"Arial"}));
}

TEST(FontList, FamilyWithoutFoundryDropsOnlyABracketedSuffix) {
    EXPECT_EQ(FamilyWithoutFoundry("URW Bookman [urw]"), "URW Bookman");
    EXPECT_EQ(FamilyWithoutFoundry("Arial"), "Arial");
    EXPECT_EQ(FamilyWithoutFoundry("Odd [Name"), "Odd [Name");
}

TEST(FontList, SelectsTheFirstItemWhenTheFaceIsAbsentAndNothingWhenEmpty) {
    const FakeFontCatalog catalog = AllEightInstalled();
    CFontCombo combo(catalog);
    combo.FillFonts("Wingdings");
    EXPECT_EQ(combo.currentIndex(), 0);
    EXPECT_EQ(combo.currentText(), "Arial");

    const FakeFontCatalog none;
    CFontCombo empty(none);
    empty.FillFonts("Arial");
    EXPECT_EQ(empty.count(), 0);
    EXPECT_EQ(empty.currentIndex(), -1);
}

TEST(FontList, RebuildsWithoutDuplicatesWhenFilledAgain) {
    const FakeFontCatalog catalog = AllEightInstalled();
    CFontCombo combo(catalog);
    combo.FillFonts("Arial");
    combo.FillFonts("Verdana");
    EXPECT_EQ(combo.count(), 8);
    EXPECT_EQ(combo.currentText(), "Verdana");
}

// On a desktop with the metric-compatible Liberation fonts, the print faces they stand for
// are offered.
TEST(FontList, SystemCatalogOffersArialThroughLiberationSans) {
    const auto families = SystemFontCatalog().Families();
    const bool liberation = std::any_of(families.begin(), families.end(), [](const auto& f) {
        return FamilyWithoutFoundry(f) == "Liberation Sans";
    });
    if (!liberation)
        GTEST_SKIP() << "Liberation Sans is not installed";
    const auto faces = InstalledPreferredFaces(SystemFontCatalog());
    EXPECT_NE(std::find(faces.begin(), faces.end(), "Arial"), faces.end());
    EXPECT_EQ(std::find(faces.begin(), faces.end(), "Haettenschweiler") != faces.end(),
              std::find(families.begin(), families.end(), "Haettenschweiler") != families.end());
}

class AdvancedOptionsTest : public testing::Test {
protected:
    AdvancedOptionsTest() : catalog(AllEightInstalled()), dialog(nullptr, catalog) {}

    // Runs the dialog, lets `interact` work on it, and returns the dialog's result.
    int Run(std::function<void(CAdvancedOptionsDlg&)> interact) {
        WhenModal<CAdvancedOptionsDlg>(std::move(interact));
        return dialog.DoModal();
    }
    QRadioButton* Radio(const char* id) { return Control<QRadioButton>(dialog, id); }
    QCheckBox* Check(const char* id) { return Control<QCheckBox>(dialog, id); }

    FakeFontCatalog catalog;
    CAdvancedOptionsDlg dialog;
};

TEST_F(AdvancedOptionsTest, StartsWithNothingChosen) {
    EXPECT_EQ(dialog.m_nSortBy, -1);
    EXPECT_EQ(dialog.m_nFilesAndFolders, -1);
    EXPECT_TRUE(dialog.m_strFontName.empty());
    EXPECT_EQ(dialog.windowTitle(), "Catalogrium3: Advanced options");
}

TEST_F(AdvancedOptionsTest, TabVisitsTheControlsInTemplateOrder) {
    // Each radio group is one stop, on its first button while none is checked.
    EXPECT_EQ(TabOrder(dialog), QStringList({"1067", "1037", "1034", "1051", "1048", "1049", "1050",
                                             "1076", "1", "1077", "1079", "1080"}));
    EXPECT_TRUE(Control<QPushButton>(dialog, "1")->isDefault());
}

// One Tab or Shift+Tab from a control, with the two radio groups loaded from the members.
struct RadioTab {
    int sortBy;
    int filesAndFolders;
    const char* from;
    bool backwards;
    const char* lands;
};

void PrintTo(const RadioTab& step, std::ostream* out) {
    *out << (step.backwards ? "Shift+Tab from " : "Tab from ") << step.from << " to " << step.lands;
}

class AdvancedOptionsTabTest : public AdvancedOptionsTest,
                               public testing::WithParamInterface<RadioTab> {};

// Tab into a radio group lands on its checked button (the first when none is checked), and
// Tab out of the group leaves it at once.
TEST_P(AdvancedOptionsTabTest, TabIntoARadioGroupLandsOnItsCheckedButton) {
    const RadioTab& step = GetParam();
    dialog.m_nSortBy = step.sortBy;
    dialog.m_nFilesAndFolders = step.filesAndFolders;
    QString landed;
    Run([&](CAdvancedOptionsDlg& dlg) {
        // Keys move the focus only in the active window.
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QWidget* from = dlg.findChild<QWidget*>(QString::fromLatin1(step.from));
        from->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                        step.backwards ? Qt::ShiftModifier : Qt::NoModifier);
        landed = QApplication::focusWidget()->objectName();
        dlg.reject();
    });
    EXPECT_EQ(landed, QString::fromLatin1(step.lands));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, AdvancedOptionsTabTest,
    testing::Values(RadioTab{kSortTime, kFilesAndFolders, "1067", false, "1058"},
                    RadioTab{kSortTime, kFilesAndFolders, "1034", true, "1058"},
                    RadioTab{kSortTime, kFilesAndFolders, "1034", false, "1053"},
                    RadioTab{kSortTime, kFilesAndFolders, "1048", true, "1053"},
                    RadioTab{kSortSize, kFoldersOnly, "1038", false, "1034"},
                    RadioTab{kSortSize, kFoldersOnly, "1051", false, "1048"},
                    RadioTab{-1, -1, "1067", false, "1037"},
                    RadioTab{-1, -1, "1048", true, "1051"}));

TEST_F(AdvancedOptionsTest, ShowsTheRadioOfEachValue) {
    dialog.m_nSortBy = kSortTime;
    dialog.m_nFilesAndFolders = kFilesAndFolders;
    Run([this](CAdvancedOptionsDlg& dlg) {
        EXPECT_TRUE(Radio("1058")->isChecked());
        EXPECT_TRUE(Radio("1053")->isChecked());
        EXPECT_FALSE(Radio("1037")->isChecked());
        dlg.reject();
    });
}

TEST_F(AdvancedOptionsTest, OkWithNoRadioCheckedGivesMinusOne) {
    EXPECT_EQ(Run([](CAdvancedOptionsDlg& dlg) { QTest::keyClick(&dlg, Qt::Key_Return); }),
              QDialog::Accepted);
    EXPECT_EQ(dialog.m_nSortBy, -1);
    EXPECT_EQ(dialog.m_nFilesAndFolders, -1);
}

TEST_F(AdvancedOptionsTest, OkTakesEveryRadioAndCheckBox) {
    dialog.m_nSortBy = kSortTime;
    dialog.m_bNumberFileLines = 1;
    Run([this](CAdvancedOptionsDlg& dlg) {
        QTest::mouseClick(Radio("1039"), Qt::LeftButton);
        QTest::mouseClick(Radio("1052"), Qt::LeftButton);
        for (const char* id : {"1050", "1048", "1049", "1034", "1076", "1077", "1079", "1080"})
            QTest::mouseClick(Check(id), Qt::LeftButton);
        QTest::mouseClick(Control<QPushButton>(dlg, "1"), Qt::LeftButton);
    });
    EXPECT_EQ(dialog.m_nSortBy, kSortName);
    EXPECT_EQ(dialog.m_nFilesAndFolders, kFilesOnly);
    EXPECT_EQ(dialog.m_bNumberFileLines, 0);
    for (int flag :
         {dialog.m_bNumberStdLines, dialog.m_bNumberCDLines, dialog.m_bDescend, dialog.m_bNoGrid,
          dialog.m_bSizeInBytes, dialog.m_bAutoRefresh, dialog.m_bUpperCase})
        EXPECT_EQ(flag, 1);
}

TEST_F(AdvancedOptionsTest, EscAndTheCloseBoxLeaveEveryMemberAsItWas) {
    dialog.m_strFontName = "Arial";
    dialog.m_nSortBy = kSortSize;
    for (const bool closeBox : {false, true}) {
        const int result = Run([this, closeBox](CAdvancedOptionsDlg& dlg) {
            QTest::mouseClick(Radio("1058"), Qt::LeftButton);
            QTest::mouseClick(Check("1080"), Qt::LeftButton);
            dlg.FontCombo().setCurrentIndex(dlg.FontCombo().findText("Verdana"));
            emit dlg.FontCombo().activated(dlg.FontCombo().currentIndex());
            if (closeBox)
                dlg.close();
            else
                QTest::keyClick(&dlg, Qt::Key_Escape);
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(dialog.m_nSortBy, kSortSize);
        EXPECT_EQ(dialog.m_bUpperCase, 0);
    }
    // The face follows the pick at once, as the caller copies nothing back after Esc.
    EXPECT_EQ(dialog.m_strFontName, "Verdana");
}

// A face that is not listed shows the first item, one in another case the listed face; OK
// keeps the stored face as it was, unless the user picks one.
TEST_F(AdvancedOptionsTest, KeepsAStoredFaceThatIsNotListedUnlessTheUserPicksOne) {
    for (const char* stored : {"Wingdings", "arial"}) {
        dialog.m_strFontName = stored;
        Run([stored](CAdvancedOptionsDlg& dlg) {
            EXPECT_EQ(dlg.FontCombo().currentText(), "Arial") << stored;
            dlg.accept();
        });
        EXPECT_EQ(dialog.m_strFontName, stored);
    }
}

TEST_F(AdvancedOptionsTest, PickingFromTheListChangesTheFaceButTypingDoesNot) {
    dialog.m_strFontName = "Arial";
    Run([](CAdvancedOptionsDlg& dlg) {
        CFontCombo& combo = dlg.FontCombo();
        combo.setFocus();
        QTest::keyClick(&combo, Qt::Key_Down);
        EXPECT_EQ(dlg.m_strFontName, "Bookman Old Style");
        combo.lineEdit()->selectAll();
        QTest::keyClicks(combo.lineEdit(), "Tahoma");
        QTest::keyClick(combo.lineEdit(), Qt::Key_Return);
    });
    EXPECT_EQ(dialog.m_strFontName, "Bookman Old Style");
}

TEST(AdvancedOptionsCopy, TakesTheElevenSettingsInAndBackButNeverAnEmptyFace) {
    const FakeFontCatalog catalog = AllEightInstalled();
    ListingOptions options;
    options.m_nSortBy = kSortExtension;
    options.m_bUpperCase = 1;
    options.m_strFontName = "Tahoma";
    CAdvancedOptionsDlg dialog(nullptr, catalog);
    dialog.CopyFromOptions(options);
    EXPECT_EQ(dialog.m_nSortBy, kSortExtension);
    EXPECT_EQ(dialog.m_strFontName, "Tahoma");

    dialog.m_strFontName.clear();
    dialog.m_bDescend = 1;
    ListingOptions back = options;
    dialog.CopyToOptions(back);
    EXPECT_EQ(back.m_strFontName, "Tahoma");
    EXPECT_EQ(back.m_bDescend, 1);
    EXPECT_EQ(back.m_bUpperCase, 1);
    EXPECT_EQ(back.m_nPrintAs, options.m_nPrintAs);
}

} // namespace
