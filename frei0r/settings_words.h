// The settings of a module as frei0r parameters and as the words of the
// `settings` string, both turned into what a user would do in the module's
// own dialog.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "hosting/dialog.h"

// One setting: a dialog control, its word in `settings` and its typed
// frei0r parameter.
struct SettingWord {
    // Bare word for a tick box, word=VALUE otherwise; null for a tick box set
    // through the module's list word (`tone=auto`) rather than a word of its own.
    const char *word;
    const char *param;  // frei0r parameter name
    int control;
    // LIST: an edit holding numbers (a frei0r string parameter); its word
    // takes `auto` or the numbers separated by ',' or '/'.
    enum Kind { FLAG, INT, REAL, LIST } kind;
    // A typed double parameter x in [0,1] stands for lo + x (hi - lo); whole
    // numbers are rounded to the nearest. LIST: each number in (lo, hi], at
    // most kSettingListMax of them.
    double lo, hi;
    const char *explanation;
};

struct ModuleSettings {
    const char *module;  // "zelt_lpf", ...
    const SettingWord *words;
    size_t count;
    // A tick box whose stage writes into the source frame (the notch filter
    // tapers its rows): the host hands a copy then. 0: none.
    int sourceWriter;
    // The tick box that the LIST word's `auto` ticks and its numbers untick.
    // 0: none.
    int listAuto;
};

// The tone dialog keeps this many frequencies.
const int kSettingListMax = 8;

// The table for a module; null for a module without one.
const ModuleSettings *settingsForModule(const char *module);

// What decides one setting: its text for an edit, "1" or "0" for a tick box;
// empty when nothing decides it (the dialog's default stays).
using SettingValues = std::vector<std::string>;

// Words separated by white space; word:VALUE is word=VALUE too. False, with the reason, for an unknown word
// or a bad value; values get one entry per word.
bool parseSettingsWords(const ModuleSettings &m, const std::string &text, SettingValues &values, std::string &err);

// A typed parameter's value (0..1; a tick box: ticked from 0.5 up) as the
// dialog text or tick.
std::string typedSettingValue(const SettingWord &s, double x);
// A LIST setting's numbers (separated by ',', '/', ';' or white space) as the
// dialog text; false, with the reason, for anything else, none or too many.
bool listSettingValue(const SettingWord &s, const std::string &numbers, std::string &text, std::string &err);
// The inverse, for reporting a dialog default as a typed value.
double typedParameterOf(const SettingWord &s, const std::string &dialogValue);

// Every setting entered in the dialog: the decided value, else `defaults` as
// the dialog showed them on a fresh module (process-wide settings would
// otherwise carry over from an earlier configuration).
std::vector<DialogAction> settingsActions(const ModuleSettings &m, const SettingValues &values,
                                          const DialogState &defaults);

// How a frame reaches the module: whole, or as its two fields (the even and
// the odd rows), each through a module of its own.
enum class FieldOrder { PROGRESSIVE, TFF, BFF };

// "progressive" (or empty), "tff" or "bff".
bool parseFieldOrder(const std::string &text, FieldOrder &order);

// `text` without its word fields=X (fields:X), which is the plugin's rather
// than the dialog's; X goes to `value`, empty without such a word. False,
// with the reason, when the word comes twice.
bool takeFieldsWord(const std::string &text, std::string &rest, std::string &value, std::string &err);
