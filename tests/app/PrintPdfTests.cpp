// A print job to PDF through the window's own print path gives the pages that ctlgrm prints
// for the same folder and settings.
#include "form/PrintedPages.h"
#include "tests/app/AppFixture.h"
#include "tests/support/FifoReader.h"
#include "tests/support/ReadAll.h"

#include <QStandardPaths>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/resource.h>
#include <sys/stat.h>

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
        return RunCommand({CTLGRM_PATH, "--profile", ProfilePath(), "--paper", "letter", "-o", pdf,
                           folder.str()})
                   .status == 0;
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

// Print to File writes the PDF as the listing file is written: into a FIFO as it is, through a
// link to its target (which need not exist yet), and over a regular file only once the whole
// PDF is there.
class PrintToFileTest : public AppTest {
protected:
    void PrintTo(const std::filesystem::path& file) {
        folder.WriteFile("a.txt", "a");
        dialogs.acceptPrint = true;
        dialogs.printToPdf = file.string();
        Click(IDC_STANDARD);
        TypeFolder(folder.str());
        ClickGo();
    }
    static bool IsPdf(const std::string& bytes) {
        return bytes.starts_with("%PDF-") && bytes.find("%%EOF") != std::string::npos;
    }

    TempDir out;
};

TEST_F(PrintToFileTest, FifoIsWrittenAsItIs) {
    const auto fifo = out.path() / "view.pdf";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    FifoReader reader(fifo);
    PrintTo(fifo);
    EXPECT_TRUE(IsPdf(reader.Bytes()));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(PrintToFileTest, LinkStaysALinkToTheNewFile) {
    out.MakeDir("real");
    const auto link = out.path() / "view.pdf";
    std::filesystem::create_symlink("real/view.pdf", link);
    PrintTo(link);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(IsPdf(ReadAll(out.path() / "real/view.pdf")));
    EXPECT_EQ(NamesIn(out.path() / "real"), std::vector<std::string>{"view.pdf"});
    // The printer still prints to the file the user chose.
    EXPECT_EQ(View()->Printer().outputFileName().toStdString(), link.string());
    EXPECT_EQ(View()->Printer().outputFormat(), QPrinter::PdfFormat);
}

// The file size limit stands in for a full disk.
TEST_F(PrintToFileTest, FailedPrintKeepsThePreviousFileAndSaysSo) {
    const auto file = out.WriteFile("view.pdf", "previous");
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    PrintTo(file);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(ReadAll(file), "previous");
    EXPECT_EQ(NamesIn(out.path()), std::vector<std::string>{"view.pdf"});
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text,
              file.string() + " could not be written: Input/output error.");

    PrintTo(file);
    EXPECT_TRUE(IsPdf(ReadAll(file)));
    EXPECT_EQ(prompter.messages.size(), 1u);
}

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
