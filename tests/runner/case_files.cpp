#include "tests/runner/case_files.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <sstream>

namespace {

void putU32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = (uint8_t)(v >> (8 * i));
}

uint32_t getU32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

bool fileExists(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (f)
        fclose(f);
    return f != nullptr;
}

}  // namespace

bool readFrameSet(const std::string &path, FrameSet *out, std::string *error)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        *error = "cannot open " + path;
        return false;
    }
    uint8_t header[16];
    bool ok = fread(header, 1, 16, f) == 16 && memcmp(header, "ZFRM", 4) == 0;
    FrameSet s;
    if (ok) {
        s.w = (int)getU32(header + 4);
        s.h = (int)getU32(header + 8);
        const uint32_t count = getU32(header + 12);
        ok = s.w >= 0 && s.h >= 0 && s.w <= 1 << 14 && s.h <= 1 << 14 && count <= 1024;
        const size_t bytes = (size_t)s.w * 4 * (size_t)s.h;
        for (uint32_t i = 0; ok && i < count; i++) {
            s.frames.emplace_back(bytes);
            ok = fread(s.frames.back().data(), 1, bytes, f) == bytes;
        }
        ok = ok && fgetc(f) == EOF;
    }
    fclose(f);
    if (!ok) {
        *error = "not a frame file (or truncated): " + path;
        return false;
    }
    *out = std::move(s);
    return true;
}

bool writeFrameSet(const std::string &path, const FrameSet &s, std::string *error)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        *error = "cannot create " + path;
        return false;
    }
    uint8_t header[16];
    memcpy(header, "ZFRM", 4);
    putU32(header + 4, (uint32_t)s.w);
    putU32(header + 8, (uint32_t)s.h);
    putU32(header + 12, (uint32_t)s.frames.size());
    bool ok = fwrite(header, 1, 16, f) == 16;
    for (const auto &frame : s.frames)
        ok = ok && fwrite(frame.data(), 1, frame.size(), f) == frame.size();
    ok = fclose(f) == 0 && ok;
    if (!ok)
        *error = "cannot write " + path;
    return ok;
}

