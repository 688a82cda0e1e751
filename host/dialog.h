// The configuration callback and its modal dialog over filterSettings.
#pragma once

#include "abi/vdfilter.h"
#include "platform/dialog_api.h"

// Stores the source width as the upper bound of the harmonics number, then
// runs dialog 101 modally over filterSettings, owned by `parent`. Returns 0
// after OK, -1 after Cancel or when the dialog cannot be created.
// On non-Windows builds `parent` is null or a ZeltDialogHost
// (platform/dialog_host.h).
VD_ENTRY int VDCALL filterConfigure(FilterActivation *fa, const FilterFunctions *ff, HWND parent);

// Handles the initialisation and the OK (id 1) and Cancel (id 2) commands and
// returns 1 for them; everything else returns 0.
VD_ENTRY INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
