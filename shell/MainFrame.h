#pragma once

#include "engine/ProgressNote.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <optional>
#include <string>

class CCatalogriumView;
class QAction;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QProgressBar;

// The main window: a fixed-size frame fitted to the form, with the menu, the accelerator keys
// and a status bar of one message pane that also carries the progress note of the scan and
// the sort. The frame owns its menus, status bar and the view set with SetView (a child that
// goes with the frame).
class CMainFrame final : public QMainWindow, public IProgressNote {
    Q_OBJECT

public:
    CMainFrame();
    ~CMainFrame() override;

    // Makes `view` the frame's form, fits the frame to it and wires the commands to it.
    void SetView(CCatalogriumView* view);
    CCatalogriumView* View() const { return m_pView; }

    void BeginProgress() override;
    void SetStatusText(const std::string& text) override;
    void SetRange(int lower, int upper) override;
    void SetStep(int step) override;
    void StepIt() override;
    void RemoveProgress() override;
    // Removes the bar and leaves `text` in the message pane instead of "Ready".
    void RemoveProgressSaying(const std::string& text);
    // Shows `text` in the message pane in place of "Ready"; nothing while an operation runs or
    // its remark shows.
    void SayWhenIdle(const std::string& text);
    void SetClosingRemark(const std::string& text) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    // True once Esc was pressed in the window since the progress note was shown; handles the
    // window's pending events first (at most every 50 ms).
    bool StopRequested() override;

    // The text of the message pane as last shown.
    QString StatusText() const;
    // The progress bar while a long operation runs, else null.
    QProgressBar* ProgressBar() const { return m_wndProgress; }
    // The bar's position, which the widget shows at its next refresh.
    int ProgressPosition() const { return m_bar.position; }
    // Where the bar goes: from `gap` pixels right of the end of `text` to the right end of the
    // message pane, in the status bar's coordinates.
    QRect ProgressBarRect(const QString& text, int gap) const;

    // The status text shown when idle, and at the start of a long operation.
    static const QString kIdleText;
    static const QString kWorkingText;

signals:
    // A long operation showed the progress note.
    void progressBegun();
    // Esc was pressed, or the window was closed, while the progress note was shown (once for
    // each operation).
    void stopRequested();

protected:
    // A folder, or a file whose folder is taken, dropped anywhere on the window fills the
    // folder edit; a drop of nothing local is refused.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct BarState {
        int lower = 0;
        int upper = 100;
        int step = 10;
        int position = 0;
    };

    void CreateStatusBar();
    void CreateMenus();
    void CreateAccelerators();
    QAction* AddCommand(QMenu* menu, const QString& text, const char* name, const QString& tip);
    void ConnectViewCommands();
    void UpdateCommandStates();
    void OnAppAbout();
    void CentreOnScreen();
    void AcceptDroppedFolders();
    std::optional<std::string> DroppedFolder(const QDropEvent& event) const;

    void PlaceProgressBar(const QString& text, int gap);
    void ShowStatusText(const QString& text);
    void RefreshNoteIfDue();
    void RefreshNote();
    void WatchInput(bool watch);
    bool IsInThisWindow(const QObject* receiver) const;
    void RequestStop();
    void PostReturnToReady();
    void ReturnToReady();

    CCatalogriumView* m_pView = nullptr;
    QLabel* m_wndMessage = nullptr;
    QProgressBar* m_wndProgress = nullptr;
    BarState m_bar;
    QString m_pendingText;
    bool m_bTextPending = false;
    bool m_bReadyOwed = false;
    QString m_closingRemark; // shown instead of "Ready" when it comes back
    bool m_stopRequested = false;
    bool m_bCloseOwed = false;
    bool m_bWatchingInput = false;
    QElapsedTimer m_sinceRefresh;
    QMenu* m_pCommandMenu = nullptr;
    QAction* m_pPreviewAction = nullptr;
};
