// Resource and control numbers of the configuration dialog. Read by the
// resource compiler (zelt.rc) and by the code.
#pragma once

#define IDD_CONFIG 101

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDC_SPIN_HARMONICS 1000
#define IDC_HARMONICS 1001
#define IDC_DISPLAY_SPECTRUM 1002
#define IDC_FREQ_RANGE 1003
#define IDC_LOG_SCALE 1004
#define IDC_NOTCH_ENABLE 1005
#define IDC_FULL_ENABLE 1006
#define IDC_MAIN_HARMONIC 1007
#define IDC_MAX_HARMONIC 1008
#define IDC_MIN_HARMONIC 1009
#define IDC_CURVE_AGGRESSION 1010
#define IDC_REJECTION_DB 1011
#define IDC_DC_AVERAGE 1012
#define IDC_DC_TEMPORAL 1013
#define IDC_ADJUST_BY_MUL 1014
