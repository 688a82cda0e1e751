// The host's service table: the callbacks a module reaches through
// FilterFunctions. One table serves every module a program loads; what a
// module registers lands in the FilterModule record the host passed it.
#pragma once

#include <stdint.h>

#include "abi/vdfilter.h"

// The host's own record of one loaded module, handed to the module's init and
// deinit as its FilterModule. addFilter copies the definition into `def` and
// returns that copy as the handle, as the editor does; removeFilter takes it
// back. Register a record before init and drop it after deinit.
struct FilterModule {
    FilterDefinition def;
    int definitionLength;  // as passed to addFilter
    bool live;             // registered and not yet removed
    int registrations;     // addFilter calls accepted, in the record's life
};

const FilterFunctions *hostServices();

// The records addFilter and removeFilter may meet. Calls from one thread at
// a time, as everything in the host interface.
void hostAdoptModule(FilterModule *m);
void hostDropModule(FilterModule *m);

// Messages of the services (a module reporting an error) start with this
// name: the program's, so that the user sees who speaks. Default "host".
void setHostProgramName(const char *name);
