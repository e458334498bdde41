#include "Interrupt.h"

#include "engine/ReplacingFile.h"

#include <csignal>
#include <unistd.h>

namespace {

// Only async-signal-safe calls.
void OnInterrupt(int signal) {
    if (AnySaveReachedItsTarget())
        return;
    RemovePendingTemporaryFile();
    ::_exit(128 + signal);
}

void HandleInterruptsWith(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    // A call that a signal interrupts on its way to its end goes on as if nothing came.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    for (int signal : {SIGINT, SIGTERM})
        ::sigaction(signal, &action, nullptr);
}

} // namespace

void InstallInterruptHandler() {
    HandleInterruptsWith(OnInterrupt);
}

void IgnoreInterrupts() {
    HandleInterruptsWith(SIG_IGN);
}
