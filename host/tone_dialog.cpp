#include "host/tone_dialog.h"

#include "host/numtext.h"
#include "host/spine.h"
#include "host/tone_resource.h"
#include "host/tone_settings.h"

namespace {

// Enough to tell tones a hundredth of a cycle apart, with room to spare.
const int kFreqDecimals = 4;

void showFreq(HWND dialog, int id, double value)
{
    char text[DIALOG_TEXT_SIZE];
    formatDecimalText(value, kFreqDecimals, text);
    SetDlgItemTextA(dialog, id, text);
}

int32_t readInt(HWND dialog, int id, int32_t lo, int32_t hi)
{
    const int32_t v = readIntItem(dialog, id);
    return v < lo ? lo : v > hi ? hi : v;
}

double readFreq(HWND dialog, int id)
{
    char text[DIALOG_TEXT_SIZE];
    GetDlgItemTextA(dialog, id, text, DIALOG_TEXT_SIZE);
    const double v = readDecimalText(text, nullptr);
    return v < 0.0 ? 0.0 : v > kToneFreqLimit ? kToneFreqLimit : v;
}

void initialise(HWND dialog)
{
    const ToneFilterSettings &s = toneFilterSettings;
    // A clear flag leaves the box as the template made it: unticked.
    if (s.autoDetect)
        CheckDlgButton(dialog, IDC_TONE_AUTO, BST_CHECKED);
    showIntItem(dialog, IDC_TONE_COUNT, s.toneCount);
    showFreq(dialog, IDC_TONE_MIN_FREQ, s.minFreq);
    showFreq(dialog, IDC_TONE_MAX_FREQ, s.maxFreq);
    char text[DIALOG_TEXT_SIZE];
    formatNumberListText(s.typed, s.typedCount, kFreqDecimals, text);
    SetDlgItemTextA(dialog, IDC_TONE_LIST, text);
    showIntItem(dialog, IDC_TONE_FLICKER, s.flickerStrength);
}

// Every value is brought into its range as it is stored, so that the record
// never holds what the stage could not take.
void accept(HWND dialog)
{
    ToneFilterSettings &s = toneFilterSettings;
    s.autoDetect = IsDlgButtonChecked(dialog, IDC_TONE_AUTO) == BST_CHECKED ? 1 : 0;
    s.toneCount = readInt(dialog, IDC_TONE_COUNT, 1, kToneMax);
    s.minFreq = readFreq(dialog, IDC_TONE_MIN_FREQ);
    s.maxFreq = readFreq(dialog, IDC_TONE_MAX_FREQ);
    char text[DIALOG_TEXT_SIZE];
    GetDlgItemTextA(dialog, IDC_TONE_LIST, text, DIALOG_TEXT_SIZE);
    // Every number of the text (each takes a digit and a separator), so that
    // the first kToneMax usable ones are kept whatever comes before them.
    double typed[DIALOG_TEXT_SIZE / 2];
    const int n = readNumberListText(text, typed, DIALOG_TEXT_SIZE / 2);
    s.typedCount = 0;
    for (int i = 0; i < n && s.typedCount < kToneMax; i++)
        if (typed[i] > 0.0 && typed[i] <= kToneFreqLimit)
            s.typed[s.typedCount++] = typed[i];
    s.flickerStrength = readInt(dialog, IDC_TONE_FLICKER, 0, 100);
}

}  // namespace

int VDCALL toneConfigure(FilterActivation *, const FilterFunctions *, HWND parent)
{
    return (int)DialogBoxParamA((HINSTANCE)moduleInstance, MAKEINTRESOURCEA(IDD_TONE_CONFIG), parent, toneDialogProc,
                                0);
}

INT_PTR CALLBACK toneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    return settingsDialogMessage(dialog, message, wParam, initialise, accept);
}
