// The Win32 dialog calls a module's configuration dialog uses, on every
// platform. On Windows they are user32's; elsewhere they come from our
// in-memory dialog layer with the same names, types and results, so the
// module's dialog code is one and the same on both.
//
// Layer semantics (non-Windows), as user32's:
//   DialogBoxParamA   runs the dialog modally and returns the EndDialog value,
//                     or -1 when the dialog cannot be created (template not
//                     found, or no user: see platform/dialog_host.h).
//   SetDlgItemTextA   replaces a control's text; an edit sends EN_CHANGE.
//   GetDlgItemTextA   copies at most size - 1 characters plus a terminator;
//                     an unknown control gives the empty text and 0.
//   CheckDlgButton / IsDlgButtonChecked  check state, no notification.
//   EndDialog         marks the dialog ended with a value; the procedure's
//                     current message still completes.
#pragma once

#if defined(_WIN32)

#include <windows.h>

#else

#include <stddef.h>
#include <stdint.h>

#include "abi/vdfilter.h"  // HWND

#define CALLBACK
#define WINAPI

typedef void *HINSTANCE;
typedef unsigned int UINT;
typedef unsigned long DWORD;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t INT_PTR;
typedef int BOOL;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef void *LPVOID;
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define MAKEINTRESOURCEA(i) ((LPCSTR)(uintptr_t)(uint16_t)(i))
#define LOWORD(l) ((uint16_t)((uintptr_t)(l)&0xffff))
#define HIWORD(l) ((uint16_t)(((uintptr_t)(l) >> 16) & 0xffff))
#define MAKEWPARAM(lo, hi) ((WPARAM)(((uint32_t)(uint16_t)(lo)) | ((uint32_t)(uint16_t)(hi) << 16)))

enum : UINT {
    WM_NOTIFY = 0x004E,
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    WM_VSCROLL = 0x0115,
};
enum : unsigned { BN_CLICKED = 0, EN_CHANGE = 0x0300 };
enum : unsigned { SB_THUMBPOSITION = 4, SB_ENDSCROLL = 8 };
enum : UINT { BST_UNCHECKED = 0, BST_CHECKED = 1 };
enum : int { IDOK = 1, IDCANCEL = 2 };
enum : DWORD { DLL_PROCESS_DETACH = 0, DLL_PROCESS_ATTACH = 1 };
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL EndDialog(HWND dialog, INT_PTR result);

#endif
