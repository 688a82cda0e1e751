// What belongs to the whole quorvel process rather than to one command.
#include "cli/process_wide.h"

#include <signal.h>
#include <stdio.h>

#include <atomic>

namespace {

// Set by the handler on whichever thread the signal lands, read by all.
std::atomic<int> interruptFlag{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

void onSignal(int)
{
    interruptFlag.store(1);
}

}  // namespace

bool interruptRequested()
{
    return interruptFlag.load() != 0;
}

void installInterruptHandlers()
{
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void reportError(const std::string &message)
{
    fprintf(stderr, "quorvel: error: %s\n", message.c_str());
}
