// The command line of quorvel.
#include "cli/options.h"

#include <errno.h>
#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>

#include "engine/dsp.h"
#include "host/resource.h"
#include "host/tone_resource.h"

namespace {

// One option per control of the module's configuration dialog.
struct SettingOption {
    const char *name;
    int control;
    enum { FLAG, INT, REAL } kind;
};

const SettingOption settingOptions[] = {
    {"--harmonics", IDC_HARMONICS, SettingOption::INT},
    {"--display-spectrum", IDC_DISPLAY_SPECTRUM, SettingOption::FLAG},
    {"--notch", IDC_NOTCH_ENABLE, SettingOption::FLAG},
    {"--full", IDC_FULL_ENABLE, SettingOption::FLAG},
    {"--main-harmonic", IDC_MAIN_HARMONIC, SettingOption::INT},
    {"--max-harmonic", IDC_MAX_HARMONIC, SettingOption::INT},
    {"--min-harmonic", IDC_MIN_HARMONIC, SettingOption::INT},
    {"--curve-aggression", IDC_CURVE_AGGRESSION, SettingOption::REAL},
    {"--rejection-db", IDC_REJECTION_DB, SettingOption::INT},
    {"--dc-average", IDC_DC_AVERAGE, SettingOption::FLAG},
    {"--temporal", IDC_DC_TEMPORAL, SettingOption::FLAG},
};

// Which options each command takes.
enum { P = 1, A = 2, S = 4, C = 8 };
struct GeneralOption {
    const char *name;
    bool takesValue;
    int commands;
};
const GeneralOption generalOptions[] = {
    {"--module", true, P},  {"--codec", true, P | S},  {"--pix-fmt", true, P | S}, {"--frames", true, P | A | C | S},
    {"--cpu", true, P | A}, {"--quiet", false, P | S}, {"--verbose", false, P},    {"--json", false, A | C},
    {"--peaks", true, A},   {"--clean", true, S},      {"--serial", false, P},
    {"--tone", true, P}, {"--tone-count", true, P}, {"--tone-min", true, P}, {"--tone-max", true, P},
    {"--tone-flicker", true, P}, {"--fields", true, P},
    {"--tone-frequency", true, S}, {"--tone-amplitude", true, S}, {"--flicker", true, S},
    {"--plot", true, A}, {"--against", true, A},
};

// A setting of the tone module's dialog; a later one for the same control wins.
void addToneSetting(Options &o, const DialogAction &a)
{
    for (DialogAction &old : o.toneDialog)
        if (old.id == a.id) {
            old = a;
            return;
        }
    o.toneDialog.push_back(a);
}

// --tone auto, or up to eight frequencies in cycles per row.
bool parseToneOption(Options &o, const std::string &text, std::string &err)
{
    if (text == "auto") {
        addToneSetting(o, {IDC_TONE_AUTO, true, true, std::string()});
        return true;
    }
    int count = 0;
    for (size_t from = 0;; count++) {
        const size_t comma = text.find(',', from);
        const std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        double f;
        if (!parseReal(item, f) || f <= 0) {
            err = "--tone: '" + item + "' is not a frequency above 0 (cycles per row); or give 'auto'";
            return false;
        }
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    if (count >= 8) {
        err = "--tone: at most 8 frequencies";
        return false;
    }
    addToneSetting(o, {IDC_TONE_AUTO, true, false, std::string()});
    addToneSetting(o, {IDC_TONE_LIST, false, false, text});
    return true;
}

// A whole number or a real in lo..hi (hi of 1e9 or more: no upper bound).
bool checkNumber(const std::string &name, const std::string &text, bool whole, double lo, double hi, std::string &err)
{
    double v = 0;
    bool ok;
    if (whole) {
        int i = 0;
        ok = parseInt(text, i);
        v = i;
    } else {
        ok = parseReal(text, v);
    }
    if (ok && v >= lo && v <= hi)
        return true;
    char range[64];
    snprintf(range, sizeof range, hi < 1e9 ? "%g to %g" : "at least %g", lo, hi);
    err = name + ": '" + text + "' is not a " + (whole ? "whole " : "") + "number " + range;
    return false;
}

void addSetting(Options &o, const SettingOption &s, const std::string &value)
{
    DialogAction a;
    a.id = s.control;
    a.isCheck = s.kind == SettingOption::FLAG;
    a.checked = a.isCheck;
    a.text = value;
    // A later option for the same control wins, as retyping would.
    for (DialogAction &old : o.dialog)
        if (old.id == a.id) {
            old = a;
            return;
        }
    o.dialog.push_back(a);
}

const char *commandName(Command c)
{
    switch (c) {
    case CMD_ANALYSE: return "analyse";
    case CMD_SAMPLE: return "sample";
    case CMD_COMPARE: return "compare";
    default: return "processing";
    }
}

int commandBit(Command c)
{
    switch (c) {
    case CMD_ANALYSE: return A;
    case CMD_SAMPLE: return S;
    case CMD_COMPARE: return C;
    default: return P;
    }
}

}  // namespace

bool parseInt(const std::string &text, int &value)
{
    if (text.empty() || isspace((unsigned char)text[0]))
        return false;
    errno = 0;
    char *end = nullptr;
    const long long v = strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != 0 || end == text.c_str() || v < INT_MIN || v > INT_MAX)
        return false;
    value = (int)v;
    return true;
}

