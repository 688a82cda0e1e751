// Loading a filter module and driving it as the editor does.
#include "hosting/module.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

#ifndef ZELT_HOSTING_BUILD_MODULE_DIR
#define ZELT_HOSTING_BUILD_MODULE_DIR ""
#endif

namespace {

#if defined(_WIN32)
const char kModuleSuffix[] = ".vdf";
#else
const char kModuleSuffix[] = ".so";
#endif

// The modules held by a LoadedModule, by identity (loader handle or init).
std::vector<const void *> &heldModules()
{
    static std::vector<const void *> held;
    return held;
}

bool isHeld(const void *identity)
{
    const std::vector<const void *> &h = heldModules();
    return std::find(h.begin(), h.end(), identity) != h.end();
}

std::string exeDir()
{
#if defined(_WIN32)
    char buf[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf)
        return std::string();
    std::string p(buf, n);
    const size_t slash = p.find_last_of("/\\");
#else
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    buf[n] = 0;
    std::string p(buf);
    const size_t slash = p.rfind('/');
#endif
    return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

void *openLibrary(const std::string &path, std::string &why)
{
#if defined(_WIN32)
    HMODULE h = LoadLibraryA(path.c_str());
    if (!h)
        why = "error " + std::to_string((unsigned long)GetLastError());
    return (void *)h;
#else
    // A bare file name would make dlopen search the library path instead.
    const std::string openName = path.find('/') == std::string::npos ? "./" + path : path;
    void *h = dlopen(openName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char *e = dlerror();
        why = e ? e : "unknown reason";
    }
    return h;
#endif
}

// A copy of the file under a new name is a new mapping with statics of its
// own, while the C runtime stays shared with the rest of the process. The copy
// is named in `tempPath` where it must outlive the load (Windows keeps a
// loaded file open); elsewhere it is unlinked at once.
bool copyFile(const std::string &from, const std::string &to, bool exclusive, std::string &why)
{
    FILE *in = fopen(from.c_str(), "rb");
    if (!in) {
        why = "cannot read '" + from + "'";
        return false;
    }
    FILE *out = fopen(to.c_str(), exclusive ? "wbx" : "wb");
    bool ok = out != nullptr;
    char buf[1 << 16];
    size_t n;
    while (ok && (n = fread(buf, 1, sizeof buf, in)) > 0)
        ok = fwrite(buf, 1, n, out) == n;
    ok = ok && !ferror(in);
    fclose(in);
    if (out && fclose(out) != 0)
        ok = false;
    if (!ok)
        why = "cannot write a private copy at '" + to + "'";
    return ok;
}

void *openPrivateLibrary(const std::string &path, std::string &why, std::string &tempPath)
{
#if defined(_WIN32)
    char dir[MAX_PATH];
    const DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir) {
        why = "no temporary directory for a private copy";
        return nullptr;
    }
    static unsigned serial = 0;
    const std::string copy = std::string(dir) + "zelt-instance-" +
                             std::to_string((unsigned long)GetCurrentProcessId()) + "-" + std::to_string(++serial) +
                             kModuleSuffix;
    if (!copyFile(path, copy, true, why))
        return nullptr;
    void *h = openLibrary(copy, why);
    if (!h) {
        DeleteFileA(copy.c_str());
        return nullptr;
    }
    tempPath = copy;
    return h;
#else
    tempPath.clear();
    const char *tmp = getenv("TMPDIR");
    std::string copy = std::string(tmp && *tmp ? tmp : "/tmp") + "/zelt-instance-XXXXXX";
    std::string copyWhy;
    const int fd = mkstemp(&copy[0]);
    if (fd >= 0) {
        close(fd);
        void *h = copyFile(path, copy, false, copyWhy) ? openLibrary(copy, copyWhy) : nullptr;
        unlink(copy.c_str());  // the mapping outlives the name
        if (h)
            return h;
    } else {
        copyWhy = "cannot create a file in the temporary directory";
    }
    // A temporary directory mounted without exec: a namespace of its own
    // (a handful per process) gives the same separation.
    const std::string openName = path.find('/') == std::string::npos ? "./" + path : path;
    void *h = dlmopen(LM_ID_NEWLM, openName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char *e = dlerror();
        why = copyWhy + "; and no new link namespace: " + (e ? e : "unknown reason");
    }
    return h;
#endif
}

void removeTempFile(const std::string &p)
{
#if defined(_WIN32)
    DeleteFileA(p.c_str());
#else
    unlink(p.c_str());
#endif
}

void *findSymbol(void *handle, const char *name)
{
#if defined(_WIN32)
    return (void *)GetProcAddress((HMODULE)handle, name);
#else
    return dlsym(handle, name);
#endif
}

void closeLibrary(void *handle)
{
#if defined(_WIN32)
    FreeLibrary((HMODULE)handle);
#else
    dlclose(handle);
#endif
}

}  // namespace

