// Loading a filter module and driving it as the editor does: registration
// through the host's service table, configuration by playing the user in the
// module's own dialog, then start, one run per frame, end, and deinit at
// unload.
#pragma once

#include <stdint.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "abi/vdfilter.h"
#include "hosting/bitmap.h"
#include "hosting/dialog.h"
#include "hosting/services.h"

// Makes a call into the module with `count` pointer-sized arguments and
// returns its result; the 32-bit test host's misaligned-stack caller has this
// shape. A void function's result is ignored.
typedef uintptr_t (*ModuleCaller)(const void *fn, const uintptr_t *args, int count);

struct LoadOptions {
    // Unmap the file at unload, so that a later load meets the module's
    // defaults again. The editor keeps a module mapped for the life of the
    // process (it may hold process-wide memory, the DC history, for as long),
    // and so does this host unless asked.
    bool closeOnUnload = false;

    // An instance with state of its own, beside other instances of the same
    // module in this process (a host that creates filter instances at will,
    // as frei0r's does, needs this). The modules keep their settings, tables
    // and DC history process-wide, so this takes a private mapping of the
    // module per instance: dlmopen into a new namespace, or a copy of the file
    // under a temporary name (LoadLibrary of a copy on Windows). Such a
    // mapping is closed at unload. A linked module cannot have one.
    bool privateState = false;

    // Every call into the module goes through it when set (init and deinit
    // included); plain calls otherwise.
    ModuleCaller caller = nullptr;
};

// The two exports of a module linked into the program itself.
struct ModuleEntryPoints {
    FilterModuleInit2Proc init;
    FilterModuleDeinitProc deinit;
};

// Whether `path` names a file this process can open for reading: the test
// every module lookup makes of its candidates.
bool isFile(const std::string &path);

// Resolve "zelt_lpf", "zelt", "zelt_tone" or a path to the module file: beside the running
// program first, then in the build tree it came from.
std::string findModule(const std::string &nameOrPath);

// One module, registered for as long as the object holds it. A module file
// (or linked module) is held by one LoadedModule at a time: its state is
// process-wide, so a second instance would share it (see privateState).
class LoadedModule {
public:
    LoadedModule() = default;
    ~LoadedModule();  // ends a run still under way and unloads
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    // Load the file and register. Errors: the file cannot be loaded, lacks
    // the entry points, is already held, or the module refuses registration.
    // Unless closeOnUnload, a module stays mapped until the process ends:
    // loading the same file again meets its state as the last run left it.
    bool load(const std::string &path, std::string &err, const LoadOptions &options = LoadOptions());
    // Register a module linked into this program (tests, benchmarks).
    bool link(const ModuleEntryPoints &entry, std::string &err, const LoadOptions &options = LoadOptions());
    // Ends a run under way and deinits. False when the module kept its
    // filter registered through deinit (it did not call removeFilter).
    bool unload();

    bool loaded() const { return record_.live; }
    // The definition as registered (the host's copy) and the service table
    // handed to every callback.
    const FilterDefinition &definition() const { return record_.def; }
    const FilterFunctions *functions() const { return hostServices(); }
    // The host's record of the registration (length, count, whether live).
    const FilterModule &record() const { return record_; }
    // What init wrote to its out-parameters.
    int version() const { return version_; }
    int compatibility() const { return compatibility_; }
    const char *filterName() const;

    // An activation over the given bitmaps, as the editor fills one.
    FilterActivation activation(VFBitmap *src, VFBitmap *dst) const;
    // The callbacks, called as they are, returning the module's status. The
    // caller keeps the order (start before run, end after); a callback the
    // module did not set returns 0 (run: -1).
    int callConfig(FilterActivation *fa, HWND parent) const;
    int callStart(FilterActivation *fa) const;
    int callRun(const FilterActivation *fa) const;
    int callEnd(FilterActivation *fa) const;

    // The editor's sequence over host bitmaps, with messages for quorvel: a
    // failed start is followed by its end, and unload ends a run under way.
    bool start(HostBitmap &src, HostBitmap &dst, std::string &err);
    // One frame; false when the module reports a failure.
    bool run(HostBitmap &src, HostBitmap &dst, std::string &err);
    void end();

#if !defined(_WIN32)
    // Through the module's dialog over the native dialog layer
    // (hosting/dialog.h): open it with src as the current source, do
    // `actions`, press OK. False when the dialog cannot be created or refuses
    // an action.
    bool configure(HostBitmap &src, HostBitmap &dst, const std::vector<DialogAction> &actions, std::string &err);
    // Open the dialog, read every control, press Cancel.
    bool readDialog(HostBitmap &src, HostBitmap &dst, DialogState &state, std::string &err);
#endif

private:
    bool attach(void *handle, const void *identity, FilterModuleInit2Proc init, FilterModuleDeinitProc deinit,
                const std::string &name, std::string &err, const LoadOptions &options);
    void activate(HostBitmap &src, HostBitmap &dst);
    uintptr_t viaCaller(const void *fn, std::initializer_list<uintptr_t> args) const;
    void callDeinit(FilterModuleDeinitProc deinit);

    FilterModule record_{};
    void *handle_ = nullptr;          // the loader's handle; null when linked
    const void *identity_ = nullptr;  // what makes two loads the same module
    FilterModuleDeinitProc deinit_ = nullptr;
    LoadOptions options_;
    int version_ = 0, compatibility_ = 0;
    bool started_ = false;
    std::string path_;
    std::string tempPath_;  // a private copy to delete at unload (Windows)
    VFBitmap srcVb_{}, dstVb_{};
    FilterActivation fa_{};
};
