#include "host/spine.h"

#include "host/numtext.h"

#include <string.h>

#include "platform/dialog_template.h"

FilterDefinition *filterHandle = nullptr;
HINSTANCE moduleInstance = nullptr;
uint8_t startGuard = 0;

namespace {

// The activation whose start took the guard, and one whose start was refused
// while that run was under way (see releaseStartGuard).
const FilterActivation *runOwner = nullptr;
const FilterActivation *refusedActivation = nullptr;

}  // namespace

#if !defined(_WIN32)
// The dialog layer finds the module's dialog through its instance handle, as
// user32 does; here the handle points at the resource table generated from
// the module's .rc. No loader calls DllMain on these platforms, so the module
// attaches itself when it is loaded.
extern const ModuleResources moduleResources;

__attribute__((constructor)) static void attachModule()
{
    DllMain((HINSTANCE)&moduleResources, DLL_PROCESS_ATTACH, nullptr);
}
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        moduleInstance = instance;
    return TRUE;
}

extern "C" int VDCALL VirtualdubFilterModuleInit2(FilterModule *fm, const FilterFunctions *ff, int *version,
                                                  int *compatibility)
{
    filterHandle = ff->addFilter(fm, &filterDefinition, VD_FILTER_DEFINITION_SIZE);
    if (!filterHandle)
        return 1;
    *version = VD_FILTER_VERSION;
    *compatibility = VD_FILTER_COMPATIBILITY;
    return 0;
}

extern "C" void VDCALL VirtualdubFilterModuleDeinit(FilterModule *, const FilterFunctions *ff)
{
    // Nothing to give back after a refused registration, or twice.
    if (!filterHandle)
        return;
    ff->removeFilter(filterHandle);
    filterHandle = nullptr;
}

bool takeStartGuard(const FilterActivation *fa)
{
    if (startGuard != 0) {
        if (fa != runOwner)
            refusedActivation = fa;
        return false;
    }
    startGuard = 1;
    runOwner = fa;
    refusedActivation = nullptr;
    return true;
}

bool releaseStartGuard(const FilterActivation *fa)
{
    // The host keeps no per-instance data, so instances are told apart by
    // their activation: an end from the one whose start was refused must not
    // release the guard or free the state of the run still under way.
    if (startGuard != 0 && fa != runOwner && fa == refusedActivation) {
        refusedActivation = nullptr;
        return false;
    }
    // An end without any run under way leaves the guard at 0 instead of
    // wrapping it round (which would refuse every later start).
    if (startGuard != 0)
        startGuard--;
    if (startGuard == 0)
        runOwner = refusedActivation = nullptr;
    return true;
}

void copySourceToDestination(const VFBitmap &src, const VFBitmap &dst)
{
    if (!src.data || !dst.data)
        return;
    if (src.pitch > 0 && src.pitch == dst.pitch) {
        const vd_sizet bytes = src.size < dst.size ? src.size : dst.size;
        if (bytes > 0)
            memmove(dst.data, src.data, (size_t)bytes);
        return;
    }
    const int w = src.w < dst.w ? src.w : dst.w;
    const int h = src.h < dst.h ? src.h : dst.h;
    if (w <= 0 || h <= 0)
        return;
    for (int r = 0; r < h; r++)
        memmove((uint8_t *)dst.data + (ptrdiff_t)r * dst.pitch, (const uint8_t *)src.data + (ptrdiff_t)r * src.pitch,
                (size_t)w * 4);
}

INT_PTR settingsDialogMessage(HWND dialog, UINT message, WPARAM wParam, void (*initialise)(HWND),
                              void (*accept)(HWND))
{
    switch (message) {
    case WM_INITDIALOG: initialise(dialog); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            accept(dialog);
            EndDialog(dialog, 0);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, -1); return TRUE;
        }
        break;
    }
    return FALSE;
}

void showIntItem(HWND dialog, int id, int32_t value)
{
    char text[DIALOG_TEXT_SIZE];
    formatIntText(value, text);
    SetDlgItemTextA(dialog, id, text);
}

int32_t readIntItem(HWND dialog, int id)
{
    char text[DIALOG_TEXT_SIZE];
    GetDlgItemTextA(dialog, id, text, DIALOG_TEXT_SIZE);
    return readIntText(text);
}
