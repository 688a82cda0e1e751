// The settings of a module as frei0r parameters and `settings` words.
#include "frei0r/settings_words.h"

#include <errno.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/resource.h"

namespace {

// zelt_lpf and zelt share one dialog. Harmonic numbers span 0..1000 so that
// a typed value reads as thousandths (0.01 = 10 harmonics).
const SettingWord transformSettings[] = {
    {"display", "display", IDC_DISPLAY_SPECTRUM, SettingWord::FLAG, 0, 1,
     "Replace the picture with its spectrum (diagnostic)"},
    {"harmonics", "harmonics", IDC_HARMONICS, SettingWord::INT, 0, 1000,
     "Harmonics number for full processing and the display: 0..1 maps to 0..1000 (value x 1000), "
     "capped at the frame width"},
    {"notch", "notch", IDC_NOTCH_ENABLE, SettingWord::FLAG, 0, 1, "Enable the notch filter"},
    {"min", "min harmonic", IDC_MIN_HARMONIC, SettingWord::INT, 0, 1000,
     "First harmonic of the notch band: 0..1 maps to 0..1000 (value x 1000)"},
    {"max", "max harmonic", IDC_MAX_HARMONIC, SettingWord::INT, 0, 1000,
     "End of the notch band, not included: 0..1 maps to 0..1000 (value x 1000)"},
    {"main", "main harmonic", IDC_MAIN_HARMONIC, SettingWord::INT, 0, 1000,
     "Main harmonic, shown in the dialog only: 0..1 maps to 0..1000 (value x 1000)"},
    {"dc", "dc average", IDC_DC_AVERAGE, SettingWord::FLAG, 0, 1, "Even out the levels of neighbouring rows"},
    {"temporal", "temporal", IDC_DC_TEMPORAL, SettingWord::FLAG, 0, 1, "DC average also with the previous frame"},
    {"full", "full", IDC_FULL_ENABLE, SettingWord::FLAG, 0, 1, "Enable full processing mode"},
    {"curve", "curve aggression", IDC_CURVE_AGGRESSION, SettingWord::REAL, 0, 10,
     "Curve aggression, shown in the dialog only: 0..1 maps to 0..10 (value x 10)"},
    {"rejection", "rejection", IDC_REJECTION_DB, SettingWord::INT, 0, 100,
     "Rejection in dB, shown in the dialog only: 0..1 maps to 0..100 dB (value x 100)"},
};

// Every module that has frei0r plugins; a new module adds its row here.
const ModuleSettings modules[] = {
    {"zelt_lpf", transformSettings, sizeof transformSettings / sizeof transformSettings[0], IDC_NOTCH_ENABLE},
    {"zelt", transformSettings, sizeof transformSettings / sizeof transformSettings[0], IDC_NOTCH_ENABLE},
};

bool wholeNumber(const std::string &t)
{
    if (t.empty() || isspace((unsigned char)t[0]))
        return false;
    errno = 0;
    char *end = nullptr;
    const long long v = strtoll(t.c_str(), &end, 10);
    return errno == 0 && *end == 0 && end != t.c_str() && v >= INT_MIN && v <= INT_MAX;
}

bool realNumber(const std::string &t)
{
    if (t.empty() || isspace((unsigned char)t[0]))
        return false;
    errno = 0;
    char *end = nullptr;
    const double v = strtod(t.c_str(), &end);
    return errno == 0 && *end == 0 && end != t.c_str() && isfinite(v);
}

}  // namespace

const ModuleSettings *settingsForModule(const char *module)
{
    for (const ModuleSettings &m : modules)
        if (strcmp(m.module, module) == 0)
            return &m;
    return nullptr;
}

bool parseSettingsWords(const ModuleSettings &m, const std::string &text, SettingValues &values, std::string &err)
{
    values.assign(m.count, std::string());
    size_t i = 0;
    while (i < text.size()) {
        if (isspace((unsigned char)text[i])) {
            i++;
            continue;
        }
        size_t end = i;
        while (end < text.size() && !isspace((unsigned char)text[end]))
            end++;
        const std::string word = text.substr(i, end - i);
        i = end;
        // MLT reads '=' in a string parameter as a keyframe, so ':' may
        // stand for it there.
        const size_t eq = word.find_first_of("=:");
        const std::string name = word.substr(0, eq);
        const SettingWord *setting = nullptr;
        size_t index = 0;
        for (size_t k = 0; k < m.count; k++)
            if (name == m.words[k].word) {
                setting = &m.words[k];
                index = k;
            }
        if (!setting) {
            err = "unknown word '" + word + "'";
            return false;
        }
        if (setting->kind == SettingWord::FLAG) {
            if (eq != std::string::npos) {
                err = "'" + name + "' takes no value (in '" + word + "')";
                return false;
            }
            values[index] = "1";
            continue;
        }
        const std::string value = eq == std::string::npos ? std::string() : word.substr(eq + 1);
        const bool ok = setting->kind == SettingWord::INT ? wholeNumber(value) : realNumber(value);
        if (!ok) {
            err = std::string("'") + word + "': " + name + "= needs " +
                  (setting->kind == SettingWord::INT ? "a whole number" : "a number");
            return false;
        }
        values[index] = value;
    }
    return true;
}

std::string typedSettingValue(const SettingWord &s, double x)
{
    if (!(x >= 0))  // NaN too
        x = 0;
    if (x > 1)
        x = 1;
    if (s.kind == SettingWord::FLAG)
        return x >= 0.5 ? "1" : "0";
    const double v = s.lo + x * (s.hi - s.lo);
    if (s.kind == SettingWord::INT)
        return std::to_string((long)lround(v));
    char buf[32];
    snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

double typedParameterOf(const SettingWord &s, const std::string &dialogValue)
{
    const double v = strtod(dialogValue.c_str(), nullptr);
    if (s.kind == SettingWord::FLAG)
        return v != 0 ? 1.0 : 0.0;
    const double x = (v - s.lo) / (s.hi - s.lo);
    return x < 0 ? 0 : x > 1 ? 1 : x;
}

std::vector<DialogAction> settingsActions(const ModuleSettings &m, const SettingValues &values,
                                          const DialogState &defaults)
{
    std::vector<DialogAction> actions;
    for (size_t k = 0; k < m.count; k++) {
        const SettingWord &s = m.words[k];
        const std::string &v = k < values.size() ? values[k] : std::string();
        DialogAction a;
        a.id = s.control;
        a.isCheck = s.kind == SettingWord::FLAG;
        if (a.isCheck)
            a.checked = v.empty() ? defaults.checked(s.control) == 1 : v == "1";
        else {
            a.checked = false;
            a.text = v.empty() ? defaults.text(s.control) : v;
        }
        actions.push_back(a);
    }
    return actions;
}
