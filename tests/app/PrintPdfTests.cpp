// A print job to PDF through the window's own print path gives the pages that ctlgrm prints
// for the same folder and settings.
#include "AppFixture.h"
#include "PrintedPages.h"

#include <QStandardPaths>

#include <filesystem>

class PrintPdfTest : public AppTest, public testing::WithParamInterface<int> {
protected:
    void SetUp() override {
#ifndef CTLGRM_PATH
        GTEST_SKIP() << "ctlgrm is not built";
#else
        if (!std::filesystem::exists(CTLGRM_PATH) ||
            QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            GTEST_SKIP() << "ctlgrm or pdftotext is missing";
#endif
        // The title's date line and the listing's dates are the same in both programs.
        setenv("SOURCE_DATE_EPOCH", "1796735109", 1);
        AppTest::SetUp();
    }
    void TearDown() override {
        unsetenv("SOURCE_DATE_EPOCH");
    }

    // Prints the folder to `pdf` from the window on Letter paper with ctlgrm's margins.
    void PrintFromWindow(const std::string& pdf) {
        QPrinter& printer = View()->Printer();
        printer.setPageSize(QPageSize(QPageSize::Letter));
        printer.setPageMargins(QMarginsF(0.25, 0.25, 0.25, 0.25), QPageLayout::Inch);
        dialogs.acceptPrint = true;
        dialogs.printToPdf = pdf;
        ClickGo();
    }

    bool PrintWithCtlgrm(const std::string& pdf) {
#ifdef CTLGRM_PATH
        return QProcess::execute(
                   QStringLiteral(CTLGRM_PATH),
                   {QStringLiteral("--profile"), QString::fromStdString(ProfilePath()),
                    QStringLiteral("--paper"), QStringLiteral("letter"), QStringLiteral("-o"),
                    QString::fromStdString(pdf), QString::fromStdString(folder.str())}) == 0;
#else
        (void)pdf;
        return false;
#endif
    }

    TempDir out;
};

TEST_P(PrintPdfTest, WindowPrintsTheSamePagesAsCtlgrm) {
    for (int i = 0; i < 90; ++i)
        folder.WriteFile("file" + std::to_string(i) + ".txt", std::string(i * 37, 'x'));
    folder.WriteFile("Photos/holiday.jpg", std::string(5000, 'p'));
    Click(GetParam());
    Click(IDC_DATE);
    TypeFolder(folder.str());
    const std::string fromWindow = out.str() + "/window.pdf";
    PrintFromWindow(fromWindow);
    ASSERT_EQ(dialogs.printDialogPages.size(), 1u);
    Exit(); // the settings go to the profile that ctlgrm reads

    const std::string fromCtlgrm = out.str() + "/ctlgrm.pdf";
    ASSERT_TRUE(PrintWithCtlgrm(fromCtlgrm));
    const QString windowText = PdfText(fromWindow);
    EXPECT_TRUE(windowText.contains(QStringLiteral("file89.txt")));
    EXPECT_EQ(windowText.toStdString(), PdfText(fromCtlgrm).toStdString());
}

INSTANTIATE_TEST_SUITE_P(Layouts, PrintPdfTest, testing::Values(IDC_STANDARD, IDC_CD, IDC_ZIP));

// A PDF file gets its copies and its page order from the program, page by page.
class PrintedPagesTest : public testing::Test {
protected:
    PrintedPagesTest() { printer.setOutputFormat(QPrinter::PdfFormat); }
    QPrinter printer;
};

TEST_F(PrintedPagesTest, RangeAndOrderAsChosenInThePrintDialog) {
    EXPECT_EQ(PrintedPages(printer, 3), (std::vector<int>{1, 2, 3}));
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 9);
    EXPECT_EQ(PrintedPages(printer, 4), (std::vector<int>{2, 3, 4}));
    printer.setPageOrder(QPrinter::LastPageFirst);
    EXPECT_EQ(PrintedPages(printer, 4), (std::vector<int>{4, 3, 2}));
}

TEST_F(PrintedPagesTest, CopiesThePrinterDoesNotMakeAreDrawnCollatedOrPageByPage) {
    ASSERT_FALSE(printer.supportsMultipleCopies());
    printer.setCopyCount(2);
    printer.setCollateCopies(true);
    EXPECT_EQ(PrintedPages(printer, 3), (std::vector<int>{1, 2, 3, 1, 2, 3}));
    printer.setCollateCopies(false);
    EXPECT_EQ(PrintedPages(printer, 3), (std::vector<int>{1, 1, 2, 2, 3, 3}));
}
