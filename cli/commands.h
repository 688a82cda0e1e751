// The commands of quorvel. Each returns the process exit status and prints
// its own messages ("quorvel: error: ..." on standard error, reportError).
#pragma once

#include "cli/options.h"
#include "cli/process_wide.h"

enum { EXIT_OK = 0, EXIT_FAILURE_RUN = 1, EXIT_USAGE = 2, EXIT_INTERRUPTED = 130 };

int runProcess(const Options &o);
int runAnalyse(const Options &o);
int runSample(const Options &o);
int runCompare(const Options &o);
