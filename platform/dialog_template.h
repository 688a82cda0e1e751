// A dialog template as plain data: what a Windows dialog resource holds, in
// the form our in-memory dialog layer builds its controls from. The modules'
// tables are generated from their .rc files (cmake/rc_dialog_table.cmake), so
// the native dialog and the Windows resource cannot drift apart.
#pragma once

#include <stdint.h>

struct DialogItemTemplate {
    int id;                 // -1: never addressed
    const char *className;  // lower case for the standard classes
    const char *text;
    uint32_t style;
    int x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
    int resourceId;
    uint32_t style;
    int x, y, cx, cy;
    const char *caption;
    const char *fontName;
    int pointSize;
    const DialogItemTemplate *items;
    int itemCount;
};

// What a native module's instance handle points to: its resources, as a
// Windows module's instance handle leads to its resource section.
struct ModuleResources {
    uint32_t magic;  // MODULE_RESOURCES_MAGIC
    const DialogTemplate *const *dialogs;
    int dialogCount;
};

enum : uint32_t { MODULE_RESOURCES_MAGIC = 0x5A524553 };  // "ZRES"

// The dialog with the given resource number, or null.
inline const DialogTemplate *findDialogTemplate(const ModuleResources *res, int id)
{
    if (!res || res->magic != MODULE_RESOURCES_MAGIC)
        return nullptr;
    for (int i = 0; i < res->dialogCount; i++)
        if (res->dialogs[i]->resourceId == id)
            return res->dialogs[i];
    return nullptr;
}