std::string directoryOf(const std::string &path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// --- case lists ---

namespace {

bool parseFlag(const std::string &v, bool *out)
{
    if (v != "0" && v != "1")
        return false;
    *out = v == "1";
    return true;
}

bool parseInt(const std::string &v, int *out)
{
    char *end = nullptr;
    const long n = strtol(v.c_str(), &end, 10);
    if (v.empty() || *end || n < -1 || n > 1 << 20)
        return false;
    *out = (int)n;
    return true;
}

// Values travel as single words: space, tab and '%' as %20, %09 and %25.
std::string encodeValue(const std::string &v)
{
    std::string s;
    for (char ch : v)
        s += ch == ' ' ? "%20" : ch == '\t' ? "%09" : ch == '%' ? "%25" : std::string(1, ch);
    return s;
}

std::string decodeValue(const std::string &v)
{
    std::string s;
    for (size_t i = 0; i < v.size(); i++) {
        if (v[i] == '%' && i + 2 < v.size() && isxdigit((unsigned char)v[i + 1]) && isxdigit((unsigned char)v[i + 2])) {
            s += (char)strtol(v.substr(i + 1, 2).c_str(), nullptr, 16);
            i += 2;
        } else {
            s += v[i];
        }
    }
    return s;
}

bool setKey(RunCase &c, const std::string &key, const std::string &encoded)
{
    const std::string value = decodeValue(encoded);
    DialogEntries &d = c.dialog;
    std::string *text = key == "src"          ? &c.source
                        : key == "out"        ? &c.output
                        : key == "same"       ? &c.same
                        : key == "harmonics"  ? &d.harmonics
                        : key == "min"        ? &d.minHarmonic
                        : key == "main"       ? &d.mainHarmonic
                        : key == "max"        ? &d.maxHarmonic
                        : key == "aggression" ? &d.aggression
                        : key == "rejection"  ? &d.rejection
                                              : nullptr;
    if (text) {
        *text = value;
        return true;
    }
    bool *flag = key == "display"    ? &d.display
                 : key == "notch"    ? &d.notch
                 : key == "full"     ? &d.full
                 : key == "dc"       ? &d.dc
                 : key == "temporal" ? &d.temporal
                 : key == "fresh"    ? &c.fresh
                                     : nullptr;
    if (flag)
        return parseFlag(value, flag);
    if (key == "pad")
        return parseInt(value, &c.pad) && c.pad >= 0;
    if (key == "limit")
        return parseInt(value, &c.limit);
    return false;
}

}  // namespace

bool readCaseList(const std::string &path, std::vector<RunCase> *cases, std::string *error)
{
    FILE *f = fopen(path.c_str(), "r");
    if (!f) {
        *error = "cannot open " + path;
        return false;
    }
    std::vector<RunCase> list;
    std::map<std::string, size_t> seen;
    char line[4096];
    int number = 0;
    bool ok = true;
    while (ok && fgets(line, sizeof line, f)) {
        number++;
        std::string text = line;
        const size_t hash = text.find('#');
        if (hash != std::string::npos)
            text.resize(hash);
        std::istringstream words(text);
        RunCase c;
        if (!(words >> c.name))
            continue;
        std::string word;
        while (ok && words >> word) {
            const size_t eq = word.find('=');
            ok = eq != std::string::npos && setKey(c, word.substr(0, eq), word.substr(eq + 1));
            if (!ok)
                *error = path + ":" + std::to_string(number) + ": bad word " + word;
        }
        if (ok && (c.source.empty() || c.output.empty())) {
            ok = false;
            *error = path + ":" + std::to_string(number) + ": a case needs src= and out=";
        }
        if (ok && seen.count(c.name)) {
            ok = false;
            *error = path + ":" + std::to_string(number) + ": case " + c.name + " twice";
        }
        if (ok && !c.same.empty() && !seen.count(c.same)) {
            ok = false;
            *error = path + ":" + std::to_string(number) + ": same= names no earlier case";
        }
        if (ok) {
            seen[c.name] = list.size();
            list.push_back(c);
        }
    }
    fclose(f);
    if (ok)
        *cases = std::move(list);
    return ok;
}

std::string formatCase(const RunCase &c)
{
    const DialogEntries d, &e = c.dialog;
    std::string s = c.name + " src=" + c.source + " out=" + c.output;
    if (c.pad)
        s += " pad=" + std::to_string(c.pad);
    if (c.limit >= 0)
        s += " limit=" + std::to_string(c.limit);
    if (c.fresh)
        s += " fresh=1";
    if (!c.same.empty())
        s += " same=" + c.same;
    const std::pair<const char *, const std::string *> texts[] = {
        {"harmonics", &e.harmonics}, {"min", &e.minHarmonic},       {"main", &e.mainHarmonic},
        {"max", &e.maxHarmonic},     {"aggression", &e.aggression}, {"rejection", &e.rejection}};
    const std::string *defaults[] = {&d.harmonics,   &d.minHarmonic, &d.mainHarmonic,
                                     &d.maxHarmonic, &d.aggression,  &d.rejection};
    for (size_t i = 0; i < 6; i++)
        if (*texts[i].second != *defaults[i])
            s += std::string(" ") + texts[i].first + "=" + encodeValue(*texts[i].second);
    const std::pair<const char *, bool> flags[] = {
        {"display", e.display}, {"notch", e.notch}, {"dc", e.dc}, {"temporal", e.temporal}, {"full", e.full}};
    for (const auto &fl : flags)
        if (fl.second)
            s += std::string(" ") + fl.first + "=1";
    return s;
}

// --- the matrix ---

namespace {

struct Random {
    uint32_t x;
    explicit Random(uint32_t seed) : x(seed * 2654435761u + 0x9E3779B9u) {}
    uint32_t next()
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }
    int below(int n) { return (int)(next() % (uint32_t)n); }
};

enum FrameKind { BRIGHT, DARK, MIXED, WHITE, CHECKER, NOISE, KIND_COUNT };
const char *const kKindNames[KIND_COUNT] = {"bright", "dark", "mixed", "white", "checker", "noise"};

uint8_t clampByte(int v)
{
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

// A picture with a gradient, periodic interference at two harmonics (a
// triangle wave, so its own harmonics spread further) and noise; bright
// frames saturate at 255 in places, dark ones at 0. Byte 3 is noise: no
// stage may read it as colour.
std::vector<uint8_t> makeFrame(int w, int h, FrameKind kind, uint32_t seed, int phase)
{
    std::vector<uint8_t> px((size_t)w * 4 * (size_t)h);
    Random rnd(seed);
    if (kind >= WHITE) {
        // The extremes: saturated white, a checkerboard of 0 and 255 (the
        // largest amplitude at the highest harmonics) and full-range noise.
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                uint8_t *p = &px[((size_t)y * (size_t)w + (size_t)x) * 4];
                for (int c = 0; c < 3; c++)
                    p[c] = kind == WHITE     ? 255
                           : kind == CHECKER ? (uint8_t)(((x + y + (c == 1)) & 1) ? 255 : 0)
                                             : (uint8_t)rnd.next();
                p[3] = (uint8_t)rnd.next();
            }
        return px;
    }
    const int base = kind == BRIGHT ? 214 : kind == DARK ? 6 : 110;
    const int span = kind == MIXED ? 140 : 40;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const int tri = (((x * 24 + phase * 5) * 2 / (w > 0 ? w : 1)) % 2) ? 1 : -1;
            const int stripe = tri * 9 + (((x * 7 + phase) % (w > 6 ? w / 6 : 1)) < 2 ? 14 : 0);
            const int ramp = ((x * 13 + y * 7) % span) - span / 2 + (kind == MIXED ? (y % 3) * 20 : 0);
            uint8_t *p = &px[((size_t)y * (size_t)w + (size_t)x) * 4];
            for (int c = 0; c < 3; c++)
                p[c] = clampByte(base + ramp + stripe * (c + 1) / 2 + rnd.below(13) - 6 + c * 5);
            p[3] = (uint8_t)rnd.next();
        }
    }
    return px;
}

