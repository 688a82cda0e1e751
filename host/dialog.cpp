#include "host/dialog.h"

#include "host/module.h"
#include "host/numtext.h"
#include "host/resource.h"
#include "host/settings.h"

namespace {

void tick(HWND dialog, int id, uint8_t flag)
{
    // A clear flag leaves the box as the template made it: unticked.
    if (flag)
        CheckDlgButton(dialog, id, BST_CHECKED);
}

uint8_t ticked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0;
}

void initialise(HWND dialog)
{
    FilterSettings &s = filterSettings;
    char text[DIALOG_TEXT_SIZE];
    showIntItem(dialog, IDC_MAIN_HARMONIC, s.mainHarmonic);
    showIntItem(dialog, IDC_MIN_HARMONIC, s.minHarmonic);
    showIntItem(dialog, IDC_MAX_HARMONIC, s.maxHarmonic);
    formatFloatText(s.curveAggression, text);
    SetDlgItemTextA(dialog, IDC_CURVE_AGGRESSION, text);
    showIntItem(dialog, IDC_REJECTION_DB, s.rejectionDb);
    tick(dialog, IDC_NOTCH_ENABLE, s.notchEnabled);
    showIntItem(dialog, IDC_HARMONICS, s.harmonicsNumber);
    tick(dialog, IDC_DISPLAY_SPECTRUM, s.displaySpectrum);
    // From the stored number, not from the edit: the estimate is filled once.
    formatFrequencyRange(s.harmonicsNumber, text);
    SetDlgItemTextA(dialog, IDC_FREQ_RANGE, text);
    tick(dialog, IDC_FULL_ENABLE, s.fullProcessing);
    tick(dialog, IDC_DC_AVERAGE, s.dcAverage);
    tick(dialog, IDC_DC_TEMPORAL, s.dcTemporal);
}

// Every value is stored as soon as it is read.
void accept(HWND dialog)
{
    FilterSettings &s = filterSettings;
    char text[DIALOG_TEXT_SIZE];
    s.displaySpectrum = ticked(dialog, IDC_DISPLAY_SPECTRUM);
    s.harmonicsNumber = readIntItem(dialog, IDC_HARMONICS);
    if (s.harmonicsNumber > s.harmonicsLimit)
        s.harmonicsNumber = s.harmonicsLimit;
    s.fullProcessing = ticked(dialog, IDC_FULL_ENABLE);
    s.mainHarmonic = readIntItem(dialog, IDC_MAIN_HARMONIC);
    s.minHarmonic = readIntItem(dialog, IDC_MIN_HARMONIC);
    s.maxHarmonic = readIntItem(dialog, IDC_MAX_HARMONIC);
    GetDlgItemTextA(dialog, IDC_CURVE_AGGRESSION, text, DIALOG_TEXT_SIZE);
    s.curveAggression = readFloatText(text);
    s.rejectionDb = readIntItem(dialog, IDC_REJECTION_DB);
    s.notchEnabled = ticked(dialog, IDC_NOTCH_ENABLE);
    s.dcAverage = ticked(dialog, IDC_DC_AVERAGE);
    s.dcTemporal = ticked(dialog, IDC_DC_TEMPORAL);
}

}  // namespace

int VDCALL filterConfigure(FilterActivation *fa, const FilterFunctions *, HWND parent)
{
    filterSettings.harmonicsLimit = fa && fa->src ? fa->src->w : 0;
    return (int)DialogBoxParamA((HINSTANCE)moduleInstance, MAKEINTRESOURCEA(IDD_CONFIG), parent, configDialogProc, 0);
}

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return settingsDialogMessage(dialog, message, wParam, initialise, accept);
}
