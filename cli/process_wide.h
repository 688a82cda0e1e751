// What belongs to the whole quorvel process rather than to one command:
// interruption by signals and the form of error messages.
#pragma once

#include <string>

// Set by SIGINT/SIGTERM; long loops stop at the next frame and clean up.
bool interruptRequested();
void installInterruptHandlers();

// "quorvel: error: <message>" on standard error.
void reportError(const std::string &message);