struct Planner {
    std::string dir;
    std::string *error;
    std::map<std::string, bool> written;
    std::vector<RunCase> matrix, timing;

    // The file of one kind and size (written once).
    std::string frames(int w, int h, FrameKind kind)
    {
        const std::string name =
            std::string("frames/") + kKindNames[kind] + "_" + std::to_string(w) + "x" + std::to_string(h) + ".frm";
        if (!written.count(name)) {
            FrameSet s;
            s.w = w;
            s.h = h;
            s.frames.push_back(makeFrame(w, h, kind, (uint32_t)(w * 7919 + h * 31 + kind), 0));
            written[name] = writeFrameSet(dir + name, s, error);
        }
        return name;
    }

    // A sequence: bright, dark, a still picture twice, then a shifted one.
    std::string sequence(int w, int h)
    {
        const std::string name = "frames/seq_" + std::to_string(w) + "x" + std::to_string(h) + ".frm";
        if (!written.count(name)) {
            FrameSet s;
            s.w = w;
            s.h = h;
            s.frames.push_back(makeFrame(w, h, BRIGHT, 11, 0));
            s.frames.push_back(makeFrame(w, h, DARK, 12, 1));
            s.frames.push_back(makeFrame(w, h, MIXED, 13, 2));
            s.frames.push_back(s.frames.back());
            s.frames.push_back(makeFrame(w, h, MIXED, 13, 7));
            written[name] = writeFrameSet(dir + name, s, error);
        }
        return name;
    }

    RunCase &add(std::vector<RunCase> &list, const std::string &name, const std::string &src)
    {
        RunCase c;
        c.name = name;
        c.source = src;
        c.output = name + ".frm";
        list.push_back(c);
        return list.back();
    }

    // The same case once more with padded rows; its visible pixels must not change.
    void padded(const RunCase &c)
    {
        RunCase p = c;
        p.name = c.name + "_pad60";
        p.output = p.name + ".frm";
        p.pad = 60;
        p.same = c.name;
        matrix.push_back(p);
    }
};

struct Stages {
    const char *tag;
    bool notch, dc, full, display;
};
const Stages kStages[] = {
    {"copy", false, false, false, false},   {"notch", true, false, false, false},
    {"dc", false, true, false, false},      {"full", false, false, true, false},
    {"notch_dc", true, true, false, false}, {"notch_full", true, false, true, false},
    {"dc_full", false, true, true, false},  {"notch_dc_full", true, true, true, false},
    {"display", false, false, false, true},
};
const char *const kHarmonics[] = {"0", "1", "10", "64", "352"};
// Notch bands (min, max): ordinary, one holding harmonic 0, empty, wide, and
// one lying (partly) beyond narrow widths.
const char *const kBands[][2] = {{"1", "11"}, {"0", "3"}, {"5", "5"}, {"10", "74"}, {"300", "360"}};

