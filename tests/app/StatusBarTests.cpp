// The status bar's progress note as the scan and the sort drive it.
#include "engine/FolderWalk.h"
#include "tests/app/AppFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

class StatusBarTest : public AppTest {};

TEST_F(StatusBarTest, BarStartsTwoHundredPixelsRightOfWorking) {
    Frame()->BeginProgress();
    QProgressBar* bar = Frame()->ProgressBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->parentWidget(), Frame()->statusBar());
    const QWidget* pane = Frame()->statusBar()->findChild<QWidget*>("messagePane");
    const int textWidth =
        QFontMetrics(Frame()->statusBar()->font()).horizontalAdvance("Working...");
    EXPECT_EQ(bar->geometry().left(), pane->geometry().left() + textWidth + 200);
    EXPECT_EQ(bar->geometry().right(), pane->geometry().right());
    EXPECT_EQ(Frame()->StatusText(), "Working...");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    Frame()->RemoveProgress();
    EXPECT_EQ(Frame()->ProgressBar(), nullptr);
}

TEST_F(StatusBarTest, StepPastTheEndStartsAgainFromEmpty) {
    Frame()->BeginProgress();
    for (int i = 0; i < 10; ++i)
        Frame()->StepIt();
    EXPECT_EQ(Frame()->ProgressPosition(), 100);
    Frame()->StepIt();
    EXPECT_EQ(Frame()->ProgressPosition(), 0);
    Frame()->StepIt();
    EXPECT_EQ(Frame()->ProgressPosition(), 10);
    // A smaller range (the sort's) holds the position inside it; steps of one then wrap.
    Frame()->SetRange(0, 3);
    Frame()->SetStep(1);
    EXPECT_EQ(Frame()->ProgressPosition(), 3);
    Frame()->StepIt();
    EXPECT_EQ(Frame()->ProgressPosition(), 0);
    Frame()->RemoveProgress();
}

TEST_F(StatusBarTest, ReadyComesBackOnceTheEventLoopRunsAfterTheOperation) {
    Frame()->BeginProgress();
    Frame()->SetStatusText("Sorting......");
    Frame()->RemoveProgress();
    EXPECT_EQ(Frame()->StatusText(), "Sorting......");
    // The scan is followed at once by the sort: "Ready" waits for the last bar to go.
    Frame()->BeginProgress();
    QCoreApplication::processEvents();
    EXPECT_EQ(Frame()->StatusText(), "Working...");
    Frame()->RemoveProgress();
    QCoreApplication::processEvents();
    EXPECT_EQ(Frame()->StatusText(), "Ready");
}

// The reading's remark stays once the sort after it is over, until the next operation ends.
TEST_F(StatusBarTest, ClosingRemarkTakesThePlaceOfReadyOnce) {
    Frame()->BeginProgress();
    Frame()->SetClosingRemark("2 entries could not be examined");
    Frame()->RemoveProgress();
    Frame()->BeginProgress();
    Frame()->SetStatusText("Sorting......");
    Frame()->RemoveProgress();
    QCoreApplication::processEvents();
    EXPECT_EQ(Frame()->StatusText(), "2 entries could not be examined");
    Frame()->BeginProgress();
    Frame()->RemoveProgress();
    QCoreApplication::processEvents();
    EXPECT_EQ(Frame()->StatusText(), "Ready");
}

TEST_F(StatusBarTest, GoShowsTheNoteAndEndsReady) {
    folder.WriteFile("a", "1");
    TypeFolder(folder.str());
    QSignalSpy begun(Frame(), &CMainFrame::progressBegun);
    ClickGo();
    EXPECT_EQ(begun.count(), 2); // scan and sort
    EXPECT_EQ(Frame()->ProgressBar(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(Frame()->StatusText(), "Ready");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Makes each folder read take 200 ms, so that a scan of a few dozen folders lasts seconds.
class SlowSink : public ITreeSink {
public:
    std::uint64_t OnFolder(const TreeFolder&) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return 0;
    }
};

// Presses Esc as the window system delivers it, 100 ms into the first long operation; the
// timer starts with the key.
static void PressEscDuringTheFirstOperation(CMainFrame* frame, QElapsedTimer& sinceEsc) {
    auto first = std::make_shared<bool>(true);
    QObject::connect(frame, &CMainFrame::progressBegun, frame, [frame, first, &sinceEsc] {
        if (!std::exchange(*first, false))
            return;
        QTimer::singleShot(100, frame, [frame, &sinceEsc] {
            sinceEsc.start();
            QTest::keyClick(frame->windowHandle(), Qt::Key_Escape);
        });
    });
}

TEST_F(StatusBarTest, EscStopsAReadingAndTheNextGoReadsAgain) {
    for (int i = 0; i < 40; ++i)
        folder.WriteFile("f" + std::to_string(i) + "/deeper/file", "12345");
    SlowSink slow;
    Doc().SetFolderSink(&slow);
    TypeFolder(folder.str());
    dialogs.acceptPrint = false;
    QElapsedTimer sinceEsc;
    PressEscDuringTheFirstOperation(Frame(), sinceEsc);
    ClickGo();
    ASSERT_TRUE(sinceEsc.isValid());
    std::printf("Esc to the end of the reading: %lld ms\n",
                static_cast<long long>(sinceEsc.elapsed()));
    // The whole walk would take 8 s.
    EXPECT_LT(sinceEsc.elapsed(), 4000);
    EXPECT_EQ(Readings(), 0);
    EXPECT_TRUE(Doc().m_entryList.empty());
    EXPECT_TRUE(Doc().m_scanList.empty());
    EXPECT_TRUE(dialogs.printDialogPages.empty());
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(Frame()->ProgressBar(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(Frame()->StatusText(), "Ready");
    EXPECT_EQ(Frame()->windowTitle(), "Catalogrium3");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Going back to the same folder reads it again, in full.
    Doc().SetFolderSink(nullptr);
    ClickGo();
    EXPECT_EQ(Doc().m_entryList.size(), 40u);
    EXPECT_EQ(Doc().m_nFiles, 40);
    EXPECT_EQ(dialogs.printDialogPages.size(), 1u);
}

TEST_F(StatusBarTest, ClosingTheWindowStopsAReadingAndClosesItAfter) {
    for (int i = 0; i < 40; ++i)
        folder.WriteFile("f" + std::to_string(i) + "/deeper/file", "12345");
    SlowSink slow;
    Doc().SetFolderSink(&slow);
    TypeFolder(folder.str());
    QObject::connect(Frame(), &CMainFrame::progressBegun, Frame(),
                     [this] { QTimer::singleShot(100, Frame(), [this] { Frame()->close(); }); });
    QElapsedTimer reading;
    reading.start();
    ClickGo();
    EXPECT_LT(reading.elapsed(), 4000);
    EXPECT_TRUE(Doc().m_entryList.empty());
    EXPECT_TRUE(dialogs.printDialogPages.empty());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !Frame()->isVisible(); }, 2000));
}
