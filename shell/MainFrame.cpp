#include "MainFrame.h"

#include "engine/Prompter.h"
#include "form/CatalogriumView.h"
#include "shell/CatalogueTask.h"
#include "shell/StartFolder.h"

#include <QApplication>
#include <QDropEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// The progress note repaints at most this often, whatever the pace of the operation.
constexpr qint64 kRefreshIntervalMs = 50;
// The bar starts this far right of the end of "Working...".
constexpr int kProgressGap = 200;
// The frame's top-left corner is placed as for a window of this size centred on the screen.
constexpr QSize kCentringSize{360, 250};

} // namespace

const QString CMainFrame::kIdleText = QStringLiteral("Ready");
const QString CMainFrame::kWorkingText = QStringLiteral("Working...");

CMainFrame::CMainFrame()
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint) {
    setWindowTitle(QString::fromLatin1(kAppTitle));
    CreateStatusBar();
    CreateMenus();
    CreateAccelerators();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateStatusBar() {
    m_wndMessage = new QLabel(kIdleText);
    m_wndMessage->setObjectName(QStringLiteral("messagePane"));
    statusBar()->addWidget(m_wndMessage, 1);
    statusBar()->setSizeGripEnabled(false);
}

void CMainFrame::SetView(CCatalogriumView* view) {
    m_pView = view;
    setCentralWidget(view);
    ConnectViewCommands();
    view->OnInitialUpdate();
    setFixedSize(sizeHint());
    CentreOnScreen();
    AcceptDroppedFolders();
}

// The frame takes every drop, also over the folder edit, which would otherwise paste the
// dragged URI as text.
void CMainFrame::AcceptDroppedFolders() {
    for (QWidget* child : findChildren<QWidget*>())
        child->setAcceptDrops(false);
    setAcceptDrops(true);
}

// Nothing is taken while a long operation runs: the Go sequence is reading the folder edit's
// path.
std::optional<std::string> CMainFrame::DroppedFolder(const QDropEvent& event) const {
    if (m_wndProgress || !event.mimeData()->hasUrls())
        return std::nullopt;
    std::vector<std::string> paths;
    for (const QUrl& url : event.mimeData()->urls())
        if (auto path = LocalPathOfUri(url.toEncoded().toStdString()))
            paths.push_back(std::move(*path));
    return FolderOfDroppedPaths(paths);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedFolder(*event))
        event->acceptProposedAction();
}

