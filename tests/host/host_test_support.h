// A fake editor for the module tests: a service table that records
// registration, and a dialog user made of a lambda. The frames come from
// tests/support.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

#include "abi/vdfilter.h"
#include "platform/dialog_host.h"

struct FakeHost {
    FilterFunctions ff{};
    FilterModule *module = nullptr;    // what the host passes to init
    bool refuse = false;               // addFilter returns null
    int addCalls = 0;
    int removeCalls = 0;
    FilterDefinition *added = nullptr; // definition handed to addFilter
    int addedLength = 0;
    FilterModule *addedModule = nullptr;
    FilterDefinition handle{};         // the host's own copy, returned as the handle
    FilterDefinition *removed = nullptr;

    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost &) = delete;
    FakeHost &operator=(const FakeHost &) = delete;
};

// Runs configProc with a user script; returns configProc's status.
using DialogScript = std::function<void(ZeltDialogUser *)>;
int runDialog(FilterConfigProc configProc, FilterActivation *fa, const FilterFunctions *ff, DialogScript script);

// The text of a control, read through the user's hands.
std::string controlText(ZeltDialogUser *u, int id);
