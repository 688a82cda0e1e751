// Binary interface between the editor (the host) and a filter module.
//
// Written from the layout facts of the host's classic filter interface
// (definition version 7, compatible 4). Only the members the modules use are
// given meaning; the rest exist so that every offset matches the host's.
// Native (non-Windows) builds keep the member order with native pointer sizes,
// so our own hosts and modules agree by construction.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#include <windows.h>
#define VDCALL __cdecl
#elif defined(_WIN32)
#include <windows.h>
#define VDCALL  // x64 has one calling convention; exports stay undecorated
#else
#define VDCALL
typedef void *HWND;
#endif

// Every entry point the host calls must realign the stack: a host built with
// another compiler may call with only 4-byte alignment, and MinGW spills SSE
// values assuming 16.
#if defined(_WIN32) && defined(__i386__)
#define VD_ENTRY __attribute__((force_align_arg_pointer))
#else
#define VD_ENTRY
#endif

#if defined(_WIN32) && !defined(_WIN64)
typedef long vd_sizet;  // 32-bit byte counts on Win32
#else
typedef ptrdiff_t vd_sizet;  // pointer-sized on 64-bit (long is 32-bit on Win64)
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct FilterModule;  // opaque to the filter: passed through
struct FilterDefinition;
struct FilterActivation;
struct FilterFunctions;

typedef int(VDCALL *FilterInitProc)(struct FilterActivation *fa, const struct FilterFunctions *ff);
typedef void(VDCALL *FilterDeinitProc)(struct FilterActivation *fa, const struct FilterFunctions *ff);
typedef int(VDCALL *FilterRunProc)(const struct FilterActivation *fa, const struct FilterFunctions *ff);
typedef long(VDCALL *FilterParamProc)(struct FilterActivation *fa, const struct FilterFunctions *ff);
typedef int(VDCALL *FilterConfigProc)(struct FilterActivation *fa, const struct FilterFunctions *ff, HWND parent);
typedef void(VDCALL *FilterStringProc)(const struct FilterActivation *fa, const struct FilterFunctions *ff, char *buf);
typedef int(VDCALL *FilterStartProc)(struct FilterActivation *fa, const struct FilterFunctions *ff);
typedef int(VDCALL *FilterEndProc)(struct FilterActivation *fa, const struct FilterFunctions *ff);
typedef bool(VDCALL *FilterScriptStrProc)(struct FilterActivation *fa, const struct FilterFunctions *ff, char *buf,
                                          int len);

struct FilterDefinition {
    struct FilterDefinition *next, *prev;  // host-owned links
    struct FilterModule *module;
    const char *name;
    const char *desc;
    const char *maker;
    void *private_data;
    int inst_data_size;
    FilterInitProc initProc;
    FilterDeinitProc deinitProc;
    FilterRunProc runProc;
    FilterParamProc paramProc;
    FilterConfigProc configProc;
    FilterStringProc stringProc;
    FilterStartProc startProc;
    FilterEndProc endProc;
    void *script_obj;
    FilterScriptStrProc fssProc;
};

// The host's bitmap is a C++ object with virtual functions: its first member
// is the vtable pointer, which the filter never calls.
struct VFBitmap {
    void *vtable;
    uint32_t *data;  // first pixel of memory row 0 (the bottom picture row)
    uint32_t *palette;
    int depth;
    int32_t w, h;
    vd_sizet pitch;  // bytes from one memory row to the next
    vd_sizet modulo;
    vd_sizet size;  // pitch x h
    vd_sizet offset;
    uint32_t dwFlags;
    void *hdc;
};

struct FilterActivation {
    struct FilterDefinition *filter;
    void *filter_data;
    struct VFBitmap *dst;  // C++ references in the host's headers
    struct VFBitmap *src;
    void *reserved;
    struct VFBitmap *last;
    unsigned x1, y1, x2, y2;
    void *pfsi;
    void *ifp;
};

