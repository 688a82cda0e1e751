// Resource and control numbers of the tone module's configuration dialog.
// Read by the resource compiler (zelt_tone.rc) and by the code. The control
// numbers differ from the transform dialog's, so that a script written for
// one dialog finds no control of the other.
#pragma once

#define IDD_TONE_CONFIG 101

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDC_TONE_AUTO 1101
#define IDC_TONE_COUNT 1102
#define IDC_TONE_MIN_FREQ 1103
#define IDC_TONE_MAX_FREQ 1104
#define IDC_TONE_LIST 1105
#define IDC_TONE_FLICKER 1106
