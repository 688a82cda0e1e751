#include "tests/win32/vdf_host.h"

#include <stdlib.h>
#include <string.h>

int checkFailures = 0;

void checkTrue(bool ok, const char *what, const char *file, int line)
{
    if (!ok) {
        checkFailures++;
        printf("%s:%d: check failed: %s\n", file, line, what);
    }
}

void checkEqual(long long a, long long b, const char *what, const char *file, int line)
{
    if (a != b) {
        checkFailures++;
        printf("%s:%d: %s = %lld, expected %lld\n", file, line, what, a, b);
    }
}

void checkString(const std::string &a, const std::string &b, const char *what, const char *file, int line)
{
    if (a != b) {
        checkFailures++;
        printf("%s:%d: %s = \"%s\", expected \"%s\"\n", file, line, what, a.c_str(), b.c_str());
    }
}

// --- the misaligned call ---

#if defined(__i386__)
// cdecl: callMisaligned(fn, args, count). Reserves the arguments, aligns their
// block to 16 and then moves it 12 bytes down, so that at the call the stack
// pointer is 4 modulo 16.
__asm__(".text\n"
        ".globl _callMisaligned\n"
        "_callMisaligned:\n"
        "    pushl %ebp\n"
        "    movl %esp, %ebp\n"
        "    pushl %esi\n"
        "    movl 12(%ebp), %esi\n"
        "    movl 16(%ebp), %ecx\n"
        "    leal 0(,%ecx,4), %eax\n"
        "    subl %eax, %esp\n"
        "    andl $-16, %esp\n"
        "    subl $12, %esp\n"
        "    xorl %edx, %edx\n"
        "1:  cmpl %ecx, %edx\n"
        "    jge 2f\n"
        "    movl (%esi,%edx,4), %eax\n"
        "    movl %eax, (%esp,%edx,4)\n"
        "    incl %edx\n"
        "    jmp 1b\n"
        "2:  call *8(%ebp)\n"
        "    leal -4(%ebp), %esp\n"
        "    popl %esi\n"
        "    popl %ebp\n"
        "    ret\n"
        // Returns the stack pointer as it was at its call.
        ".globl _zeltStackProbe\n"
        "_zeltStackProbe:\n"
        "    leal 4(%esp), %eax\n"
        "    ret\n");

extern "C" uintptr_t zeltStackProbe();

uintptr_t misalignedStackAtCall()
{
    return callMisaligned((const void *)zeltStackProbe, nullptr, 0);
}
#else
// x64 has one calling convention and every compiler keeps the stack 16-byte
// aligned at a call, so a host cannot misalign it: a plain call, up to four
// register arguments (extra ones are harmless: the caller owns the stack).
extern "C" uintptr_t callMisaligned(const void *fn, const uintptr_t *args, int count)
{
    uintptr_t a[4] = {};
    if (count > 4)
        abort();
    for (int i = 0; i < count; i++)
        a[i] = args[i];
    return ((uintptr_t(*)(uintptr_t, uintptr_t, uintptr_t, uintptr_t))fn)(a[0], a[1], a[2], a[3]);
}
#endif

// --- loading and registration ---

bool loadVdf(const char *path, VdfModule *m, std::string *error)
{
    *m = VdfModule{};
    m->dll = LoadLibraryA(path);
    if (!m->dll) {
        *error = std::string("LoadLibrary failed for ") + path;
        return false;
    }
    m->init = (FilterModuleInit2Proc)(void *)GetProcAddress(m->dll, "VirtualdubFilterModuleInit2");
    m->deinit = (FilterModuleDeinitProc)(void *)GetProcAddress(m->dll, "VirtualdubFilterModuleDeinit");
#if defined(__i386__)
    m->dllMain = (DllMainProc)(void *)GetProcAddress(m->dll, "_DllMain@12");
    if (!m->dllMain) {
        *error = std::string("missing exports in ") + path;
        unloadVdf(m);
        return false;
    }
#endif
    if (!m->init || !m->deinit) {
        *error = std::string("missing exports in ") + path;
        unloadVdf(m);
        return false;
    }
    return true;
}

