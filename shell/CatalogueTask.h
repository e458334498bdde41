#pragma once

#include "catalogue/Catalogue.h"
#include "engine/Handles.h"

#include <QEvent>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// Runs one catalogue call at a time on a thread of its own, the catalogue opened there, so that
// a database that is slow or does not answer never holds the window up. Stop interrupts the
// call in flight; a new Start stops the previous call, whose thread is joined once it has
// ended; the task's destruction stops and joins them all, so no thread outlives its window. Every
// exception of the call becomes the error text of `finished`. A call's thread touches no Qt
// object: it leaves its outcome in the call and wakes the task's thread through an eventfd.
class CCatalogueTask final : public QObject {
    Q_OBJECT

public:
    // The call, given the open catalogue and the flag that Stop sets.
    using Work = std::function<void(ICatalogue& catalogue, const std::atomic<bool>& stopped)>;

    enum class Outcome { Done, Stopped, Failed };

    // Each call opens the catalogue for `use`: a look-up never makes one. With
    // `keepsServerCatalogue`, for a task that makes many calls in a row (the searches of Find), a
    // server's catalogue that a call opened and used to its end is kept open for the next call.
    explicit CCatalogueTask(CatalogueUse use, bool keepsServerCatalogue = false);
    ~CCatalogueTask() override;

    void Start(const std::string& location, Work work);
    // Starts the call and runs the event loop until it has ended; the error text goes to
    // `error` when it failed.
    Outcome Run(const std::string& location, Work work, std::string& error);
    // Interrupts the call in flight (harmless when there is none); it ends as Stopped.
    void Stop();
    // Closes the catalogue kept for the next call, if any.
    void CloseKeptCatalogue();
    bool Running() const;

signals:
    // On the task's (the GUI) thread once a call has ended; `error` is empty unless it failed.
    // Not emitted for a call that a new Start or the destruction stopped.
    void finished(CCatalogueTask::Outcome outcome, const QString& error);

private:
    struct Call;
    struct Kept;

    void Join();
    void Retire();
    void ReportEndedCall();

    CatalogueUse m_use;
    std::shared_ptr<Kept> m_kept; // none unless the task keeps a server's catalogue
    Descriptor m_wake;
    std::shared_ptr<Call> m_call;
    std::jthread m_thread;
    struct Retired {
        std::shared_ptr<Call> call;
        std::jthread thread;
    };
    std::vector<Retired> m_retired;
};

// Whether `type` is input from the user's mouse, keyboard or drags, other than a key press and a
// close, which a window that is busy with an operation takes to stop it.
bool IsInputToIgnoreWhileBusy(QEvent::Type type);

// While it lives, no window takes the user's input but Esc, which asks to stop, as closing a
// window does (the window stays): for a call that the user waits for.
class CInputGuard final : public QObject {
    Q_OBJECT

public:
    CInputGuard();
    ~CInputGuard() override;

signals:
    void stopAsked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
