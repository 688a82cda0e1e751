// A .vdf module as the editor meets it: loaded by file, exports
// resolved by name, registered, started, one frame, ended, and its dialog
// template read from its resources. Every call into a 32-bit module goes
// through a misaligned stack.
//
//   module_test zelt_lpf.vdf|zelt.vdf
#include <string.h>

#include "platform/dialog_template.h"
#include "tests/win32/vdf_host.h"

extern const ModuleResources moduleResources;  // generated from the .rc

namespace {

int call(const void *fn, std::initializer_list<uintptr_t> args)
{
    return (int)callMisaligned(fn, args.begin(), (int)args.size());
}

void checkDefinition(const FilterDefinition &d, const char *name)
{
    CHECK_STR(d.name, name);
    CHECK_STR(d.desc, "Applies specified curve filter to video signal.");
    CHECK_STR(d.maker, "Brantwick");
    CHECK(d.runProc && d.configProc && d.startProc && d.endProc);
    CHECK(!d.next && !d.prev && !d.module && !d.private_data && !d.script_obj);
    CHECK_EQ(d.inst_data_size, 0);
    CHECK(!d.initProc && !d.deinitProc && !d.paramProc && !d.stringProc && !d.fssProc);
}

void checkRegistration(const VdfModule &m, const char *name)
{
    {
        VdfHost host;
        int version = -1, compat = -1;
        CHECK_EQ(registerVdf(m, host, &version, &compat), 0);
        CHECK_EQ(version, 7);
        CHECK_EQ(compat, 4);
        CHECK_EQ(host.addCalls, 1);
        CHECK_EQ(host.definitionLength, sizeof(void *) == 8 ? 144 : 72);
        CHECK(host.module == (FilterModule *)m.dll);
        checkDefinition(host.copy, name);
        call((const void *)m.deinit, {(uintptr_t)m.dll, (uintptr_t)&host.ff});
        CHECK_EQ(host.removeCalls, 1);
        CHECK(host.removed == &host.copy);
    }
    {
        VdfHost refusing;
        refusing.refuse = true;
        int version = 1234, compat = 5678;
        CHECK_EQ(registerVdf(m, refusing, &version, &compat), 1);
        CHECK_EQ(version, 1234);
        CHECK_EQ(compat, 5678);
    }
}

void checkDllMain(const VdfModule &m)
{
    // Not exported by 64-bit modules: there the dialog tests show that the
    // loader's call kept the instance.
    if (!m.dllMain)
        return;
    // Thread attach and detach: nothing to do, always 1.
    CHECK_EQ(m.dllMain((HINSTANCE)m.dll, DLL_THREAD_ATTACH, nullptr), 1);
    CHECK_EQ(m.dllMain((HINSTANCE)m.dll, DLL_THREAD_DETACH, nullptr), 1);
}

void checkRun(const VdfModule &m)
{
    VdfHost host;
    int version = 0, compat = 0;
    if (registerVdf(m, host, &version, &compat) != 0) {
        CHECK(!"registration failed");
        return;
    }
    const FilterDefinition &d = host.copy;
    const uintptr_t ff = (uintptr_t)&host.ff;

    // Rows padded to a multiple of 64 bytes; a width that is not a multiple of 4.
    Frame f(181, 37, (181 * 4 + 63) & ~63);
    f.src.fillPattern(5);
    f.dst.fillPattern(6);
    CHECK_EQ(call((const void *)d.startProc, {(uintptr_t)&f.fa, ff}), 0);
    CHECK_EQ(call((const void *)d.startProc, {(uintptr_t)&f.fa, ff}), -1);  // one run at a time
    CHECK_EQ(call((const void *)d.runProc, {(uintptr_t)&f.fa, ff}), 0);
    CHECK(memcmp(f.dst.memory.data(), f.src.memory.data(), (size_t)f.src.bmp.size) == 0);
    CHECK_EQ(call((const void *)d.endProc, {(uintptr_t)&f.fa, ff}), 0);
    // After the end a new run starts again.
    CHECK_EQ(call((const void *)d.startProc, {(uintptr_t)&f.fa, ff}), 0);
    CHECK_EQ(call((const void *)d.endProc, {(uintptr_t)&f.fa, ff}), 0);
    CHECK_EQ(vtableCalls(), 0);
    call((const void *)m.deinit, {(uintptr_t)m.dll, ff});
}

void checkDialogResource(const VdfModule &m)
{
    DialogData d;
    std::string error;
    if (!readDialogResource(m.dll, 101, &d, &error)) {
        CHECK_STR(error, "");
        return;
    }
    const DialogTemplate &t = *findDialogTemplate(&moduleResources, 101);
    CHECK_EQ(d.style, t.style);
    CHECK_EQ(d.x, t.x);
    CHECK_EQ(d.y, t.y);
    CHECK_EQ(d.cx, t.cx);
    CHECK_EQ(d.cy, t.cy);
    CHECK(!d.hasMenu && !d.hasClass);
    CHECK_STR(d.caption, t.caption);
    CHECK_STR(d.fontName, t.fontName);
    CHECK_EQ(d.pointSize, t.pointSize);
    CHECK_EQ(d.items.size(), (size_t)t.itemCount);
    for (size_t i = 0; i < d.items.size() && i < (size_t)t.itemCount; i++) {
        const DialogItemData &a = d.items[i];
        const DialogItemTemplate &e = t.items[i];
        CHECK_EQ(a.id, e.id);
        CHECK_STR(a.className, e.className);
        CHECK_STR(a.text, e.text);
        CHECK_EQ(a.style, e.style);
        CHECK_EQ(a.x, e.x);
        CHECK_EQ(a.y, e.y);
        CHECK_EQ(a.cx, e.cx);
        CHECK_EQ(a.cy, e.cy);
    }
    // And the template is the dialog's: 28 controls under its caption.
    CHECK_EQ(t.itemCount, 28);
    CHECK_STR(t.caption, "Quorvel Transform Filter Configuration");
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        printf("usage: module_test zelt_lpf.vdf|zelt.vdf\n");
        return 2;
    }
    const char *file = argv[1];
    const char *name = strstr(file, "zelt_lpf") ? "Quorvel Transform Filter (debug - log,lpf)"
                                                : "Quorvel Transform Filter (MMX, debug)";
#if defined(__i386__)
    CHECK_EQ(misalignedStackAtCall() & 15, 4);
#endif

    VdfModule m;
    std::string error;
    if (!loadVdf(file, &m, &error)) {
        printf("%s\n", error.c_str());
        return 1;
    }
    checkDllMain(m);
    checkRegistration(m, name);
    checkRun(m);
    checkDialogResource(m);
    unloadVdf(&m);
    printf("%s: %s (%d failed checks)\n", file, checkFailures ? "FAILED" : "ok", checkFailures);
    return checkFailures ? 1 : 0;
}
