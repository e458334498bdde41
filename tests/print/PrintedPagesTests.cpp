// Every page of a job in each layout, drawn on the recording canvas and compared with its
// golden file in tests/print/golden/: the title block at its scale, the summary, the outlines
// and grids, the headers and every row's place, text and font.
#include "tests/print/PrinterFixture.h"

#include "engine/Format.h"
#include "tests/support/Golden.h"

namespace {

struct Layout {
    const char* golden; // the file's name, without ".txt"
    int printAs;
    bool twoColumn;
    int files; // after report.doc and the folder Photos
    bool noGrid = false;
    const char* font = "Arial";
};

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.golden;
}

class PrintedPages : public PrinterTest, public testing::WithParamInterface<Layout> {
protected:
    PrintedPages() {
        const Layout& layout = GetParam();
        options.m_bAddAttribute = 1;
        options.m_bAddDate = 1;
        options.m_bNoGrid = layout.noGrid;
        options.m_strFontName = layout.font;
        title.confirm = true;
        title.answer = {"LINE ONE", "LINE TWO", "LINE THREE"};
        doc.m_nTotalSize = 734003200;
        doc.m_nFiles = 1234;
        doc.m_nSubFolders = 56;
        Add("report.doc", 13312).m_ftLastWrite = FileTimeFromUnix(kPrintTime);
        Add("Photos", 734003200, true);
        AddFiles(layout.files);
    }

    // Each page's drawing under a line naming the page.
    std::string AllPages() {
        const int pages = StartJob(GetParam().printAs, GetParam().twoColumn);
        std::string drawing;
        for (int page = 1; page <= pages; ++page)
            drawing += "page " + std::to_string(page) + "\n" + Print(page).Describe();
        return drawing;
    }
};

TEST_P(PrintedPages, MatchGolden) {
    EXPECT_TRUE(
        MatchesGolden(std::string(GOLDEN_DIR) + "/" + GetParam().golden + ".txt", AllPages()));
}

INSTANTIATE_TEST_SUITE_P(Layouts, PrintedPages,
                         testing::Values(Layout{"standard", kPrintStandard, false, 148},
                                         Layout{"cd", kPrintCD, false, 28},
                                         Layout{"cd-no-grid", kPrintCD, false, 28, true,
                                                "Times New Roman"},
                                         Layout{"cd-two-column", kPrintCD, true, 56},
                                         Layout{"zip", kPrintZip, false, 67},
                                         Layout{"zip-two-column", kPrintZip, true, 86}),
                         [](const testing::TestParamInfo<Layout>& param) {
                             std::string name = param.param.golden;
                             std::erase(name, '-');
                             return name;
                         });

} // namespace
