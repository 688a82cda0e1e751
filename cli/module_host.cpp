// Loading a filter module and driving it as the editor does.
#include "cli/module_host.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "platform/dialog_host.h"

#ifndef QUORVEL_BUILD_MODULE_DIR
#define QUORVEL_BUILD_MODULE_DIR ""
#endif

// Opaque to the modules: the host's own record of a loaded module.
struct FilterModule {
    int unused;
};

namespace {

// The one filter a module registers, host-owned: the module sees this copy's
// address as its handle and gives it back to removeFilter.
struct Registration {
    FilterDefinition def;
    bool live;
};
Registration registration = {};
int registrations = 0;

FilterModule hostModule = {0};

FilterDefinition *VDCALL hostAddFilter(FilterModule *, FilterDefinition *fd, int length)
{
    // A definition shorter than ours lacks callbacks we would call; a second
    // registration from one module is not something this host offers.
    if (!fd || length < (int)sizeof(FilterDefinition) || registration.live)
        return nullptr;
    memcpy(&registration.def, fd, sizeof(FilterDefinition));
    registration.def.next = registration.def.prev = nullptr;
    registration.def.module = &hostModule;
    registration.live = true;
    registrations++;
    return &registration.def;
}

void VDCALL hostRemoveFilter(FilterDefinition *fd)
{
    if (fd == &registration.def)
        registration.live = false;
}

bool VDCALL hostYes()
{
    return true;
}

void VDCALL hostInitVTables(void *)
{
}

void VDCALL hostOutOfMemory()
{
    fprintf(stderr, "quorvel: the module ran out of memory\n");
}

void VDCALL hostExcept(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    fprintf(stderr, "quorvel: the module reports: ");
    vfprintf(stderr, format, ap);
    fputc('\n', stderr);
    va_end(ap);
}

long VDCALL hostCpuFlags()
{
    return 0;
}

const FilterFunctions functions = {hostAddFilter, hostRemoveFilter, hostYes,       hostYes,
                                   hostInitVTables, hostOutOfMemory, hostExcept, hostCpuFlags};

std::string exeDir()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    buf[n] = 0;
    std::string p(buf);
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

bool isFile(const std::string &p)
{
    return access(p.c_str(), R_OK) == 0;
}

// What the user script does, and what went wrong.
struct Script {
    const std::vector<DialogAction> *actions;
    DialogState *state;  // reading instead of acting
    std::string problem;
};

void playScript(ZeltDialogUser *u, void *context)
{
    Script *s = (Script *)context;
    if (s->state) {
        ZeltDialogInfo info{};
        if (u->describe(u, &info) == ZELT_DIALOG_OK) {
            for (int i = 0; i < info.controlCount; i++) {
                ZeltDialogControlInfo c{};
                if (u->control(u, i, &c) != ZELT_DIALOG_OK || c.id < 0 || !c.className)
                    continue;
                if (strcmp(c.className, "edit") == 0)
                    s->state->texts.emplace_back(c.id, c.text ? c.text : "");
                else if (strcmp(c.className, "button") == 0 && (c.style & 0xF) == 3)  // automatic check box
                    s->state->checks.emplace_back(c.id, c.checked);
            }
        }
        u->click(u, 2);  // Cancel
        return;
    }
    for (const DialogAction &a : *s->actions) {
        const int rc = a.isCheck ? u->setChecked(u, a.id, a.checked ? 1 : 0) : u->setText(u, a.id, a.text.c_str());
        if (rc != ZELT_DIALOG_OK) {
            s->problem = "the dialog has no usable control " + std::to_string(a.id) + " (" +
                         (rc == ZELT_DIALOG_REFUSED ? "disabled" : rc == ZELT_DIALOG_ENDED ? "dialog closed"
                                                                                             : "no such control") +
                         ")";
            u->click(u, 2);
            return;
        }
    }
    if (u->click(u, 1) != ZELT_DIALOG_OK)
        s->problem = "the dialog's OK button could not be pressed";
}

}  // namespace

const FilterFunctions *hostFunctions()
{
    return &functions;
}

std::string DialogState::text(int id) const
{
    for (const auto &t : texts)
        if (t.first == id)
            return t.second;
    return std::string();
}

int DialogState::checked(int id) const
{
    for (const auto &c : checks)
        if (c.first == id)
            return c.second;
    return -1;
}

std::string findModule(const std::string &nameOrPath)
{
    if (nameOrPath != "zelt_lpf" && nameOrPath != "zelt")
        return nameOrPath;
    const std::string file = nameOrPath + ".so";
    std::vector<std::string> candidates;
    const std::string dir = exeDir();
    if (!dir.empty()) {
        candidates.push_back(dir + "/" + file);
        candidates.push_back(dir + "/lib" + file);
        candidates.push_back(dir + "/../lib/quorvel/" + file);
    }
    const std::string buildDir = QUORVEL_BUILD_MODULE_DIR;
    if (!buildDir.empty()) {
        candidates.push_back(buildDir + "/" + file);
        candidates.push_back(buildDir + "/lib" + file);
    }
    for (const std::string &c : candidates)
        if (isFile(c))
            return c;
    return candidates.empty() ? file : candidates.front();
}