struct FilterFunctions {
    struct FilterDefinition *(VDCALL *addFilter)(struct FilterModule *, struct FilterDefinition *, int fd_len);
    void(VDCALL *removeFilter)(struct FilterDefinition *);
    bool(VDCALL *isFPUEnabled)(void);
    bool(VDCALL *isMMXEnabled)(void);
    void(VDCALL *InitVTables)(void *);
    void(VDCALL *ExceptOutOfMemory)(void);
    void(VDCALL *Except)(const char *format, ...);
    long(VDCALL *getCPUFlags)(void);
};

// The two exports. The out-parameters are C++ references in the host's
// headers, plain pointers at the binary level.
typedef int(VDCALL *FilterModuleInit2Proc)(struct FilterModule *fm, const struct FilterFunctions *ff, int *version,
                                           int *compatibility);
typedef void(VDCALL *FilterModuleDeinitProc)(struct FilterModule *fm, const struct FilterFunctions *ff);

enum { VD_FILTER_DEFINITION_SIZE = (int)sizeof(struct FilterDefinition) };
enum { VD_FILTER_VERSION = 7, VD_FILTER_COMPATIBILITY = 4 };

#ifdef __cplusplus
}  // extern "C"
#endif

// The layout the host compiled against. The native x86-64 build shares the
// 64-bit one (the same member order with 8-byte pointers and byte counts).
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(FilterDefinition) == 72, "FilterDefinition must be 72 bytes on 32-bit");
static_assert(offsetof(VFBitmap, data) == 4, "VFBitmap::data offset");
static_assert(offsetof(VFBitmap, w) == 16, "VFBitmap::w offset");
static_assert(offsetof(VFBitmap, h) == 20, "VFBitmap::h offset");
static_assert(offsetof(VFBitmap, pitch) == 24, "VFBitmap::pitch offset");
static_assert(offsetof(VFBitmap, size) == 32, "VFBitmap::size offset");
static_assert(offsetof(FilterActivation, dst) == 8, "FilterActivation::dst offset");
static_assert(offsetof(FilterActivation, src) == 12, "FilterActivation::src offset");
#elif defined(__x86_64__) || defined(_M_X64)
static_assert(sizeof(FilterDefinition) == 144, "FilterDefinition must be 144 bytes on 64-bit");
static_assert(offsetof(FilterDefinition, inst_data_size) == 56, "FilterDefinition::inst_data_size offset");
static_assert(offsetof(FilterDefinition, runProc) == 80, "FilterDefinition::runProc offset");
static_assert(offsetof(FilterDefinition, configProc) == 96, "FilterDefinition::configProc offset");
static_assert(offsetof(FilterDefinition, startProc) == 112, "FilterDefinition::startProc offset");
static_assert(offsetof(FilterDefinition, endProc) == 120, "FilterDefinition::endProc offset");
static_assert(offsetof(FilterDefinition, fssProc) == 136, "FilterDefinition::fssProc offset");
static_assert(offsetof(VFBitmap, data) == 8, "VFBitmap::data offset");
static_assert(offsetof(VFBitmap, depth) == 24, "VFBitmap::depth offset");
static_assert(offsetof(VFBitmap, w) == 28, "VFBitmap::w offset");
static_assert(offsetof(VFBitmap, h) == 32, "VFBitmap::h offset");
static_assert(offsetof(VFBitmap, pitch) == 40, "VFBitmap::pitch offset (8-byte aligned after h)");
static_assert(offsetof(VFBitmap, size) == 56, "VFBitmap::size offset");
static_assert(offsetof(VFBitmap, dwFlags) == 72, "VFBitmap::dwFlags offset");
static_assert(offsetof(VFBitmap, hdc) == 80, "VFBitmap::hdc offset");
static_assert(offsetof(FilterActivation, dst) == 16, "FilterActivation::dst offset");
static_assert(offsetof(FilterActivation, src) == 24, "FilterActivation::src offset");
static_assert(offsetof(FilterActivation, x1) == 48, "FilterActivation::x1 offset");
static_assert(offsetof(FilterActivation, pfsi) == 64, "FilterActivation::pfsi offset");
static_assert(sizeof(FilterFunctions) == 64, "FilterFunctions: eight function pointers");
#else
static_assert(sizeof(FilterDefinition) == 18 * sizeof(void *), "FilterDefinition: eighteen pointer-sized members");
#endif
