// Loading a filter module and driving it exactly as the editor does:
// registration through the host's service table, configuration by playing
// the user in the module's own dialog, then start, one run per frame, end,
// and deinit at unload.
#pragma once

#include <string>
#include <vector>

#include "abi/vdfilter.h"
#include "cli/bitmap.h"

// One thing the user does in the dialog before pressing OK.
struct DialogAction {
    int id;            // control id
    bool isCheck;      // tick box (else: type text into an edit)
    bool checked;
    std::string text;
};

// The dialog's controls as they stand when the dialog opens.
struct DialogState {
    std::vector<std::pair<int, std::string>> texts;  // edits, in template order
    std::vector<std::pair<int, int>> checks;         // check boxes
    std::string text(int id) const;
    int checked(int id) const;  // -1 when there is no such box
};

// Resolve "zelt_lpf", "zelt" or a path to the module file: beside the
// quorvel binary first, then in the build tree it came from.
std::string findModule(const std::string &nameOrPath);

class LoadedModule {
public:
    LoadedModule() = default;
    ~LoadedModule();  // ends a run still under way and unloads
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    // dlopen and register. Errors: the file cannot be loaded, lacks the
    // entry points, or the module refuses registration. A module stays
    // mapped until the process ends: loading the same file again in one
    // process meets its process-wide state as the last run left it.
    bool load(const std::string &path, std::string &err);
    const char *filterName() const;

    // Open the dialog with src as the current source, do `actions`, press
    // OK. False when the dialog cannot be created or refuses an action.
    bool configure(HostBitmap &src, HostBitmap &dst, const std::vector<DialogAction> &actions, std::string &err);
    // Open the dialog, read every control, press Cancel.
    bool readDialog(HostBitmap &src, HostBitmap &dst, DialogState &state, std::string &err);

    bool start(HostBitmap &src, HostBitmap &dst, std::string &err);
    // One frame; false when the module reports a failure.
    bool run(HostBitmap &src, HostBitmap &dst, std::string &err);
    void end();
    void unload();

private:
    void activate(HostBitmap &src, HostBitmap &dst);
    bool playDialog(HostBitmap &src, HostBitmap &dst, void *script, std::string &err);

    void *handle_ = nullptr;
    FilterModuleDeinitProc deinit_ = nullptr;
    bool registered_ = false;
    bool started_ = false;
    std::string path_;
    VFBitmap srcVb_{}, dstVb_{};
    FilterActivation fa_{};
};

// The host's service table (shared by every module quorvel loads).
const FilterFunctions *hostFunctions();
