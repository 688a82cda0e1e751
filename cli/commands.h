// The commands of quorvel. Each returns the process exit status and prints
// its own messages ("quorvel: error: ..." on standard error).
#pragma once

#include "cli/options.h"

enum { EXIT_OK = 0, EXIT_FAILURE_RUN = 1, EXIT_USAGE = 2, EXIT_INTERRUPTED = 130 };

int runProcess(const Options &o);
int runAnalyse(const Options &o);
int runSample(const Options &o);
int runCompare(const Options &o);

// Set by SIGINT/SIGTERM; long loops stop at the next frame and clean up.
bool interruptRequested();
void installInterruptHandlers();

// "quorvel: error: <message>" on standard error.
void reportError(const std::string &message);
