#include "CatalogueTask.h"

#include "catalogue/Catalogue.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QSocketNotifier>

#include <cerrno>
#include <mutex>
#include <system_error>

#include <sys/eventfd.h>

// The catalogue that a call of the task opened, kept for its next call. Opening a server's
// catalogue costs a connection, for which the server starts a process whose caches start cold:
// more than a search takes to find its first matches. A file's opens in well under a
// millisecond, and is opened anew for each call, so that a file replaced meanwhile is the one
// read.
struct CCatalogueTask::Kept {
    std::unique_ptr<ICatalogue> Take(const std::string& at) {
        std::lock_guard lock(mutex);
        return at == location ? std::move(catalogue) : nullptr;
    }
    // The catalogue kept before is closed, outside the lock.
    void Keep(const std::string& at, std::unique_ptr<ICatalogue> open) {
        if (!IsServerLocation(at))
            return;
        std::lock_guard lock(mutex);
        if (!closed) {
            location = at;
            std::swap(catalogue, open);
        }
    }
    // Until the next call is started, a call that ends keeps nothing.
    void Close() {
        std::unique_ptr<ICatalogue> dropped;
        std::lock_guard lock(mutex);
        closed = true;
        std::swap(catalogue, dropped);
    }
    void Reopen() {
        std::lock_guard lock(mutex);
        closed = false;
    }

    std::mutex mutex;
    std::string location;
    std::unique_ptr<ICatalogue> catalogue;
    bool closed = false;
};

// What the GUI thread and the call's thread share. The catalogue is lent to Stop under the
// mutex, and taken back under it before it is closed. The outcome and the error are written
// before `running` falls, and read only after it has.
struct CCatalogueTask::Call {
    std::mutex mutex;
    ICatalogue* catalogue = nullptr;
    std::atomic<bool> stopped = false;
    std::atomic<bool> running = true;
    Outcome outcome = Outcome::Failed;
    std::string error;
    bool reported = false; // the GUI thread's alone

    void Interrupt() {
        std::lock_guard lock(mutex);
        stopped = true;
        if (catalogue)
            catalogue->Interrupt();
    }
    void Lend(ICatalogue* open) {
        std::lock_guard lock(mutex);
        catalogue = open;
    }

    // On the call's thread. The work, and all that it holds, is gone before the GUI thread
    // is woken.
    void Run(const std::string& location, CatalogueUse use, Work work, Kept* kept, int wake) {
        outcome = Attempt(location, use, std::move(work), kept);
        running = false;
        eventfd_write(wake, 1);
    }

    // A catalogue is kept only when the call was never stopped: one that Stop reached may hold
    // an interruption for its next call.
    Outcome Attempt(const std::string& location, CatalogueUse use, Work work, Kept* kept) {
        try {
            std::unique_ptr<ICatalogue> open = kept ? kept->Take(location) : nullptr;
            if (!open)
                open = OpenCatalogue(location, use);
            if (!RunLent(*open, work))
                return Outcome::Stopped;
            if (kept && !stopped)
                kept->Keep(location, std::move(open));
            return Outcome::Done;
        } catch (const CatalogueInterrupted&) {
            return Outcome::Stopped;
        } catch (const std::exception& e) {
            error = e.what();
        } catch (...) {
            error = "The catalogue failed for a reason it did not give.";
        }
        return Outcome::Failed;
    }

    // Runs the work with the catalogue lent to Stop; false when Stop came before it began.
    bool RunLent(ICatalogue& open, Work& work) {
        Lend(&open);
        const auto giveBack = qScopeGuard([this] { Lend(nullptr); });
        if (stopped)
            return false;
        work(open, stopped);
        return true;
    }
};

CCatalogueTask::CCatalogueTask(CatalogueUse use, bool keepsServerCatalogue)
    : m_use(use), m_kept(keepsServerCatalogue ? std::make_shared<Kept>() : nullptr),
      m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!m_wake.IsOpen())
        throw std::system_error(errno, std::generic_category(), "eventfd");
    auto* notifier = new QSocketNotifier(m_wake.Get(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &CCatalogueTask::ReportEndedCall);
}

CCatalogueTask::~CCatalogueTask() {
    Stop();
    Join();
}

void CCatalogueTask::Start(const std::string& location, Work work) {
    Stop();
    Retire();
    if (m_kept)
        m_kept->Reopen();
    auto call = std::make_shared<Call>();
    m_call = call;
    m_thread = std::jthread([call, location, use = m_use, kept = m_kept, wake = m_wake.Get(),
                             work = std::move(work)]() mutable {
        call->Run(location, use, std::move(work), kept.get(), wake);
    });
}

// Every call's end wakes the task, a stopped or replaced call's too; only the current call's
// is reported, once.
void CCatalogueTask::ReportEndedCall() {
    eventfd_t ends = 0;
    eventfd_read(m_wake.Get(), &ends);
    if (!m_call || m_call->running || m_call->reported)
        return;
    m_call->reported = true;
    emit finished(m_call->outcome, QString::fromStdString(m_call->error));
}

CCatalogueTask::Outcome CCatalogueTask::Run(const std::string& location, Work work,
                                            std::string& error) {
    QEventLoop loop;
    Outcome result = Outcome::Failed;
    const auto connection =
        connect(this, &CCatalogueTask::finished, &loop, [&](Outcome outcome, const QString& text) {
            result = outcome;
            error = text.toStdString();
            loop.quit();
        });
    Start(location, std::move(work));
    loop.exec();
    disconnect(connection);
    Join();
    return result;
}

void CCatalogueTask::Stop() {
    if (m_call)
        m_call->Interrupt();
}

void CCatalogueTask::CloseKeptCatalogue() {
    if (m_kept)
        m_kept->Close();
}

bool CCatalogueTask::Running() const {
    return m_call && m_call->running;
}

void CCatalogueTask::Join() {
    if (m_thread.joinable())
        m_thread.join();
    for (Retired& retired : m_retired)
        retired.thread.join();
    m_retired.clear();
}

// A stopped call that is still waiting to connect would hold the window up until the
// connection times out: its thread is joined once it has ended, at a later Start, or at the
// latest with the task.
void CCatalogueTask::Retire() {
    if (m_thread.joinable())
        m_retired.push_back({m_call, std::move(m_thread)});
    std::erase_if(m_retired, [](Retired& retired) {
        if (retired.call->running)
            return false;
        retired.thread.join();
        return true;
    });
}

CInputGuard::CInputGuard() {
    QCoreApplication::instance()->installEventFilter(this);
}

bool IsInputToIgnoreWhileBusy(QEvent::Type type) {
    switch (type) {
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

CInputGuard::~CInputGuard() {
    QCoreApplication::instance()->removeEventFilter(this);
}

bool CInputGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            emit stopAsked();
        return true;
    case QEvent::Close:
        emit stopAsked();
        event->ignore();
        return true;
    default:
        return IsInputToIgnoreWhileBusy(event->type()) || QObject::eventFilter(watched, event);
    }
}
