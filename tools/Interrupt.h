#pragma once

// SIGINT and SIGTERM end ctlgrm at once: the named temporary file of a save under way is
// removed (an unnamed one goes with the process), the file it was to replace stays as it was,
// and the exit status is 128 + the signal's number (130, 143), as a shell reports it. Once a
// save has begun to put its file in the target's place, the run's output is there or about to
// be: a signal then changes nothing, and the run ends with its own status.
void InstallInterruptHandler();

// From now on SIGINT and SIGTERM are ignored: what the run has changed stays, and the run ends
// with its own status.
void IgnoreInterrupts();