void unloadVdf(VdfModule *m)
{
    if (m->dll)
        FreeLibrary(m->dll);
    *m = VdfModule{};
}

namespace {

VdfHost *currentHost = nullptr;

FilterDefinition *__cdecl hostAddFilter(FilterModule *fm, FilterDefinition *fd, int length)
{
    VdfHost &h = *currentHost;
    h.addCalls++;
    h.module = fm;
    h.original = fd;
    h.definitionLength = length;
    if (h.refuse)
        return nullptr;
    memcpy(&h.copy, fd, sizeof h.copy);
    return &h.copy;
}

void __cdecl hostRemoveFilter(FilterDefinition *fd)
{
    currentHost->removeCalls++;
    currentHost->removed = fd;
}

}  // namespace

VdfHost::VdfHost()
{
    ff.addFilter = hostAddFilter;
    ff.removeFilter = hostRemoveFilter;
    currentHost = this;
}

VdfHost::~VdfHost()
{
    currentHost = nullptr;
}

int registerVdf(const VdfModule &m, VdfHost &host, int *version, int *compatibility)
{
    const uintptr_t args[] = {(uintptr_t)m.dll, (uintptr_t)&host.ff, (uintptr_t)version, (uintptr_t)compatibility};
    return (int)callMisaligned((const void *)m.init, args, 4);
}

// --- bitmaps ---

namespace {

int vtableCallCount = 0;
void __cdecl trapVirtual()
{
    vtableCallCount++;
}
void (*const trapTable[16])() = {trapVirtual, trapVirtual, trapVirtual, trapVirtual, trapVirtual, trapVirtual,
                                 trapVirtual, trapVirtual, trapVirtual, trapVirtual, trapVirtual, trapVirtual,
                                 trapVirtual, trapVirtual, trapVirtual, trapVirtual};

}  // namespace

int vtableCalls()
{
    return vtableCallCount;
}

Bitmap32::Bitmap32(int w, int h, int pitch) : memory((size_t)pitch * (size_t)(h > 0 ? h : 0) + 1)
{
    bmp.vtable = (void *)trapTable;
    bmp.data = (uint32_t *)memory.data();
    bmp.depth = 32;
    bmp.w = w;
    bmp.h = h;
    bmp.pitch = pitch;
    bmp.modulo = pitch - 4 * w;
    bmp.size = pitch * h;
}

void Bitmap32::fillPattern(uint32_t seed)
{
    uint32_t x = seed * 2654435761u + 1;
    for (auto &b : memory) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = (uint8_t)x;
    }
}

Frame::Frame(int w, int h, int pitch) : src(w, h, pitch), dst(w, h, pitch)
{
    fa.src = &src.bmp;
    fa.dst = &dst.bmp;
}

// --- dialog resources ---

namespace {

struct Reader {
    const uint8_t *p, *end;
    bool ok = true;
    uint16_t word()
    {
        if (end - p < 2) {
            ok = false;
            return 0;
        }
        const uint16_t v = (uint16_t)(p[0] | (p[1] << 8));
        p += 2;
        return v;
    }
    uint32_t dword()
    {
        const uint32_t lo = word();
        return lo | ((uint32_t)word() << 16);
    }
    std::string wideString()
    {
        std::string s;
        for (uint16_t c = word(); ok && c; c = word())
            s += c < 128 ? (char)c : '?';
        return s;
    }
    // A string or an ordinal (0xFFFF, n); "" with no ordinal for 0.
    std::string stringOrOrdinal(int *ordinal)
    {
        *ordinal = -1;
        const uint16_t first = word();
        if (first == 0)
            return "";
        if (first == 0xFFFF) {
            *ordinal = word();
            return "";
        }
        p -= 2;
        return wideString();
    }
    void alignDword(const uint8_t *base)
    {
        while (((p - base) & 3) != 0 && p < end)
            p++;
    }
};

std::string lowerCase(std::string s)
{
    for (auto &c : s)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return s;
}

const char *standardClass(int ordinal)
{
    switch (ordinal) {
    case 0x80: return "button";
    case 0x81: return "edit";
    case 0x82: return "static";
    case 0x83: return "listbox";
    case 0x84: return "scrollbar";
    case 0x85: return "combobox";
    default: return nullptr;
    }
}

}  // namespace

