#include "Interrupt.h"

#include "ReplacingFile.h"

#include <csignal>
#include <unistd.h>

namespace {

// Only async-signal-safe calls.
void OnInterrupt(int signal) {
    RemovePendingTemporaryFile();
    ::_exit(128 + signal);
}

} // namespace

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    for (int signal : {SIGINT, SIGTERM})
        ::sigaction(signal, &action, nullptr);
}
