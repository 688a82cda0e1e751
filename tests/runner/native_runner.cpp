// The native twin of the Win32 case runner: the same case lists and frame
// files, with the module loaded by file through its two exports and its
// dialog played through the dialog layer's host interface.
//
//   zelt_case_runner plan DIR
//   zelt_case_runner run MODULE.so LIST OUTDIR
//   zelt_case_runner compare LIST DIR_A [DIR_B]
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "platform/dialog_host.h"
#include "tests/runner/case_runner.h"

namespace {

FilterDefinition hostCopy;
int registrations = 0;

FilterDefinition *VDCALL addFilter(FilterModule *, FilterDefinition *fd, int length)
{
    if (length != (int)sizeof(FilterDefinition))
        return nullptr;
    hostCopy = *fd;
    registrations++;
    return &hostCopy;
}

void VDCALL removeFilter(FilterDefinition *fd)
{
    if (fd == &hostCopy)
        registrations--;
}

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

void play(ZeltDialogUser *u, void *context)
{
    Play &p = *(Play *)context;
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
        ff_.addFilter = addFilter;
        ff_.removeFilter = removeFilter;
    }
    bool open(std::string *error) override
    {
        // A bare file name would make dlopen search the library path.
        const std::string name = path_.find('/') == std::string::npos ? "./" + path_ : path_;
        dll_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!dll_) {
            *error = dlerror();
            return false;
        }
        init_ = (FilterModuleInit2Proc)dlsym(dll_, "VirtualdubFilterModuleInit2");
        deinit_ = (FilterModuleDeinitProc)dlsym(dll_, "VirtualdubFilterModuleDeinit");
        int version = 0, compat = 0;
        if (!init_ || !deinit_ || init_((FilterModule *)dll_, &ff_, &version, &compat) != 0 || registrations != 1) {
            *error = "cannot register " + path_;
            dlclose(dll_);
            dll_ = nullptr;
            return false;
        }
        return true;
    }
    void close() override
    {
        if (!dll_)
            return;
        deinit_((FilterModule *)dll_, &ff_);
        dlclose(dll_);
        dll_ = nullptr;
    }
    const FilterDefinition &definition() override { return hostCopy; }
    const FilterFunctions *functions() override { return &ff_; }
    int call(const void *fn, std::initializer_list<uintptr_t> args) override
    {
        const uintptr_t *a = args.begin();
        if (args.size() == 2)
            return ((int (*)(uintptr_t, uintptr_t))fn)(a[0], a[1]);
        return ((int (*)(uintptr_t, uintptr_t, uintptr_t))fn)(a[0], a[1], a[2]);
    }
    int configure(FilterActivation *fa, const DialogEntries &entries, std::string *shown,
                  std::string *problem) override
    {
        Play p{&entries, {}, {}};
        ZeltDialogHost dialogHost = zeltDialogHost(play, &p);
        const int rc = hostCopy.configProc(fa, &ff_, (HWND)&dialogHost);
        *shown = p.shown;
        *problem = p.problem;
        return rc;
    }

private:
    std::string path_;
    void *dll_ = nullptr;
    FilterModuleInit2Proc init_ = nullptr;
    FilterModuleDeinitProc deinit_ = nullptr;
    FilterFunctions ff_{};
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
