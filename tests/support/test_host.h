// The editor for tests that link a module into the test program (its
// <name>_module library): the module registered through the hosting library
// as a loaded one would be, its callbacks called through the definition it
// registered, and its dialog played by a script.
#pragma once

#include <string>

#include "hosting/dialog.h"
#include "hosting/module.h"

class TestHost {
public:
    // Registers the linked module; ok() tells whether it worked, error() why not.
    TestHost();
    ~TestHost() = default;
    TestHost(const TestHost &) = delete;
    TestHost &operator=(const TestHost &) = delete;

    bool ok() const { return module_.loaded(); }
    const std::string &error() const { return error_; }
    LoadedModule &module() { return module_; }
    const FilterDefinition &definition() const { return module_.definition(); }

    FilterActivation activation(VFBitmap *src, VFBitmap *dst) const { return module_.activation(src, dst); }
    int start(FilterActivation *fa) const { return module_.callStart(fa); }
    int run(const FilterActivation *fa) const { return module_.callRun(fa); }
    int end(FilterActivation *fa) const { return module_.callEnd(fa); }
#if !defined(_WIN32)
    // configProc over `fa` (whose source width bounds the harmonics number)
    // with `script` as the user; returns configProc's status.
    int dialog(FilterActivation *fa, DialogScript script) const;
#endif

private:
    LoadedModule module_;
    std::string error_;
};