bool isFile(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    fclose(f);
    return true;
}

std::string findModule(const std::string &nameOrPath)
{
    if (nameOrPath != "zelt_lpf" && nameOrPath != "zelt" && nameOrPath != "zelt_tone")
        return nameOrPath;
    const std::string file = nameOrPath + kModuleSuffix;
    std::vector<std::string> candidates;
    const std::string dir = exeDir();
    if (!dir.empty()) {
        candidates.push_back(dir + "/" + file);
        candidates.push_back(dir + "/lib" + file);
        candidates.push_back(dir + "/../lib/quorvel/" + file);
    }
    const std::string buildDir = ZELT_HOSTING_BUILD_MODULE_DIR;
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

bool LoadedModule::load(const std::string &path, std::string &err, const LoadOptions &options)
{
    unload();
    std::string why;
    void *handle = options.privateState ? openPrivateLibrary(path, why, tempPath_) : openLibrary(path, why);
    if (!handle) {
        err = options.privateState ? "cannot load a private instance of module '" + path + "': " + why
                                   : "cannot load module '" + path + "': " + why;
        return false;
    }
    FilterModuleInit2Proc init = (FilterModuleInit2Proc)findSymbol(handle, "VirtualdubFilterModuleInit2");
    FilterModuleDeinitProc deinit = (FilterModuleDeinitProc)findSymbol(handle, "VirtualdubFilterModuleDeinit");
    if (!init || !deinit) {
        err = "'" + path + "' is not a filter module (it lacks the module entry points)";
        // Not registered, so nothing of it can be under way: unmapping is safe.
        if (!isHeld(handle))
            closeLibrary(handle);
        if (!tempPath_.empty())
            removeTempFile(tempPath_);
        tempPath_.clear();
        return false;
    }
    return attach(handle, handle, init, deinit, path, err, options);
}

bool LoadedModule::link(const ModuleEntryPoints &entry, std::string &err, const LoadOptions &options)
{
    unload();
    if (options.privateState) {
        err = "a module linked into the program has one state only: it cannot have private instances";
        return false;
    }
    if (!entry.init || !entry.deinit) {
        err = "the linked module lacks its entry points";
        return false;
    }
    return attach(nullptr, (const void *)entry.init, entry.init, entry.deinit, "(linked module)", err, options);
}

bool LoadedModule::attach(void *handle, const void *identity, FilterModuleInit2Proc init, FilterModuleDeinitProc deinit,
                          const std::string &name, std::string &err, const LoadOptions &options)
{
    path_ = name;
    options_ = options;
    if (isHeld(identity)) {
        // The loader handed out the same mapping again: the module's settings
        // and tables would be shared with the instance that holds it.
        err = "module '" + name +
              "' is already loaded in this process; its state is process-wide, so a second "
              "instance would share it";
        if (handle)
            closeLibrary(handle);  // only drops the reference this load took
        if (!tempPath_.empty())
            removeTempFile(tempPath_);
        tempPath_.clear();
        return false;
    }
    handle_ = handle;
    identity_ = identity;
    heldModules().push_back(identity);

    record_ = FilterModule{};
    hostAdoptModule(&record_);
    version_ = compatibility_ = 0;
    const int rc = options_.caller
                       ? (int)viaCaller((const void *)init, {(uintptr_t)&record_, (uintptr_t)hostServices(),
                                                             (uintptr_t)&version_, (uintptr_t)&compatibility_})
                       : init(&record_, hostServices(), &version_, &compatibility_);
    if (rc != 0 || !record_.live) {
        err = "module '" + name + "' refused registration (init returned " + std::to_string(rc) + ")";
        if (rc == 0)
            callDeinit(deinit);
        unload();
        return false;
    }
    deinit_ = deinit;
    if (compatibility_ > VD_FILTER_VERSION) {
        err = "module '" + name + "' needs a newer host interface (version " + std::to_string(compatibility_) + ")";
        unload();
        return false;
    }
    if (!record_.def.runProc) {
        err = "module '" + name + "' registered a filter without a run callback";
        unload();
        return false;
    }
    return true;
}

bool LoadedModule::unload()
{
    end();
    if (record_.live && deinit_)
        callDeinit(deinit_);
    const bool released = !record_.live;
    hostDropModule(&record_);
    record_ = FilterModule{};
    deinit_ = nullptr;
    if (identity_) {
        std::vector<const void *> &h = heldModules();
        h.erase(std::find(h.begin(), h.end(), identity_));
    }
    identity_ = nullptr;
    // A private copy is nobody else's: it goes with its instance.
    if (handle_ && (options_.closeOnUnload || options_.privateState))
        closeLibrary(handle_);
    handle_ = nullptr;
    if (!tempPath_.empty())
        removeTempFile(tempPath_);
    tempPath_.clear();
    return released;
}

const char *LoadedModule::filterName() const
{
    return record_.live && record_.def.name ? record_.def.name : "";
}

uintptr_t LoadedModule::viaCaller(const void *fn, std::initializer_list<uintptr_t> args) const
{
    return options_.caller(fn, args.begin(), (int)args.size());
}

FilterActivation LoadedModule::activation(VFBitmap *src, VFBitmap *dst) const
{
    FilterActivation fa;
    memset(&fa, 0, sizeof fa);
    fa.filter = const_cast<FilterDefinition *>(&record_.def);
    fa.filter_data = nullptr;
    fa.dst = dst;
    fa.src = src;
    fa.last = src;
    return fa;
}

void LoadedModule::callDeinit(FilterModuleDeinitProc deinit)
{
    if (options_.caller)
        viaCaller((const void *)deinit, {(uintptr_t)&record_, (uintptr_t)hostServices()});
    else
        deinit(&record_, hostServices());
}

int LoadedModule::callConfig(FilterActivation *fa, HWND parent) const
{
    const FilterConfigProc p = record_.def.configProc;
    if (!p)
        return 0;
    if (options_.caller)
        return (int)viaCaller((const void *)p, {(uintptr_t)fa, (uintptr_t)hostServices(), (uintptr_t)parent});
    return p(fa, hostServices(), parent);
}

int LoadedModule::callStart(FilterActivation *fa) const
{
    const FilterStartProc p = record_.def.startProc;
    if (!p)
        return 0;
    if (options_.caller)
        return (int)viaCaller((const void *)p, {(uintptr_t)fa, (uintptr_t)hostServices()});
    return p(fa, hostServices());
}

int LoadedModule::callRun(const FilterActivation *fa) const
{
    const FilterRunProc p = record_.def.runProc;
    if (!p)
        return -1;
    if (options_.caller)
        return (int)viaCaller((const void *)p, {(uintptr_t)fa, (uintptr_t)hostServices()});
    return p(fa, hostServices());
}

int LoadedModule::callEnd(FilterActivation *fa) const
{
    const FilterEndProc p = record_.def.endProc;
    if (!p)
        return 0;
    if (options_.caller)
        return (int)viaCaller((const void *)p, {(uintptr_t)fa, (uintptr_t)hostServices()});
    return p(fa, hostServices());
}

void LoadedModule::activate(HostBitmap &src, HostBitmap &dst)
{
    src.describe(&srcVb_);
    dst.describe(&dstVb_);
    fa_ = activation(&srcVb_, &dstVb_);
}

bool LoadedModule::start(HostBitmap &src, HostBitmap &dst, std::string &err)
{
    activate(src, dst);
    const int rc = callStart(&fa_);
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
    const int rc = callRun(&fa_);
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
    callEnd(&fa_);
}