void setStages(RunCase &c, const Stages &s)
{
    c.dialog.notch = s.notch;
    c.dialog.dc = s.dc;
    c.dialog.full = s.full;
    c.dialog.display = s.display;
}

}  // namespace

bool planCases(const std::string &dirIn, std::string *error)
{
    std::string dir = dirIn;
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\')
        dir += '/';
    Planner p{dir, error, {}, {}, {}};
    const int widths[] = {720, 704, 640, 360, 64, 719};
    const int heights[] = {576, 480, 600, 3};

    // Every stage alone and combined, and the display, over every size; the
    // harmonic count, the notch band and the brightness turn with the case so
    // that each stage meets each of them at several sizes.
    std::vector<std::pair<int, int>> sizes;
    for (int w : widths)
        for (int h : heights)
            sizes.push_back({w, h});
    sizes.push_back({101, 600});  // 4 x w not a multiple of 64
    sizes.push_back({101, 3});
    const int stageCount = (int)(sizeof kStages / sizeof kStages[0]);
    for (int si = 0; si < stageCount; si++) {
        const Stages &st = kStages[si];
        for (int zi = 0; zi < (int)sizes.size(); zi++) {
            const int w = sizes[zi].first, h = sizes[zi].second;
            const int turn = si + zi;
            const FrameKind kind = turn % 2 ? DARK : BRIGHT;
            const char *n = kHarmonics[turn % 5];
            const int band = (si * 3 + zi) % 5;
            const std::string name = std::string(st.tag) + "_" + std::to_string(w) + "x" + std::to_string(h) + "_n" +
                                     n + (kind == DARK ? "_dark" : "_bright");
            RunCase &c = p.add(p.matrix, name, p.frames(w, h, kind));
            setStages(c, st);
            c.dialog.harmonics = n;
            c.dialog.minHarmonic = kBands[band][0];
            c.dialog.maxHarmonic = kBands[band][1];
            const RunCase copy = c;
            if (w == 719 || w == 101 || (w == 720 && h == 576))
                p.padded(copy);
        }
    }

    // Every harmonic count with full processing and the display, bright and
    // dark, at the editor's usual size.
    for (const char *n : kHarmonics)
        for (FrameKind kind : {BRIGHT, DARK})
            for (int si : {3, 7, 8}) {
                const std::string name =
                    std::string("sweep_") + kStages[si].tag + "_n" + n + (kind == DARK ? "_dark" : "_bright");
                RunCase &c = p.add(p.matrix, name, p.frames(720, 576, kind));
                setStages(c, kStages[si]);
                c.dialog.harmonics = n;
                c.dialog.minHarmonic = "2";
                c.dialog.maxHarmonic = "30";
            }

    // The extremes, through every stage and the display.
    const std::pair<int, int> extremeSizes[] = {{720, 576}, {719, 3}, {64, 480}};
    for (int si = 0; si < stageCount; si++)
        for (int zi = 0; zi < 3; zi++)
            for (FrameKind kind : {WHITE, CHECKER, NOISE}) {
                const int w = extremeSizes[zi].first, h = extremeSizes[zi].second;
                const char *n = kHarmonics[(si + zi + kind) % 5];
                const std::string name = std::string(kStages[si].tag) + "_" + std::to_string(w) + "x" +
                                         std::to_string(h) + "_n" + n + "_" + kKindNames[kind];
                RunCase &c = p.add(p.matrix, name, p.frames(w, h, kind));
                setStages(c, kStages[si]);
                c.dialog.harmonics = n;
                c.dialog.minHarmonic = kBands[(si + kind) % 5][0];
                c.dialog.maxHarmonic = kBands[(si + kind) % 5][1];
            }

    // Spectra whose U mean level is exactly 1000 (and near 10000): rows of
    // yellows (255, 255, b) whose U values (1 + b / 2) sum to four times it
    // over a width of 1024. The plot takes the decimal logarithm of an exact
    // power of ten there, where a logarithm one unit in the last place low
    // would move the marker down a row.
    for (int level : {1000, 10000}) {
        const int w = 1024;
        const std::string name = "frames/yellow_u_" + std::to_string(level) + "_1024x576.frm";
        FrameSet s;
        s.w = w;
        s.h = 576;
        std::vector<uint8_t> px((size_t)w * 4 * 576);
        const int sum = level * 4, each = sum / w, above = sum % w;
        for (int y = 0; y < 576; y++)
            for (int x = 0; x < w; x++) {
                uint8_t *q = &px[((size_t)y * w + (size_t)x) * 4];
                q[0] = (uint8_t)(2 * (each + (x < above) - 1));
                q[1] = q[2] = 255;
            }
        s.frames.push_back(px);
        p.written[name] = writeFrameSet(dir + name, s, error);
        RunCase &c = p.add(p.matrix, "display_u_mean_" + std::to_string(level), name);
        c.dialog.display = true;
        c.dialog.harmonics = "64";
    }

    // Settings at and beyond their limits.
    struct Edge {
        const char *name;
        int w, h;
        FrameKind kind;
        int limit;
        const char *harmonics, *minH, *maxH;
        int stages;  // index into kStages
    };
    const Edge edges[] = {
        {"edge_n352_over_w64_full", 64, 480, MIXED, 720, "352", "1", "1", 3},
        {"edge_n352_over_w64_display", 64, 576, MIXED, 720, "352", "1", "1", 8},
        {"edge_n1000_bounded_full", 720, 480, MIXED, -1, "1000", "1", "1", 3},
        {"edge_n1000_bounded_display", 720, 600, MIXED, -1, "1000", "1", "1", 8},
        {"edge_n600_w640_all", 640, 576, MIXED, -1, "600", "0", "2", 7},
        {"edge_n_negative_full", 360, 480, MIXED, -1, "-3", "1", "1", 3},
        {"edge_n_negative_display", 360, 600, MIXED, -1, "-3", "1", "1", 8},
        {"edge_limit0_full", 64, 480, MIXED, 0, "25", "1", "1", 3},
        {"edge_band_negative", 64, 480, MIXED, -1, "10", "-2", "3", 1},
        {"edge_band_beyond_w", 64, 480, MIXED, -1, "10", "60", "80", 1},
        {"edge_band_reversed", 360, 3, MIXED, -1, "10", "9", "4", 4},
        {"edge_tiny_1x1_all", 1, 1, MIXED, -1, "10", "0", "3", 7},
        {"edge_tiny_1x1_display", 1, 1, MIXED, -1, "10", "1", "1", 8},
        {"edge_tiny_3x3_all", 3, 3, MIXED, -1, "10", "0", "3", 7},
        {"edge_tiny_5x7_all", 5, 7, BRIGHT, -1, "10", "0", "3", 7},
        {"edge_tiny_5x7_display", 5, 7, BRIGHT, -1, "10", "1", "1", 8},
        {"edge_h51_display", 360, 51, MIXED, -1, "64", "1", "1", 8},
        {"edge_h577_display", 360, 577, MIXED, -1, "64", "1", "1", 8},
        {"edge_wide_1920x6_all", 1920, 6, NOISE, -1, "1000", "0", "700", 7},
        {"edge_wide_1920x6_n352_all", 1920, 6, MIXED, -1, "352", "500", "520", 7},
        {"edge_wide_1920x60_display", 1920, 60, MIXED, -1, "1000", "1", "1", 8},
        {"edge_tall_64x1100_all", 64, 1100, MIXED, -1, "64", "1", "9", 7},
        {"edge_tall_64x1100_display", 64, 1100, MIXED, -1, "64", "1", "1", 8},
    };
    for (const Edge &e : edges) {
        RunCase &c = p.add(p.matrix, e.name, p.frames(e.w, e.h, e.kind));
        setStages(c, kStages[e.stages]);
        c.limit = e.limit;
        c.dialog.harmonics = e.harmonics;
        c.dialog.minHarmonic = e.minH;
        c.dialog.maxHarmonic = e.maxH;
        c.dialog.mainHarmonic = "7";
        c.dialog.aggression = "2.5";
        c.dialog.rejection = "35";
    }

    // The temporal DC average over sequences, each from a freshly loaded
    // module; then a taller frame than the history was made for.
    struct Sequence {
        const char *name;
        int w, h;
        int stages;
        bool pad;
    };
    const Sequence sequences[] = {
        {"seq_dc_temporal_720x576", 720, 576, 2, false}, {"seq_all_temporal_720x576", 720, 576, 7, false},
        {"seq_dc_temporal_719x480", 719, 480, 2, true},  {"seq_notch_dc_temporal_101x600", 101, 600, 4, true},
        {"seq_dc_temporal_64x3", 64, 3, 2, false},       {"seq_dc_temporal_360x480", 360, 480, 2, false},
    };
    for (const Sequence &s : sequences) {
        RunCase &c = p.add(p.matrix, s.name, p.sequence(s.w, s.h));
        setStages(c, kStages[s.stages]);
        c.fresh = true;
        c.dialog.temporal = true;
        c.dialog.minHarmonic = "1";
        c.dialog.maxHarmonic = "25";
        const RunCase copy = c;
        if (s.pad)
            p.padded(copy);
    }
    {
        RunCase &c = p.add(p.matrix, "seq_dc_temporal_taller_360x600", p.sequence(360, 600));
        setStages(c, kStages[2]);
        c.dialog.temporal = true;
        // No fresh: the history of the 360 x 480 sequence before is too short.
    }

    // Texts as a user (or a host) may enter them: each case shows in its
    // results what the dialog made of the previous case's entries.
    struct Texts {
        const char *name, *harmonics, *minH, *mainH, *maxH, *aggression, *rejection;
        bool notch;
    };
    const Texts texts[] = {
        {"texts_signs", "  +7", " 3x", "-7", "12abc", "0.15", "-5", true},
        {"texts_band_negative", "4", "  -2", "0", "3abc", "2.75", "0", true},
        {"texts_round", "9", "1", "1", "1", "11.25", "20", false},
        {"texts_small", "10", "1", "1", "1", "0.01", "20", false},
        {"texts_hex", "0x10", "0x3", "0", "0", "0x10", "0x20", false},
        {"texts_words", "", "", "", "", "inf", "nan", false},
        {"texts_nan", "10", "1", "1", "1", "nan", "1", false},
        {"texts_overflow", "99999999999999999999", "2147483648", "-2147483649", "4294967297", "1e39", "-0", false},
        {"texts_tiny", "10", "1", "1", "1", "1e-40", "1", false},
        {"texts_underflow", "10", "1", "1", "1", "1e-50", "1", false},
        {"texts_long", "10", "1", "1", "1", "0.12345678901234567890123", "1", false},
        {"texts_float_max", "10", "1", "1", "1", "3.4028235677973366e38", "1", false},
        {"texts_exponent", "10", "1", "1", "1", "  1.5e+2xyz", "1", false},
        {"texts_large", "10", "1", "1", "1", "123456789", "1", false},
        {"texts_negative", "10", "1", "1", "1", "-0.000123456", "1", false},
        {"texts_end", "10", "1", "1", "1", "1.", "20", false},
    };
    for (const Texts &t : texts) {
        RunCase &c = p.add(p.matrix, t.name, p.frames(5, 7, MIXED));
        c.limit = 720;
        c.dialog.harmonics = t.harmonics;
        c.dialog.minHarmonic = t.minH;
        c.dialog.mainHarmonic = t.mainH;
        c.dialog.maxHarmonic = t.maxH;
        c.dialog.aggression = t.aggression;
        c.dialog.rejection = t.rejection;
        c.dialog.notch = t.notch;
    }

    // The timing log: full processing of the zelt build, one line per frame.
    {
        RunCase &c = p.add(p.timing, "timing_720x576_n10", p.sequence(720, 576));
        c.fresh = true;
        c.dialog.full = true;
        RunCase &d = p.add(p.timing, "timing_65x4_n7", p.sequence(65, 4));
        d.dialog.full = true;
        d.dialog.harmonics = "7";
    }

    for (const auto &f : p.written)
        if (!f.second)
            return false;
    for (const auto &list : {std::make_pair("matrix.txt", &p.matrix), std::make_pair("timing.txt", &p.timing)}) {
        FILE *f = fopen((dir + list.first).c_str(), "w");
        if (!f) {
            *error = "cannot create " + dir + list.first;
            return false;
        }
        fprintf(f, "# Generated by the case runner's plan command; one case per line.\n");
        for (const RunCase &c : *list.second)
            fprintf(f, "%s\n", formatCase(c).c_str());
        if (fclose(f) != 0) {
            *error = "cannot write " + dir + list.first;
            return false;
        }
    }
    return true;
}