LoadedModule::~LoadedModule()
{
    unload();
}

bool LoadedModule::load(const std::string &path, std::string &err)
{
    unload();
    path_ = path;
    // A bare file name would make dlopen search the library path instead.
    const std::string openName = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(openName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char *why = dlerror();
        err = "cannot load module '" + path + "': " + (why ? why : "unknown reason");
        return false;
    }
    FilterModuleInit2Proc init = (FilterModuleInit2Proc)dlsym(handle_, "VirtualdubFilterModuleInit2");
    deinit_ = (FilterModuleDeinitProc)dlsym(handle_, "VirtualdubFilterModuleDeinit");
    if (!init || !deinit_) {
        err = "'" + path + "' is not a filter module (it lacks the module entry points)";
        unload();
        return false;
    }
    registration.live = false;
    int version = 0, compatibility = 0;
    const int rc = init(&hostModule, &functions, &version, &compatibility);
    if (rc != 0 || !registration.live) {
        err = "module '" + path + "' refused registration (init returned " + std::to_string(rc) + ")";
        if (rc == 0)
            deinit_(&hostModule, &functions);
        deinit_ = nullptr;
        registration.live = false;
        unload();
        return false;
    }
    registered_ = true;
    if (compatibility > VD_FILTER_VERSION) {
        err = "module '" + path + "' needs a newer host interface (version " + std::to_string(compatibility) + ")";
        unload();
        return false;
    }
    const FilterDefinition &d = registration.def;
    if (!d.runProc) {
        err = "module '" + path + "' registered a filter without a run callback";
        unload();
        return false;
    }
    return true;
}

const char *LoadedModule::filterName() const
{
    return registered_ && registration.def.name ? registration.def.name : "";
}

void LoadedModule::activate(HostBitmap &src, HostBitmap &dst)
{
    src.describe(&srcVb_);
    dst.describe(&dstVb_);
    memset(&fa_, 0, sizeof fa_);
    fa_.filter = &registration.def;
    fa_.filter_data = nullptr;
    fa_.dst = &dstVb_;
    fa_.src = &srcVb_;
    fa_.last = &srcVb_;
}

bool LoadedModule::playDialog(HostBitmap &src, HostBitmap &dst, void *script, std::string &err)
{
    const FilterDefinition &d = registration.def;
    if (!d.configProc) {
        err = "module '" + path_ + "' has no configuration dialog";
        return false;
    }
    activate(src, dst);
    ZeltDialogHost host = zeltDialogHost(playScript, script);
    const int rc = d.configProc(&fa_, &functions, (HWND)&host);
    Script *s = (Script *)script;
    if (!s->problem.empty()) {
        err = s->problem;
        return false;
    }
    if (!s->state && rc != 0) {
        err = "the module's configuration dialog could not be completed (status " + std::to_string(rc) + ")";
        return false;
    }
    return true;
}

bool LoadedModule::configure(HostBitmap &src, HostBitmap &dst, const std::vector<DialogAction> &actions,
                             std::string &err)
{
    Script s{&actions, nullptr, std::string()};
    return playDialog(src, dst, &s, err);
}

bool LoadedModule::readDialog(HostBitmap &src, HostBitmap &dst, DialogState &state, std::string &err)
{
    state = DialogState();
    Script s{nullptr, &state, std::string()};
    return playDialog(src, dst, &s, err);
}

bool LoadedModule::start(HostBitmap &src, HostBitmap &dst, std::string &err)
{
    activate(src, dst);
    const FilterDefinition &d = registration.def;
    const int rc = d.startProc ? d.startProc(&fa_, &functions) : 0;
    started_ = true;  // the end callback runs even after a refused start
    if (rc != 0) {
        err = "the module cannot start on " + std::to_string(src.width()) + "x" + std::to_string(src.height()) +
              " frames (status " + std::to_string(rc) + "; too wide for its tables, or out of memory)";
        end();
        return false;
    }
    return true;
}

bool LoadedModule::run(HostBitmap &src, HostBitmap &dst, std::string &err)
{
    activate(src, dst);
    const int rc = registration.def.runProc(&fa_, &functions);
    if (rc != 0) {
        err = "the module failed on a frame (status " + std::to_string(rc) + ")";
        return false;
    }
    return true;
}

void LoadedModule::end()
{
    if (!started_)
        return;
    started_ = false;
    if (registration.def.endProc)
        registration.def.endProc(&fa_, &functions);
}

void LoadedModule::unload()
{
    end();
    if (registered_ && deinit_)
        deinit_(&hostModule, &functions);
    registered_ = false;
    registration.live = false;
    deinit_ = nullptr;
    // The library stays mapped until the process ends, as in the editor: a
    // module may keep process-wide memory for its whole life (the DC
    // history), and unmapping it would only turn that into a leak.
    handle_ = nullptr;
}
