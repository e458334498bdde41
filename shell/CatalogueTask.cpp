#include "CatalogueTask.h"

#include "Catalogue.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QScopeGuard>

#include <mutex>

// What the GUI thread and the call's thread share. The catalogue is lent to Stop under the
// mutex, and taken back under it before it is closed.
struct CCatalogueTask::Call {
    std::mutex mutex;
    ICatalogue* catalogue = nullptr;
    std::atomic<bool> stopped = false;
    std::atomic<bool> running = true;

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

    Outcome Run(const std::string& location, CatalogueUse use, const Work& work,
                std::string& error) {
        try {
            const auto open = OpenCatalogue(location, use);
            Lend(open.get());
            const auto giveBack = qScopeGuard([this] { Lend(nullptr); });
            if (stopped)
                return Outcome::Stopped;
            work(*open, stopped);
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
};

CCatalogueTask::~CCatalogueTask() {
    Stop();
    Join();
}

void CCatalogueTask::Start(const std::string& location, Work work) {
    Stop();
    Retire();
    auto call = std::make_shared<Call>();
    m_call = call;
    QPointer<CCatalogueTask> self(this);
    m_thread = std::jthread([self, call, location, use = m_use, work = std::move(work)] {
        std::string error;
        const Outcome outcome = call->Run(location, use, work, error);
        call->running = false;
        // Posted to the GUI thread, which drops it when the task has gone or moved on.
        QMetaObject::invokeMethod(
            self.data(),
            [self, call, outcome, error = QString::fromStdString(error)] {
                if (self && self->m_call == call)
                    emit self->finished(outcome, error);
            },
            Qt::QueuedConnection);
    });
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
