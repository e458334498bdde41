#pragma once

#include "engine/CatalogriumDoc.h"
#include "engine/ListingOptions.h"
#include "engine/ProgressNote.h"
#include "engine/TitlePrompter.h"
#include "print/ListingPrinter.h"
#include "tests/support/Recorders.h"
#include "tests/support/RecordingCanvas.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A title prompter that records what it was shown and answers as told.
class FixedTitlePrompter : public ITitlePrompter {
public:
    bool EditTitle(TitleLines& lines) override {
        shown.push_back(lines);
        if (confirm)
            lines = answer;
        return confirm;
    }
    std::vector<TitleLines> shown;
    bool confirm = false;
    TitleLines answer;
};

// 7 December 2026, 17:05:09 UTC (the tests run in UTC).
inline constexpr std::time_t kPrintTime = 1796663109;

// A document with a listing, the options, a printer wired to both and a recording canvas.
class PrinterTest : public testing::Test {
protected:
    PrinterTest() {
        doc.SetOptions(&options);
        doc.SetClock([] { return kPrintTime; });
    }

    CFolderEntry& Add(const std::string& name, std::uint64_t size = 0, bool isFolder = false) {
        auto entry = std::make_unique<CFolderEntry>();
        entry->m_strName = name;
        entry->m_strShortName = name.substr(0, 11);
        entry->m_nSize = size;
        entry->m_dwAttributes = isFolder ? kAttrFolder : kAttrArchive;
        doc.m_entryList.push_back(std::move(entry));
        return *doc.m_entryList.back();
    }
    void AddFiles(int count) {
        for (int i = 0; i < count; ++i)
            Add("file" + std::to_string(i), 2048);
    }
    // Sizes the job of `folder` and builds its page table, as the view does before printing;
    // returns the page count.
    int StartJob(int printAs, bool twoColumn = false) {
        options.m_nPrintAs = printAs;
        options.m_bTwoColumn = twoColumn;
        const int pages = printer.SizeJob(folder);
        printer.BuildPageTable();
        return pages;
    }
    // Draws one page on a fresh recording canvas.
    const CRecordingCanvas& Print(int page) {
        canvas = CRecordingCanvas();
        printer.OnPrint(canvas, page);
        return canvas;
    }
    // The y of every text drawn at `x`, in order.
    std::vector<int> RowsAt(int x) const {
        std::vector<int> rows;
        for (const auto& call : canvas.Texts())
            if (call.x1 == x)
                rows.push_back(call.y1);
        return rows;
    }
    std::vector<std::string> TextsAt(int x) const {
        std::vector<std::string> texts;
        for (const auto& call : canvas.Texts())
            if (call.x1 == x)
                texts.push_back(call.text);
        return texts;
    }

    RecordingPrompter prompter;
    CSilentProgressNote progress;
    CCatalogriumDoc doc{prompter, progress};
    ListingOptions options;
    FixedTitlePrompter title;
    std::string folder = "/home/user/music";
    CListingPrinter printer{doc, options, title};
    CRecordingCanvas canvas;
};