void CMainFrame::dragMoveEvent(QDragMoveEvent* event) {
    if (DroppedFolder(*event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    auto folder = DroppedFolder(*event);
    if (!folder) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_pView->SetFolder(std::move(*folder));
}

void CMainFrame::CentreOnScreen() {
    const QRect screenRect = screen()->geometry();
    move(screenRect.x() + (screenRect.width() - kCentringSize.width()) / 2,
         screenRect.y() + (screenRect.height() - kCentringSize.height()) / 2);
}

QString CMainFrame::StatusText() const {
    return m_wndMessage->text();
}

QRect CMainFrame::ProgressBarRect(const QString& text, int gap) const {
    QRect pane = m_wndMessage->geometry();
    pane.setLeft(pane.left() + QFontMetrics(statusBar()->font()).horizontalAdvance(text) + gap);
    return pane;
}

void CMainFrame::BeginProgress() {
    PlaceProgressBar(kWorkingText, kProgressGap);
    m_bReadyOwed = true;
    m_stopRequested = false;
    WatchInput(true);
    m_sinceRefresh.start();
    emit progressBegun();
}

void CMainFrame::PlaceProgressBar(const QString& text, int gap) {
    delete m_wndProgress;
    m_bar = BarState();
    m_bTextPending = false;
    ShowStatusText(text);
    m_wndProgress = new QProgressBar(statusBar());
    m_wndProgress->setObjectName(QStringLiteral("progressBar"));
    m_wndProgress->setTextVisible(false);
    m_wndProgress->setGeometry(ProgressBarRect(text, gap));
    RefreshNote();
    m_wndProgress->show();
    statusBar()->repaint();
}

void CMainFrame::ShowStatusText(const QString& text) {
    m_wndMessage->setText(text);
    m_wndMessage->repaint();
}

void CMainFrame::SetStatusText(const std::string& text) {
    m_pendingText = QString::fromStdString(text);
    m_bTextPending = true;
    RefreshNoteIfDue();
}

void CMainFrame::SetRange(int lower, int upper) {
    m_bar.lower = lower;
    m_bar.upper = upper;
    m_bar.position = std::clamp(m_bar.position, lower, std::max(lower, upper));
}

void CMainFrame::SetStep(int step) {
    m_bar.step = step;
}

// A step past the end starts the bar again from empty.
void CMainFrame::StepIt() {
    m_bar.position += m_bar.step;
    if (m_bar.position > m_bar.upper)
        m_bar.position = m_bar.lower;
    RefreshNoteIfDue();
}

void CMainFrame::RemoveProgress() {
    if (m_bTextPending) {
        ShowStatusText(m_pendingText);
        m_bTextPending = false;
    }
    delete m_wndProgress;
    m_wndProgress = nullptr;
    WatchInput(false);
    if (m_bReadyOwed)
        PostReturnToReady();
    if (std::exchange(m_bCloseOwed, false))
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CMainFrame::RequestStop() {
    if (std::exchange(m_stopRequested, true))
        return;
    emit stopRequested();
}

void CMainFrame::RemoveProgressSaying(const std::string& text) {
    m_bReadyOwed = false;
    m_bTextPending = false;
    RemoveProgress();
    ShowStatusText(QString::fromStdString(text));
}

bool CMainFrame::StopRequested() {
    RefreshNoteIfDue();
    return m_stopRequested;
}

// While the progress note is shown the window takes no input but Esc, which asks the
// operation to stop: a click or a key meant for the form would start a command in the middle
// of the scan.
void CMainFrame::WatchInput(bool watch) {
    if (watch == m_bWatchingInput)
        return;
    m_bWatchingInput = watch;
    if (watch)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

// A key from the window system comes to the frame's native window before any widget; one sent
// to a widget comes to the widget.
bool CMainFrame::IsInThisWindow(const QObject* receiver) const {
    if (receiver == windowHandle())
        return true;
    const auto* widget = qobject_cast<const QWidget*>(receiver);
    return widget && widget->window() == this;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && IsInThisWindow(watched))
            RequestStop();
        return true;
    case QEvent::Close:
        // Closing the window stops the operation; the window closes once it is over.
        if (watched != this)
            return false;
        m_bCloseOwed = true;
        RequestStop();
        return true;
    default:
        return IsInputToIgnoreWhileBusy(event->type()) || QMainWindow::eventFilter(watched, event);
    }
}

void CMainFrame::BeginWaitCursor() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void CMainFrame::EndWaitCursor() {
    QGuiApplication::restoreOverrideCursor();
}

// Repainting and handling the window's events for every entry would cost more than the scan:
// the note catches up at most every 50 ms. Of the user's input only Esc counts until the
// operation is over.
void CMainFrame::RefreshNoteIfDue() {
    if (m_sinceRefresh.isValid() && m_sinceRefresh.elapsed() < kRefreshIntervalMs)
        return;
    RefreshNote();
    QCoreApplication::processEvents(m_bWatchingInput ? QEventLoop::AllEvents
                                                     : QEventLoop::ExcludeUserInputEvents);
    m_sinceRefresh.start();
}

void CMainFrame::RefreshNote() {
    if (m_bTextPending) {
        m_wndMessage->setText(m_pendingText);
        m_bTextPending = false;
    }
    if (m_wndProgress) {
        // An empty range would make the bar a busy indicator.
        m_wndProgress->setRange(m_bar.lower, std::max(m_bar.upper, m_bar.lower + 1));
        m_wndProgress->setValue(m_bar.position);
    }
}

// "Ready" comes back once the event loop runs after the operation; a later operation that is
// still running when the call arrives owes it again when its bar goes.
void CMainFrame::PostReturnToReady() {
    QMetaObject::invokeMethod(this, &CMainFrame::ReturnToReady, Qt::QueuedConnection);
}

void CMainFrame::ReturnToReady() {
    if (m_wndProgress || !m_bReadyOwed)
        return;
    m_bReadyOwed = false;
    ShowStatusText(m_closingRemark.isEmpty() ? kIdleText : std::exchange(m_closingRemark, {}));
}

void CMainFrame::SayWhenIdle(const std::string& text) {
    if (!m_wndProgress && !m_bReadyOwed && m_wndMessage->text() == kIdleText)
        ShowStatusText(QString::fromStdString(text));
}

// The reading's remark waits for the end of the sort that follows it.
void CMainFrame::SetClosingRemark(const std::string& text) {
    m_closingRemark = QString::fromStdString(text);
}
