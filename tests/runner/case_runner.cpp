#include "tests/runner/case_runner.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <memory>
#include <vector>

#if defined(_WIN32)
#include <direct.h>
#else
#include <sys/stat.h>
#endif

const int kDialogEdits[6] = {1001, 1009, 1007, 1008, 1010, 1011};
const int kDialogBoxes[5] = {1002, 1005, 1006, 1012, 1013};

void dialogTexts(const DialogEntries &e, const std::string *texts[6], bool boxes[5])
{
    const std::string *t[6] = {&e.harmonics,   &e.minHarmonic, &e.mainHarmonic,
                               &e.maxHarmonic, &e.aggression,  &e.rejection};
    const bool b[5] = {e.display, e.notch, e.full, e.dc, e.temporal};
    for (int i = 0; i < 6; i++)
        texts[i] = t[i];
    for (int i = 0; i < 5; i++)
        boxes[i] = b[i];
}

std::string showDialogText(const std::string edits[6], const std::string &estimate, const int boxes[5])
{
    std::string s;
    for (int i = 0; i < 6; i++)
        s += edits[i] + "|";
    s += estimate + "|";
    for (int i = 0; i < 5; i++)
        s += boxes[i] ? '1' : '0';
    // One word in the results line.
    for (char &ch : s)
        if (ch == ' ' || ch == '\t')
            ch = '_';
    return s;
}

bool makeDirectory(const std::string &path)
{
#if defined(_WIN32)
    _mkdir(path.c_str());
#else
    mkdir(path.c_str(), 0777);
#endif
    FILE *probe = fopen((path + "/.probe").c_str(), "w");
    if (!probe)
        return false;
    fclose(probe);
    remove((path + "/.probe").c_str());
    return true;
}

namespace {

// Guard bytes around every bitmap: nothing may be written outside it.
constexpr size_t kGuard = 64;
constexpr uint8_t kGuardByte = 0xC3;

int vtableCallCount = 0;
void VDCALL trapVirtual()
{
    vtableCallCount++;
}
void (*const trapTable[16])() = {trapVirtual, trapVirtual, trapVirtual, trapVirtual, trapVirtual, trapVirtual,
                                 trapVirtual, trapVirtual, trapVirtual, trapVirtual, trapVirtual, trapVirtual,
                                 trapVirtual, trapVirtual, trapVirtual, trapVirtual};

// A bottom-up 32-bit bitmap as the editor hands it over: rows `pitch` bytes
// apart, size = pitch x h, its vtable slot filled.
struct CaseBitmap {
    std::vector<uint8_t> memory;
    VFBitmap bmp{};
    int pad = 0;

    CaseBitmap(int w, int h, int padBytes) : pad(padBytes)
    {
        const size_t pitch = (size_t)w * 4 + (size_t)padBytes;
        memory.assign(kGuard + pitch * (size_t)h + kGuard, kGuardByte);
        describeBitmap(&bmp, memory.data() + kGuard, w, h, (ptrdiff_t)pitch, (void *)trapTable);
    }
    uint8_t *row(int r) { return memory.data() + kGuard + (size_t)r * (size_t)bmp.pitch; }

    // Visible pixels from `px`; the padding gets bytes that must never show.
    void load(const std::vector<uint8_t> &px, uint32_t seed)
    {
        uint32_t x = seed | 1;
        for (int r = 0; r < bmp.h; r++) {
            memcpy(row(r), &px[(size_t)r * (size_t)bmp.w * 4], (size_t)bmp.w * 4);
            for (int i = 0; i < pad; i++) {
                x = x * 1103515245u + 12345u;
                row(r)[(size_t)bmp.w * 4 + (size_t)i] = (uint8_t)(x >> 16);
            }
        }
    }
    // Every byte of the image, padding included, from a pattern.
    void fill(uint32_t seed)
    {
        uint32_t x = seed | 1;
        for (size_t i = 0; i < (size_t)bmp.size; i++) {
            x = x * 1103515245u + 12345u;
            memory[kGuard + i] = (uint8_t)(x >> 16);
        }
    }
    std::vector<uint8_t> visible()
    {
        std::vector<uint8_t> px((size_t)bmp.w * 4 * (size_t)bmp.h);
        for (int r = 0; r < bmp.h; r++)
            memcpy(&px[(size_t)r * (size_t)bmp.w * 4], row(r), (size_t)bmp.w * 4);
        return px;
    }
    bool guardsIntact() const
    {
        for (size_t i = 0; i < kGuard; i++)
            if (memory[i] != kGuardByte || memory[memory.size() - 1 - i] != kGuardByte)
                return false;
        return true;
    }
};

// What the dialog of a freshly loaded module shows.
std::string freshDialog()
{
    const DialogEntries d;
    const std::string *texts[6];
    bool flags[5];
    dialogTexts(d, texts, flags);
    std::string edits[6];
    for (int i = 0; i < 6; i++)
        edits[i] = *texts[i];
    const int boxes[5] = {0, 0, 0, 0, 0};
    return showDialogText(edits, "0.15", boxes);
}

struct Runner {
    CaseHost &host;
    std::string listDir, outDir;
    bool loaded = false;
    int failures = 0;

    bool load()
    {
        std::string error;
        if (!host.open(&error)) {
            printf("%s\n", error.c_str());
            return false;
        }
        loaded = true;
        return true;
    }
    void unload()
    {
        if (loaded)
            host.close();
        loaded = false;
    }

