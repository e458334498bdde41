// The status bar's progress note as the scan and the sort drive it.
#include "AppFixture.h"

#include <QFontMetrics>
#include <QProgressBar>
#include <QStatusBar>

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