// --- comparison ---

namespace {

std::map<std::string, std::string> readResults(const std::string &dir)
{
    std::map<std::string, std::string> results;
    FILE *f = fopen((dir + "results.txt").c_str(), "r");
    if (!f)
        return results;
    char line[4096];
    while (fgets(line, sizeof line, f)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const size_t space = text.find(' ');
        results[text.substr(0, space)] = space == std::string::npos ? "" : text.substr(space + 1);
    }
    fclose(f);
    return results;
}

// Reports the first difference between two frame files; true when equal.
bool sameFrames(const std::string &what, const std::string &a, const std::string &b)
{
    FrameSet fa, fb;
    std::string error;
    if (!readFrameSet(a, &fa, &error) || !readFrameSet(b, &fb, &error)) {
        printf("%s: %s\n", what.c_str(), error.c_str());
        return false;
    }
    if (fa.w != fb.w || fa.h != fb.h || fa.frames.size() != fb.frames.size()) {
        printf("%s: %dx%d x %zu frames against %dx%d x %zu\n", what.c_str(), fa.w, fa.h, fa.frames.size(), fb.w, fb.h,
               fb.frames.size());
        return false;
    }
    for (size_t f = 0; f < fa.frames.size(); f++) {
        const std::vector<uint8_t> &x = fa.frames[f], &y = fb.frames[f];
        size_t first = x.size(), count = 0;
        for (size_t i = 0; i < x.size(); i++)
            if (x[i] != y[i]) {
                if (first == x.size())
                    first = i;
                count++;
            }
        if (count) {
            const size_t row = first / ((size_t)fa.w * 4), col = first % ((size_t)fa.w * 4);
            printf("%s: frame %zu differs in %zu bytes; first at memory row %zu, pixel %zu, byte %zu: %u against %u\n",
                   what.c_str(), f, count, row, col / 4, col % 4, x[first], y[first]);
            return false;
        }
    }
    return true;
}

}  // namespace

