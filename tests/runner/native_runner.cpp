// The native twin of the Win32 case runner: the same case lists and frame
// files, with the module loaded by file through its two exports and its
// dialog played through the dialog layer's host interface.
//
//   zelt_case_runner plan DIR
//   zelt_case_runner run MODULE.so LIST OUTDIR
//   zelt_case_runner compare LIST DIR_A [DIR_B]
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "hosting/dialog.h"
#include "hosting/module.h"
#include "tests/runner/case_runner.h"

namespace {

// The user in front of the dialog: reads what it shows, enters every value,
// presses OK.
struct Play {
    const DialogEntries *entries;
    std::string shown, problem;
};

std::string text(ZeltDialogUser *u, int id)
{
    char buf[128] = "";
    u->getText(u, id, buf, sizeof buf);
    return buf;
}

void play(ZeltDialogUser *u, Play &p)
{
    std::string edits[6];
    int boxes[5];
    for (int i = 0; i < 6; i++)
        edits[i] = text(u, kDialogEdits[i]);
    for (int i = 0; i < 5; i++)
        boxes[i] = u->isChecked(u, kDialogBoxes[i]) == 1;
    p.shown = showDialogText(edits, text(u, kDialogEstimate), boxes);

    const std::string *texts[6];
    bool flags[5];
    dialogTexts(*p.entries, texts, flags);
    for (int i = 0; i < 6; i++)
        if (u->setText(u, kDialogEdits[i], texts[i]->c_str()) != ZELT_DIALOG_OK)
            p.problem += "cannot enter text into " + std::to_string(kDialogEdits[i]) + "; ";
    for (int i = 0; i < 5; i++)
        if (u->setChecked(u, kDialogBoxes[i], flags[i]) != ZELT_DIALOG_OK)
            p.problem += "cannot set box " + std::to_string(kDialogBoxes[i]) + "; ";
    u->click(u, 1);
}

class NativeHost : public CaseHost {
public:
    explicit NativeHost(const char *path) : path_(path)
    {
        // The zelt build's timing log goes beside the outputs, not into the
        // working directory, unless the caller chose a place.
        setenv("ZELT_TIMING_LOG", "native-timing.log", 0);
    }
    bool open(std::string *error) override
    {
        // Unmapped at close, so that the next open meets the defaults.
        LoadOptions options;
        options.closeOnUnload = true;
        return module_.load(path_, *error, options);
    }
    void close() override { module_.unload(); }
    LoadedModule &module() override { return module_; }
    int configure(FilterActivation *fa, const DialogEntries &entries, std::string *shown, std::string *problem) override
    {
        Play p{&entries, {}, {}};
        DialogPlayer user([&p](ZeltDialogUser *u) { play(u, p); });
        const int rc = module_.callConfig(fa, user.parent());
        *shown = p.shown;
        *problem = p.problem;
        return rc;
    }

private:
    std::string path_;
    LoadedModule module_;
};

CaseHost *makeHost(const char *module)
{
    return new NativeHost(module);
}

}  // namespace

int main(int argc, char **argv)
{
    return caseRunnerMain(argc, argv, makeHost);
}
