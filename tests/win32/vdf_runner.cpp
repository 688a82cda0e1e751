// The Win32 case runner: plays the editor towards one .vdf over a case list
// (tests/runner/case_files.h), the way the editor does it: the module loaded
// by file and registered through its exports, settings entered in the
// module's real dialog (user32 and comctl32, under Wine with a display),
// bottom-up bitmaps, start, one run per frame, end, every call with a
// misaligned stack. Its native twin (tests/runner/native_runner.cpp) reads
// the same files, so the two builds can be compared byte for byte.
//
//   vdf_runner plan DIR
//   vdf_runner run MODULE.vdf LIST OUTDIR     (exit 77 without a display, or
//                                             when ZELT_CPU names a level this CPU lacks)
//   vdf_runner compare LIST DIR_A [DIR_B]
#include <windows.h>

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine/dsp.h"
#include "hosting/module.h"
#include "tests/runner/case_runner.h"
#include "tests/win32/vdf_host.h"

namespace {

const char kCaption[] = "Quorvel Transform Filter Configuration";

// What the user of the dialog enters, and what they saw and could not do.
struct User {
    const DialogEntries *entries = nullptr;
    std::string shown, problem;
};
User user;

std::string text(HWND dialog, int id)
{
    char buf[128] = "";
    GetDlgItemTextA(dialog, id, buf, sizeof buf);
    return buf;
}

void act(HWND dialog)
{
    std::string edits[6];
    int boxes[5];
    for (int i = 0; i < 6; i++)
        edits[i] = text(dialog, kDialogEdits[i]);
    for (int i = 0; i < 5; i++)
        boxes[i] = IsDlgButtonChecked(dialog, kDialogBoxes[i]) == BST_CHECKED;
    user.shown = showDialogText(edits, text(dialog, kDialogEstimate), boxes);

    const std::string *texts[6];
    bool flags[5];
    dialogTexts(*user.entries, texts, flags);
    for (int i = 0; i < 6; i++) {
        SetDlgItemTextA(dialog, kDialogEdits[i], texts[i]->c_str());
        if (text(dialog, kDialogEdits[i]) != *texts[i])
            user.problem += "control " + std::to_string(kDialogEdits[i]) + " did not take " + *texts[i] + "; ";
    }
    for (int i = 0; i < 5; i++) {
        const UINT wanted = flags[i] ? BST_CHECKED : BST_UNCHECKED;
        HWND box = GetDlgItem(dialog, kDialogBoxes[i]);
        for (int clicks = 0; clicks < 2 && IsDlgButtonChecked(dialog, kDialogBoxes[i]) != wanted; clicks++)
            SendMessageA(box, BM_CLICK, 0, 0);
        if (IsDlgButtonChecked(dialog, kDialogBoxes[i]) != wanted)
            user.problem += "box " + std::to_string(kDialogBoxes[i]) + " does not tick; ";
    }
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

class Win32Host : public CaseHost {
public:
    explicit Win32Host(const char *path) : path_(path)
    {
        // The editor's main window is the dialog's owner.
        owner_ = createOwnerWindow("QuorvelCaseRunner");
    }
    ~Win32Host() override
    {
        if (owner_)
            DestroyWindow(owner_);
    }
    bool open(std::string *error) override
    {
        // Every call with a misaligned stack, and unmapped at close so that
        // the next open meets the defaults.
        LoadOptions options;
        options.closeOnUnload = true;
        options.caller = callMisaligned;
        return module_.load(path_, *error, options);
    }
    void close() override { module_.unload(); }
    LoadedModule &module() override { return module_; }
    int configure(FilterActivation *fa, const DialogEntries &entries, std::string *shown, std::string *problem) override
    {
        user = User();
        user.entries = &entries;
        bool acted = false;
        const int rc = playDialog(
            owner_, kCaption, [&] { return module_.callConfig(fa, owner_); }, act, &acted);
        *shown = user.shown;
        *problem = user.problem;
        if (rc == 0 && !acted)
            *problem += "the dialog ended without its user";
        return rc;
    }

private:
    std::string path_;
    HWND owner_ = nullptr;
    LoadedModule module_;
};

CaseHost *makeHost(const char *module)
{
    return new Win32Host(module);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && strcmp(argv[1], "run") == 0) {
        // Settings reach the module only through its dialog, which needs a
        // display. A level this CPU lacks would quietly run the one below it.
        const char *display = getenv("DISPLAY");
        const int level = cpuLevelFromName(getenv("ZELT_CPU"));
        const bool noDisplay = !display || !*display, noLevel = level > (int)cpuDetect();
        if (noDisplay || noLevel) {
            if (noDisplay)
                printf("no display: skipped\n");
            else
                printf("this CPU has no %s: skipped\n", getenv("ZELT_CPU"));
            if (makeDirectory(argv[4])) {
                FILE *f = fopen((std::string(argv[4]) + "/SKIPPED").c_str(), "w");
                if (f)
                    fclose(f);
            }
            return 77;
        }
        // As the editor does at start: the common controls, the up-down among them.
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
    }
    return caseRunnerMain(argc, argv, makeHost);
}
