#pragma once

#include <string>

// The progress note of the main window's status bar, as the scan and the sort drive it.
// A new bar has the range 0 to 100 and the step 10; a step past the end starts again from
// empty. The wait cursor brackets the long operations.
class IProgressNote {
public:
    virtual ~IProgressNote() = default;
    // Status text "Working..." and a new progress bar; the text returns to "Ready" once the
    // operation is over.
    virtual void BeginProgress() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetRange(int lower, int upper) = 0;
    virtual void SetStep(int step) = 0;
    virtual void StepIt() = 0;
    // Removes the bar; harmless when there is none.
    virtual void RemoveProgress() = 0;
    // A remark on what the operation found, shown in place of "Ready" once it is over.
    virtual void SetClosingRemark(const std::string&) {}
    virtual void BeginWaitCursor() {}
    virtual void EndWaitCursor() {}
    // True once the user asked to stop the operation (Esc in the window, a signal to ctlgrm).
    // The scan asks after every entry and at least every 25 ms while it waits for the walk, so
    // a window may handle its pending events here.
    virtual bool StopRequested() { return false; }
};

// A note that shows nothing (no window).
class CSilentProgressNote : public IProgressNote {
public:
    void BeginProgress() override {}
    void SetStatusText(const std::string&) override {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void StepIt() override {}
    void RemoveProgress() override {}
};
