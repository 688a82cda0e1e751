// A small Windows host for the .vdf modules (32- and 64-bit), for tests under
// Wine (and on Windows): load a module by file, resolve its exports by name,
// register it through our own service table, make bottom-up bitmaps the way
// the editor does, call into a 32-bit module with a deliberately misaligned
// stack, and read the dialog templates of its resources.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "abi/vdfilter.h"

typedef BOOL(WINAPI *DllMainProc)(HINSTANCE, DWORD, LPVOID);

struct VdfModule {
    HMODULE dll = nullptr;
    FilterModuleInit2Proc init = nullptr;
    FilterModuleDeinitProc deinit = nullptr;
    DllMainProc dllMain = nullptr;  // exported as _DllMain@12 by 32-bit modules only
};

// Loads `path` and resolves the three exports; false and a message on failure.
bool loadVdf(const char *path, VdfModule *m, std::string *error);
void unloadVdf(VdfModule *m);

// Our side of the registration: addFilter keeps a copy of the definition (as
// the editor does) and hands out that copy as the handle, or refuses.
struct VdfHost {
    FilterFunctions ff{};
    bool refuse = false;
    int addCalls = 0, removeCalls = 0;
    int definitionLength = 0;
    FilterModule *module = nullptr;
    const FilterDefinition *original = nullptr;
    FilterDefinition copy{};
    FilterDefinition *removed = nullptr;

    VdfHost();
    ~VdfHost();
    VdfHost(const VdfHost &) = delete;
    VdfHost &operator=(const VdfHost &) = delete;
};

// Registers through init (called with a misaligned stack); returns init's
// status and the two out-values.
int registerVdf(const VdfModule &m, VdfHost &host, int *version, int *compatibility);

// A 32-bit bottom-up bitmap: memory row 0 is the bottom picture row, rows
// `pitch` bytes apart, size = pitch x h. Its vtable slot points at functions
// that fail the test if the module ever calls them.
struct Bitmap32 {
    std::vector<uint8_t> memory;
    VFBitmap bmp{};
    Bitmap32(int w, int h, int pitch);
    uint8_t *row(int r) { return memory.data() + (size_t)r * (size_t)bmp.pitch; }
    void fillPattern(uint32_t seed);
};
int vtableCalls();

// One frame's activation over a source and a destination.
struct Frame {
    Bitmap32 src, dst;
    FilterActivation fa{};
    Frame(int w, int h, int pitch);
};

// Calls a cdecl function with `count` pointer-sized arguments and the stack
// pointer 4 bytes off the 16-byte alignment GCC assumes at a call, as a host
// built with another compiler may. Returns the function's result. On x64
// (at most four arguments) the call is a plain one.
extern "C" uintptr_t callMisaligned(const void *fn, const uintptr_t *args, int count);
#if defined(__i386__)
// The stack pointer at the call of a function reached through callMisaligned
// (to prove the misalignment).
uintptr_t misalignedStackAtCall();
#endif

// A dialog template read back from a module's resources.
struct DialogItemData {
    int id;
    std::string className;  // standard classes by their lower-case names
    std::string text;
    uint32_t style;
    int x, y, cx, cy;
};
struct DialogData {
    uint32_t style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    bool hasMenu = false, hasClass = false;
    std::string caption, fontName;
    int pointSize = 0;
    std::vector<DialogItemData> items;
};
bool readDialogResource(HMODULE module, int id, DialogData *out, std::string *error);

// A window standing for the editor's main window, the owner of a module's
// dialog (its window class registered under `name`).
HWND createOwnerWindow(const char *name);

// Plays the user of a modal dialog: runs `config` (which opens the dialog,
// owned by `owner`, and returns when it closes) while a timer in the dialog's
// modal loop waits for the window captioned `caption` and then calls `act` on
// it once, so that the dialog procedure runs undisturbed between the user's
// actions. Returns config's result; *acted tells whether the dialog came.
// Ends the process after 20 s without it: nothing else could end the loop.
int playDialog(HWND owner, const char *caption, const std::function<int()> &config,
               const std::function<void(HWND)> &act, bool *acted);

// Minimal checks for tests without a framework: count failures, print where.
extern int checkFailures;
void checkTrue(bool ok, const char *what, const char *file, int line);
void checkEqual(long long a, long long b, const char *what, const char *file, int line);
void checkString(const std::string &a, const std::string &b, const char *what, const char *file, int line);
#define CHECK(cond) checkTrue((cond), #cond, __FILE__, __LINE__)
#define CHECK_EQ(a, b) checkEqual((long long)(a), (long long)(b), #a, __FILE__, __LINE__)
#define CHECK_STR(a, b) checkString((a), (b), #a, __FILE__, __LINE__)
