// The tone module's configuration callback and its modal dialog over
// toneFilterSettings.
#pragma once

#include "abi/vdfilter.h"
#include "platform/dialog_api.h"

// Runs the tone dialog modally over toneFilterSettings, owned by `parent`.
// Returns 0 after OK, -1 after Cancel or when the dialog cannot be created.
// On non-Windows builds `parent` is null or a ZeltDialogHost
// (platform/dialog_host.h).
VD_ENTRY int VDCALL toneConfigure(FilterActivation *fa, const FilterFunctions *ff, HWND parent);

// Handles the initialisation and the OK (id 1) and Cancel (id 2) commands and
// returns 1 for them; everything else returns 0.
VD_ENTRY INT_PTR CALLBACK toneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
