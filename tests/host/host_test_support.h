// A fake editor for the module tests: a service table that records
// registration. The frames come from tests/support.
#pragma once

#include <stdint.h>

#include "abi/vdfilter.h"

struct FakeHost {
    FilterFunctions ff{};
    FilterModule *module = nullptr;  // what the host passes to init
    bool refuse = false;             // addFilter returns null
    int addCalls = 0;
    int removeCalls = 0;
    FilterDefinition *added = nullptr;  // definition handed to addFilter
    int addedLength = 0;
    FilterModule *addedModule = nullptr;
    FilterDefinition handle{};  // the host's own copy, returned as the handle
    FilterDefinition *removed = nullptr;

    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost &) = delete;
    FakeHost &operator=(const FakeHost &) = delete;
};