    // One case; returns its results line (without the name).
    std::string run(const RunCase &c, int index)
    {
        FrameSet in;
        std::string error;
        if (!readFrameSet(listDir + c.source, &in, &error)) {
            failures++;
            printf("%s: %s\n", c.name.c_str(), error.c_str());
            return "error=source";
        }
        if (c.fresh) {
            unload();
            if (!load()) {
                failures++;
                return "error=load";
            }
        }
        std::string line;
        LoadedModule &m = host.module();

        // The dialog sees the width the case names (the editor's current
        // source when the user opens it).
        CaseBitmap src(in.w, in.h, c.pad), dst(in.w, in.h, c.pad);
        FilterActivation fa = m.activation(&src.bmp, &dst.bmp);
        {
            CaseBitmap dialogSource(c.limit >= 0 ? c.limit : in.w, 1, 0);
            FilterActivation dialogFa = fa;
            dialogFa.src = &dialogSource.bmp;
            std::string shown, problem;
            const int rc = host.configure(&dialogFa, c.dialog, &shown, &problem);
            line += "config=" + std::to_string(rc) + " shown=" + shown;
            if (c.fresh && shown != freshDialog()) {
                problem += "a freshly loaded module shows " + shown + " instead of the defaults " + freshDialog();
            }
            if (!problem.empty()) {
                failures++;
                printf("%s: %s\n", c.name.c_str(), problem.c_str());
                line += " error=dialog";
            }
        }
        line += " start=" + std::to_string(m.callStart(&fa));
        FrameSet out;
        out.w = in.w;
        out.h = in.h;
        line += " run=";
        bool guards = true;
        for (size_t f = 0; f < in.frames.size(); f++) {
            src.load(in.frames[f], (uint32_t)(index * 131 + (int)f));
            dst.fill((uint32_t)(index * 7 + (int)f) ^ 0x5A5A5A5Au);
            const int rc = m.callRun(&fa);
            line += (f ? "," : "") + std::to_string(rc);
            out.frames.push_back(dst.visible());
            guards = guards && src.guardsIntact() && dst.guardsIntact();
        }
        line += " end=" + std::to_string(m.callEnd(&fa));
        if (!guards) {
            failures++;
            printf("%s: written outside a bitmap\n", c.name.c_str());
            line += " guards=broken";
        }
        if (vtableCallCount) {
            failures++;
            printf("%s: the module called the bitmap's vtable\n", c.name.c_str());
            line += " vtable=" + std::to_string(vtableCallCount);
            vtableCallCount = 0;
        }
        if (!writeFrameSet(outDir + c.output, out, &error)) {
            failures++;
            printf("%s: %s\n", c.name.c_str(), error.c_str());
        }
        return line;
    }
};

}  // namespace

int runCases(CaseHost &host, const std::string &listPath, const std::string &outDirIn)
{
    std::vector<RunCase> cases;
    std::string error;
    if (!readCaseList(listPath, &cases, &error)) {
        printf("%s\n", error.c_str());
        return 1;
    }
    std::string outDir = outDirIn;
    if (outDir.empty() || (outDir.back() != '/' && outDir.back() != '\\'))
        outDir += '/';
    if (!makeDirectory(outDir)) {
        printf("cannot create %s\n", outDir.c_str());
        return 1;
    }
    remove((outDir + "SKIPPED").c_str());
    FILE *results = fopen((outDir + "results.txt").c_str(), "w");
    if (!results) {
        printf("cannot create %sresults.txt\n", outDir.c_str());
        return 1;
    }
    Runner r{host, directoryOf(listPath), outDir};
    const clock_t begin = clock();
    if (!r.load()) {
        fclose(results);
        return 1;
    }
    const bool times = getenv("ZELT_RUNNER_TIMES") != nullptr;
    for (size_t i = 0; i < cases.size(); i++) {
        const clock_t caseBegin = clock();
        const std::string line = r.run(cases[i], (int)i);
        if (times)
            printf("%8.3f s  %s\n", (double)(clock() - caseBegin) / CLOCKS_PER_SEC, cases[i].name.c_str());
        fprintf(results, "%s %s\n", cases[i].name.c_str(), line.c_str());
        fflush(results);
        if (!r.loaded)
            break;
    }
    r.unload();
    fclose(results);
    printf("%zu cases in %.1f s, %d problems\n", cases.size(), (double)(clock() - begin) / CLOCKS_PER_SEC, r.failures);
    return r.failures ? 1 : 0;
}

int caseRunnerMain(int argc, char **argv, CaseHost *(*makeHost)(const char *module))
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "plan" && argc == 3) {
        std::string error;
        const std::string dir = argv[2];
        if (!makeDirectory(dir) || !makeDirectory(dir + "/frames") || !planCases(dir, &error)) {
            printf("plan: %s\n", error.empty() ? "cannot create the directories" : error.c_str());
            return 1;
        }
        return 0;
    }
    if (command == "run" && argc == 5) {
        std::unique_ptr<CaseHost> host(makeHost(argv[2]));
        return runCases(*host, argv[3], argv[4]);
    }
    if (command == "compare" && (argc == 4 || argc == 5))
        return compareOutputs(argv[2], argv[3], argc == 5 ? argv[4] : "");
    printf("usage: %s plan DIR | run MODULE LIST OUTDIR | compare LIST DIR_A [DIR_B]\n", argc ? argv[0] : "runner");
    return 2;
}