bool parseReal(const std::string &text, double &value)
{
    if (text.empty() || isspace((unsigned char)text[0]))
        return false;
    errno = 0;
    char *end = nullptr;
    const double v = strtod(text.c_str(), &end);
    if (errno != 0 || *end != 0 || end == text.c_str() || !isfinite(v))
        return false;
    value = v;
    return true;
}

bool parseOptions(int argc, char **argv, Options &o, std::string &err)
{
    int i = 1;
    if (argc > 1) {
        const std::string first = argv[1];
        if (first == "analyse" || first == "analyze") {
            o.command = CMD_ANALYSE;
            i = 2;
        } else if (first == "sample") {
            o.command = CMD_SAMPLE;
            i = 2;
        } else if (first == "compare") {
            o.command = CMD_COMPARE;
            i = 2;
        }
    }
    bool noMoreOptions = false;
    for (; i < argc; i++) {
        std::string arg = argv[i];
        if (noMoreOptions || arg.size() < 2 || arg[0] != '-' || arg == "-") {
            o.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            noMoreOptions = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            o.command = CMD_HELP;
            return true;
        }
        if (arg == "-y" || arg == "-n") {
            if (o.command != CMD_PROCESS) {
                err = arg + " does not apply to '" + commandName(o.command) + "'";
                return false;
            }
            if (o.overwrite && o.overwrite != arg[1]) {
                err = "-y and -n contradict each other";
                return false;
            }
            o.overwrite = arg[1];
            continue;
        }
        if (arg == "--version") {
            o.command = CMD_VERSION;
            return true;
        }
        // --name=value or --name value
        std::string name = arg, value;
        bool inlineValue = false;
        const size_t eq = arg.find('=');
        if (eq != std::string::npos && arg.compare(0, 2, "--") == 0) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        auto takeValue = [&](std::string &out) -> bool {
            if (inlineValue) {
                out = value;
                return true;
            }
            if (i + 1 >= argc) {
                err = name + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };

        const SettingOption *setting = nullptr;
        for (const SettingOption &s : settingOptions)
            if (name == s.name)
                setting = &s;
        if (setting) {
            if (o.command != CMD_PROCESS) {
                err = name + " is a filter setting; it does not apply to '" + commandName(o.command) + "'";
                return false;
            }
            if (setting->kind == SettingOption::FLAG) {
                if (inlineValue) {
                    err = name + " takes no value";
                    return false;
                }
                addSetting(o, *setting, std::string());
                continue;
            }
            std::string text;
            if (!takeValue(text))
                return false;
            if (setting->kind == SettingOption::INT) {
                int v;
                if (!parseInt(text, v)) {
                    err = name + ": '" + text + "' is not a whole number in the range " + std::to_string(INT_MIN) +
                          ".." + std::to_string(INT_MAX);
                    return false;
                }
            } else {
                double v;
                if (!parseReal(text, v)) {
                    err = name + ": '" + text + "' is not a number";
                    return false;
                }
            }
            addSetting(o, *setting, text);
            continue;
        }

        const GeneralOption *general = nullptr;
        for (const GeneralOption &g : generalOptions)
            if (name == g.name)
                general = &g;
        if (!general) {
            err = "unknown option '" + name + "' (see quorvel --help)";
            return false;
        }
        if (!(general->commands & commandBit(o.command))) {
            err = name + " does not apply to '" + commandName(o.command) + "'";
            return false;
        }
        if (!general->takesValue && inlineValue) {
            err = name + " takes no value";
            return false;
        }
        std::string text;
        if (general->takesValue && !takeValue(text))
            return false;
        if (name == "--module") {
            if (text.empty()) {
                err = "--module needs a name or a path";
                return false;
            }
            o.module = text;
        } else if (name == "--codec") {
            o.codec = text;
        } else if (name == "--pix-fmt") {
            o.pixFmt = text;
        } else if (name == "--frames" || name == "--peaks") {
            int v;
            if (!parseInt(text, v) || v < 1) {
                err = name + ": '" + text + "' is not a whole number from 1 to " + std::to_string(INT_MAX);
                return false;
            }
            if (name == "--frames")
                o.frames = v;
            else
                o.peaks = v;
        } else if (name == "--cpu") {
            if (cpuLevelFromName(text.c_str()) < 0) {
                err = "--cpu: '" + text + "' is not one of scalar, mmx, sse2, avx2, avx512";
                return false;
            }
            o.cpu = text;
        } else if (name == "--quiet") {
            o.quiet = true;
        } else if (name == "--verbose") {
            o.verbose = true;
        } else if (name == "--serial") {
            o.serial = true;
        } else if (name == "--json") {
            o.json = true;
        } else if (name == "--plot" || name == "--against") {
            if (text.empty()) {
                err = name + " needs a file name";
                return false;
            }
            (name == "--plot" ? o.plot : o.against) = text;
        } else if (name == "--tone") {
            if (!parseToneOption(o, text, err))
                return false;
        } else if (name == "--tone-count" || name == "--tone-flicker") {
            const bool count = name == "--tone-count";
            if (!checkNumber(name, text, true, count ? 1 : 0, count ? 8 : 100, err))
                return false;
            addToneSetting(o, {count ? IDC_TONE_COUNT : IDC_TONE_FLICKER, false, false, text});
        } else if (name == "--tone-min" || name == "--tone-max") {
            if (!checkNumber(name, text, false, 0, 1e300, err))
                return false;
            addToneSetting(o, {name == "--tone-min" ? IDC_TONE_MIN_FREQ : IDC_TONE_MAX_FREQ, false, false, text});
        } else if (name == "--fields") {
            if (text != "tff" && text != "bff") {
                err = "--fields: '" + text + "' is not tff or bff";
                return false;
            }
            o.fields = text[0];
        } else if (name == "--tone-frequency") {
            double f;
            if (!parseReal(text, f) || f <= 0 || f >= SAMPLE_WIDTH / 2) {
                err = "--tone-frequency: '" + text + "' is not a frequency between 0 and " +
                      std::to_string(SAMPLE_WIDTH / 2) + " cycles per row";
                return false;
            }
            o.sample.frequencies.push_back(f);
        } else if (name == "--tone-amplitude" || name == "--flicker") {
            if (!checkNumber(name, text, false, 0, 255, err))
                return false;
            parseReal(text, name == "--flicker" ? o.sample.flicker : o.sample.amplitude);
        } else if (name == "--clean") {
            if (text.empty()) {
                err = "--clean needs a file name";
                return false;
            }
            o.clean = text;
        }
    }

    const size_t want = o.command == CMD_PROCESS || o.command == CMD_COMPARE ? 2 : 1;
    if (o.paths.size() != want) {
        const char *what = o.command == CMD_PROCESS   ? "an INPUT and an OUTPUT"
                           : o.command == CMD_COMPARE ? "two files to compare"
                           : o.command == CMD_SAMPLE  ? "one OUTPUT"
                                                      : "one INPUT";
        err = std::string(o.paths.size() < want ? "missing arguments: " : "too many arguments: ") + "expected " + what +
              " (see quorvel --help)";
        return false;
    }
    if (!o.against.empty() && o.plot.empty()) {
        err = "--against draws over the plot: give --plot FILE.png too";
        return false;
    }
    for (const std::string &p : o.paths)
        if (p.empty()) {
            err = "an empty file name";
            return false;
        }
    return true;
}

const char *usageText()
{
    return "Usage:\n"
           "  quorvel [OPTIONS] INPUT OUTPUT      filter a picture, image sequence or video\n"
           "  quorvel analyse [--json] [--frames N] [--peaks K]\n"
           "                  [--plot PNG [--against CLEANED]] INPUT\n"
           "                                      find periodic interference and suggest settings:\n"
           "                                      each peak in cycles per row (locked to the line\n"
           "                                      within 0.02 of a whole number, else drifting) and\n"
           "                                      in MHz, taking the width as the active line (52 us\n"
           "                                      at 625 lines, 15625 Hz; 52.656 us at 525 lines,\n"
           "                                      15734.264 Hz); --plot draws the spectrum of each\n"
           "                                      plane on a log scale with the peaks, --against the\n"
           "                                      spectrum of a cleaned file over it\n"
           "  quorvel sample [--clean CLEAN] [--frames N] [--tone-frequency F]...\n"
           "                 [--tone-amplitude A] [--flicker A] OUTPUT\n"
           "                                      write a synthetic test clip with interference: tones\n"
           "                                      at F cycles per row (drifting unless whole) instead of\n"
           "                                      harmonics 112 and 173, of amplitude A (default 6);\n"
           "                                      row flicker +-A (default 3)\n"
           "  quorvel compare [--json] [--frames N] A B\n"
           "                                      PSNR of B against A\n"
           "\n"
           "INPUT and OUTPUT: any file FFmpeg reads or writes: pictures (.png, .bmp, .tif, ...),\n"
           "numbered sequences (frame_%04d.png) and videos (.mkv, .avi, .mp4, .mov, .y4m, ...).\n"
           "\n"
           "Module and filter settings (the module's own dialog applies them):\n"
           "  --module zelt_lpf|zelt|PATH   module to load (default zelt_lpf)\n"
           "  --harmonics N                 harmonics number (full processing, display)\n"
           "  --display-spectrum            replace the picture with its spectrum\n"
           "  --notch                       enable the notch filter\n"
           "  --min-harmonic A              first harmonic of the notch band\n"
           "  --max-harmonic B              end of the notch band (not included)\n"
           "  --main-harmonic A             main harmonic (shown in the dialog only)\n"
           "  --curve-aggression X          curve aggression (shown in the dialog only)\n"
           "  --rejection-db N              rejection in dB (shown in the dialog only)\n"
           "  --dc-average                  even out the levels of neighbouring rows\n"
           "  --temporal                    ... also with the previous frame\n"
           "  --full                        enable full processing mode\n"
           "\n"
           "Tone remover (zelt_tone; first, then the module above if it has settings):\n"
           "  --tone auto|F[,F...]          find the tones, or remove these (up to 8, cycles/row)\n"
           "  --tone-count N                tones to look for in auto mode (1 to 8, default 4)\n"
           "  --tone-min F, --tone-max F    search range, cycles per row (max 0: half the width)\n"
           "  --tone-flicker N              row flicker correction, 0 to 100 (default 0)\n"
           "  --fields tff|bff              interlaced: filter each field on its own and weave\n"
           "                                them back (default: progressive frames)\n"
           "\n"
           "Sample clip:\n"
           "  --tone-frequency F            plant a tone at F cycles per row (repeatable;\n"
           "                                drifting unless whole) instead of harmonics 112, 173\n"
           "  --tone-amplitude A            its amplitude in grey levels (default 6)\n"
           "  --flicker A                   row flicker of +-A grey levels (default 3)\n"
           "\n"
           "Output and run:\n"
           "  --codec NAME                  video encoder (default: lossless RGB where the\n"
           "                                container allows: FFV1 for .mkv/.avi, PNG for .mov)\n"
           "  --pix-fmt NAME                encoder pixel format\n"
           "  --frames N                    stop after N frames\n"
           "  --cpu scalar|mmx|sse2|avx2|avx512\n"
           "                                cap the instruction set the module may use\n"
           "  --quiet                       no progress or notes\n"
           "  --verbose                     show the module, settings and formats used\n"
           "  --serial                      decode, filter and encode one after another on\n"
           "                                one thread (default: each on its own thread)\n"
           "  -y                            overwrite an existing OUTPUT\n"
           "  -n                            never overwrite (default: ask on a terminal,\n"
           "                                refuse without one)\n"
           "  --help, --version\n";
}
