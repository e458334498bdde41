// Measures drawing one page of a 100,000-entry Standard listing: page 1 against page 1000
// (a page must cost the same wherever it falls in the job), on the recording canvas (the
// listing code alone) and on a PDF writer (with Qt's text layout and PDF output).
//
//   catalogrium_print_bench [--benchmark_filter=...]

#include "engine/CatalogriumDoc.h"
#include "engine/ListingOptions.h"
#include "engine/ProgressNote.h"
#include "engine/Prompter.h"
#include "engine/TitlePrompter.h"
#include "print/ListingPrinter.h"
#include "print/PainterCanvas.h"
#include "tests/support/RecordingCanvas.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kEntries = 100000;

// Keeps the proposed title lines.
class ProposedTitle : public ITitlePrompter {
public:
    bool EditTitle(TitleLines&) override { return false; }
};

// A Standard job over a generated listing, sized and paginated as the view does it.
struct StandardJob {
    StandardJob() {
        options.m_nPrintAs = kPrintStandard;
        options.m_bAddDate = 1;
        options.m_bAddAttribute = 1;
        doc.SetOptions(&options);
        for (int i = 0; i < kEntries; ++i) {
            auto entry = std::make_unique<CFolderEntry>();
            entry->m_strName = "entry number " + std::to_string(i) + ".dat";
            entry->m_strShortName = entry->m_strName.substr(0, 11);
            entry->m_nSize = 1000ULL * static_cast<unsigned>(i);
            entry->m_dwAttributes = kAttrArchive;
            entry->m_ftLastWrite = FileTimeFromUnix(1700000000 + i);
            doc.m_entryList.push_back(std::move(entry));
        }
        printer.SizeJob("/srv/archive");
        printer.BuildPageTable();
    }

    CSilentPrompter prompter;
    CSilentProgressNote progress;
    ListingOptions options;
    CCatalogriumDoc doc{prompter, progress};
    ProposedTitle noTitle;
    CListingPrinter printer{doc, options, noTitle};
};

StandardJob& Job() {
    static StandardJob job;
    return job;
}

void BM_RecordPage(benchmark::State& state) {
    const int page = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CRecordingCanvas canvas;
        Job().printer.OnPrint(canvas, page);
        benchmark::DoNotOptimize(canvas.calls.data());
    }
}
BENCHMARK(BM_RecordPage)->Arg(1)->Arg(2)->Arg(1000)->Arg(1250);

void BM_PdfPage(benchmark::State& state) {
    const int page = static_cast<int>(state.range(0));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    QPainter painter(&writer);
    CPainterCanvas canvas(painter, writer);
    for (auto _ : state) {
        Job().printer.OnPrint(canvas, page);
        state.PauseTiming();
        writer.newPage();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PdfPage)->Arg(1)->Arg(2)->Arg(1000)->Arg(1250)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Job();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
