#pragma once

// SIGINT and SIGTERM end ctlgrm at once: the named temporary file of a save under way is
// removed (an unnamed one goes with the process), the file it was to replace stays as it was,
// and the exit status is 128 + the signal's number (130, 143), as a shell reports it.
void InstallInterruptHandler();