int compareOutputs(const std::string &listPath, const std::string &dirAIn, const std::string &dirBIn)
{
    std::vector<RunCase> cases;
    std::string error;
    if (!readCaseList(listPath, &cases, &error)) {
        printf("%s\n", error.c_str());
        return 1;
    }
    std::vector<std::string> dirs;
    for (std::string d : {dirAIn, dirBIn}) {
        if (d.empty())
            continue;
        if (d.back() != '/' && d.back() != '\\')
            d += '/';
        if (fileExists(d + "SKIPPED")) {
            printf("%s: the run was skipped\n", d.c_str());
            return 77;
        }
        dirs.push_back(d);
    }
    std::map<std::string, const RunCase *> byName;
    for (const RunCase &c : cases)
        byName[c.name] = &c;
    int differences = 0;
    std::vector<std::map<std::string, std::string>> results;
    for (const std::string &d : dirs) {
        results.push_back(readResults(d));
        if (results.back().empty()) {
            printf("%s: no results.txt\n", d.c_str());
            return 1;
        }
    }
    for (const RunCase &c : cases) {
        for (size_t i = 0; i < dirs.size(); i++) {
            auto it = results[i].find(c.name);
            if (it == results[i].end()) {
                printf("%s: not run in %s\n", c.name.c_str(), dirs[i].c_str());
                differences++;
            }
            if (!c.same.empty() && !sameFrames(c.name + " against " + c.same + " in " + dirs[i], dirs[i] + c.output,
                                               dirs[i] + byName[c.same]->output))
                differences++;
        }
        if (dirs.size() == 2) {
            const auto a = results[0].find(c.name), b = results[1].find(c.name);
            if (a != results[0].end() && b != results[1].end() && a->second != b->second) {
                printf("%s: results differ:\n  %s\n  %s\n", c.name.c_str(), a->second.c_str(), b->second.c_str());
                differences++;
            }
            if (!sameFrames(c.name, dirs[0] + c.output, dirs[1] + c.output))
                differences++;
        }
    }
    printf("%zu cases compared, %d differences\n", cases.size(), differences);
    return differences ? 1 : 0;
}