bool readDialogResource(HMODULE module, int id, DialogData *out, std::string *error)
{
    HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(id), (LPCSTR)RT_DIALOG);
    HGLOBAL loaded = res ? LoadResource(module, res) : nullptr;
    const uint8_t *base = loaded ? (const uint8_t *)LockResource(loaded) : nullptr;
    if (!base) {
        *error = "dialog resource not found";
        return false;
    }
    Reader r{base, base + SizeofResource(module, res)};
    DialogData d;
    d.style = r.dword();
    r.dword();  // extended style
    const int count = r.word();
    d.x = (int16_t)r.word();
    d.y = (int16_t)r.word();
    d.cx = (int16_t)r.word();
    d.cy = (int16_t)r.word();
    int ordinal = 0;
    d.hasMenu = !r.stringOrOrdinal(&ordinal).empty() || ordinal >= 0;
    d.hasClass = !r.stringOrOrdinal(&ordinal).empty() || ordinal >= 0;
    d.caption = r.wideString();
    if (d.style & DS_SETFONT) {
        d.pointSize = r.word();
        d.fontName = r.wideString();
    }
    for (int i = 0; i < count && r.ok; i++) {
        r.alignDword(base);
        DialogItemData it;
        it.style = r.dword();
        r.dword();  // extended style
        it.x = (int16_t)r.word();
        it.y = (int16_t)r.word();
        it.cx = (int16_t)r.word();
        it.cy = (int16_t)r.word();
        it.id = (int16_t)r.word();
        it.className = lowerCase(r.stringOrOrdinal(&ordinal));
        if (ordinal >= 0)
            it.className = standardClass(ordinal) ? standardClass(ordinal) : "#" + std::to_string(ordinal);
        it.text = r.stringOrOrdinal(&ordinal);
        const int extra = r.word();
        r.p += extra;
        d.items.push_back(it);
    }
    if (!r.ok) {
        *error = "dialog resource truncated";
        return false;
    }
    *out = d;
    return true;
}

namespace {

struct DialogUser {
    HWND owner = nullptr;
    const char *caption = nullptr;
    const std::function<void(HWND)> *act = nullptr;
    bool acted = false;
    int ticks = 0;
};
DialogUser dialogUser;

BOOL CALLBACK findDialog(HWND window, LPARAM found)
{
    char caption[128] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (strcmp(caption, dialogUser.caption) == 0 && GetWindow(window, GW_OWNER) == dialogUser.owner) {
        *(HWND *)found = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK onDialogTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (dialogUser.acted)
        return;
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, (LPARAM)&dialog);
    if (!dialog) {
        if (++dialogUser.ticks > 2000) {
            printf("the dialog did not appear\n");
            fflush(stdout);
            ExitProcess(3);
        }
        return;
    }
    dialogUser.acted = true;
    (*dialogUser.act)(dialog);
}

}  // namespace

HWND createOwnerWindow(const char *name)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
    return CreateWindowA(name, name, WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr, nullptr, wc.hInstance, nullptr);
}

int playDialog(HWND owner, const char *caption, const std::function<int()> &config,
               const std::function<void(HWND)> &act, bool *acted)
{
    dialogUser = DialogUser();
    dialogUser.owner = owner;
    dialogUser.caption = caption;
    dialogUser.act = &act;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, onDialogTimer);
    const int rc = config();
    KillTimer(nullptr, timer);
    *acted = dialogUser.acted;
    return rc;
}
