// The settings of a module as frei0r parameters and `settings` words.
#include "frei0r/settings_words.h"

#include <errno.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/resource.h"
#include "host/tone_resource.h"

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

// The tone dialog, in its own order. Frequencies in cycles per row; the
// search range spans 0..1000 like harmonic numbers (no row is wider than
// twice that in practice, and the list takes any value the dialog keeps).
const SettingWord toneSettings[] = {
    {nullptr, "auto", IDC_TONE_AUTO, SettingWord::FLAG, 0, 1,
     "Find the tones in every frame (settings word tone=auto); unticked, remove the typed tones"},
    {"count", "tone count", IDC_TONE_COUNT, SettingWord::INT, 1, 8,
     "Tones to look for in automatic mode: 0..1 maps to 1..8 (1 + value x 7)"},
    {"from", "search from", IDC_TONE_MIN_FREQ, SettingWord::REAL, 0, 1000,
     "Lowest frequency searched, cycles per row: 0..1 maps to 0..1000 (value x 1000)"},
    {"to", "search to", IDC_TONE_MAX_FREQ, SettingWord::REAL, 0, 1000,
     "Highest frequency searched, cycles per row: 0..1 maps to 0..1000 (value x 1000); 0 searches up to half "
     "the width"},
    {"tone", "tones", IDC_TONE_LIST, SettingWord::LIST, 0, 1e6,
     "Frequencies to remove when not automatic, cycles per row, up to 8 separated by ',' or '/' (settings word "
     "tone=F1,F2)"},
    {"flicker", "flicker", IDC_TONE_FLICKER, SettingWord::INT, 0, 100,
     "Strength of the row flicker correction: 0..1 maps to 0..100 (value x 100)"},
};

// Every module that has frei0r plugins; a new module adds its row here.
const ModuleSettings modules[] = {
    {"zelt_lpf", transformSettings, sizeof transformSettings / sizeof transformSettings[0], IDC_NOTCH_ENABLE, 0},
    {"zelt", transformSettings, sizeof transformSettings / sizeof transformSettings[0], IDC_NOTCH_ENABLE, 0},
    {"zelt_tone", toneSettings, sizeof toneSettings / sizeof toneSettings[0], 0, IDC_TONE_AUTO},
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

// Digits with at most one point: what the dialog reads as the same number
// (it takes no sign or exponent).
bool plainDecimal(const std::string &t)
{
    size_t digits = 0, points = 0;
    for (char c : t) {
        if (c >= '0' && c <= '9')
            digits++;
        else if (c == '.')
            points++;
        else
            return false;
    }
    return digits > 0 && points <= 1;
}

size_t indexOfControl(const ModuleSettings &m, int control)
{
    for (size_t k = 0; k < m.count; k++)
        if (m.words[k].control == control)
            return k;
    return m.count;
}

// The words of a text, between white space.
std::vector<std::string> wordsOf(const std::string &text)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        if (isspace((unsigned char)text[i])) {
            i++;
            continue;
        }
        size_t end = i;
        while (end < text.size() && !isspace((unsigned char)text[end]))
            end++;
        words.push_back(text.substr(i, end - i));
        i = end;
    }
    return words;
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
    for (const std::string &word : wordsOf(text)) {
        // MLT reads '=' in a string parameter as a keyframe, so ':' may
        // stand for it there.
        const size_t eq = word.find_first_of("=:");
        const std::string name = word.substr(0, eq);
        const SettingWord *setting = nullptr;
        size_t index = 0;
        for (size_t k = 0; k < m.count; k++)
            if (m.words[k].word && name == m.words[k].word) {
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
        if (setting->kind == SettingWord::LIST) {
            const size_t autoIndex = indexOfControl(m, m.listAuto);
            if (value == "auto" && autoIndex < m.count) {
                values[autoIndex] = "1";
                values[index].clear();  // the dialog's list stays
                continue;
            }
            std::string listErr;
            if (!listSettingValue(*setting, value, values[index], listErr)) {
                err = "'" + word + "': " + name + "= needs " + (autoIndex < m.count ? "auto or " : "") + listErr;
                return false;
            }
            if (autoIndex < m.count)
                values[autoIndex] = "0";
            continue;
        }
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

bool listSettingValue(const SettingWord &s, const std::string &numbers, std::string &text, std::string &err)
{
    char bound[32];
    snprintf(bound, sizeof bound, "%.0f", s.hi);
    err = std::string("1 to ") + std::to_string(kSettingListMax) + " numbers above " + std::to_string((int)s.lo) +
          " up to " + bound + ", separated by ',' or '/'";
    // Pieces between separators, each holding numbers apart by white space;
    // an empty piece is a doubled, leading or trailing separator.
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= numbers.size()) {
        size_t end = numbers.find_first_of(",/;", start);
        if (end == std::string::npos)
            end = numbers.size();
        const size_t before = items.size();
        std::string item;
        for (size_t i = start; i <= end; i++) {
            if (i == end || isspace((unsigned char)numbers[i])) {
                if (!item.empty())
                    items.push_back(item);
                item.clear();
            } else {
                item += numbers[i];
            }
        }
        if (items.size() == before)
            return false;
        start = end + 1;
    }
    if (items.size() > (size_t)kSettingListMax)
        return false;
    text.clear();
    for (const std::string &t : items) {
        const double v = plainDecimal(t) ? strtod(t.c_str(), nullptr) : -1;
        if (!(v > s.lo && v <= s.hi))
            return false;
        text += (text.empty() ? "" : ", ") + t;
    }
    err.clear();
    return true;
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

bool parseFieldOrder(const std::string &text, FieldOrder &order)
{
    if (text.empty() || text == "progressive")
        order = FieldOrder::PROGRESSIVE;
    else if (text == "tff")
        order = FieldOrder::TFF;
    else if (text == "bff")
        order = FieldOrder::BFF;
    else
        return false;
    return true;
}

bool takeFieldsWord(const std::string &text, std::string &rest, std::string &value, std::string &err)
{
    rest.clear();
    value.clear();
    bool found = false;
    for (const std::string &word : wordsOf(text)) {
        if (word.compare(0, 7, "fields=") == 0 || word.compare(0, 7, "fields:") == 0) {
            if (found) {
                err = "'fields' given twice";
                return false;
            }
            found = true;
            value = word.substr(7);
            if (value.empty()) {
                err = "'" + word + "': fields= needs progressive, tff or bff";
                return false;
            }
            continue;
        }
        rest += (rest.empty() ? "" : " ") + word;
    }
    return true;
}
