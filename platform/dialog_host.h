// Playing the user in a module's configuration dialog, on builds without a
// window system (everything but Windows). Shared by the modules and by our own
// hosts and tests; plain C layout, versioned, so that a host and a module built
// apart still agree.
//
// A native module shows its dialog through an in-memory dialog layer
// (platform/dialog_layer.cpp, with user32's calls as platform/dialog_api.h
// declares them) instead of user32. A host reaches that dialog through the
// one argument it already passes: the parent window of configProc.
// On these builds HWND is a plain pointer, and the layer takes a non-null
// parent to be a ZeltDialogHost owned by the host:
//
//     static void play(ZeltDialogUser *u, void *ctx)
//     {
//         u->setText(u, 1001, "32");   // harmonics number
//         u->setChecked(u, 1006, 1);   // full processing on
//         u->click(u, 1);              // OK
//     }
//     ZeltDialogHost host = zeltDialogHost(play, &myState);
//     int rc = def->configProc(fa, ff, (HWND)&host);   // 0 after OK, -1 after Cancel
//
// What the layer does inside configProc:
//   1. Finds the dialog template in the module, creates its controls (ids,
//      classes, texts, styles, rectangles as in the module's .rc) and sends the
//      initialisation message to the dialog procedure.
//   2. Calls host->play(user, host->context) once. The script reads the
//      controls and acts through `user`, as a person at the keyboard would.
//      OK (click(1) or key(ZELT_DIALOG_KEY_ENTER)) and Cancel (click(2),
//      key(ZELT_DIALOG_KEY_ESCAPE) or closeBox()) send their command to the
//      procedure, which ends the dialog; every later action is refused.
//   3. If the script returns with the dialog still open, the layer closes it
//      as the close box does (a Cancel command).
//   4. configProc returns the dialog's end value.
//
// The dialog cannot be created (configProc returns -1, nothing but
// harmonicsLimit changes) when parent is null, when it does not carry the magic
// and a version this layer knows, or when play is null. The user handle and
// every text pointer it hands out are valid only inside the play call; the
// ZeltDialogHost only for the duration of configProc.
//
// On Windows builds parent is a real window handle and this header is not used
// by the modules; drive the real dialog with the usual window messages.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    ZELT_DIALOG_HOST_MAGIC = 0x5A444C47,  // "ZDLG"
    ZELT_DIALOG_HOST_VERSION = 1,
};

// Keys a user can press in the dialog (their Win32 virtual-key codes).
enum {
    ZELT_DIALOG_KEY_ENTER = 0x0D,   // the default push button (OK)
    ZELT_DIALOG_KEY_ESCAPE = 0x1B,  // Cancel
};

// Result of the actions below.
enum {
    ZELT_DIALOG_OK = 0,
    ZELT_DIALOG_NO_CONTROL = -1,  // no control with that id, or not of a fitting kind
    ZELT_DIALOG_REFUSED = -2,     // the control is disabled (a person could not do this)
    ZELT_DIALOG_ENDED = -3,       // the dialog has already ended
};

// One control as the layer holds it. Texts point into the layer and stay valid
// until the control's text changes or the play call returns.
struct ZeltDialogControlInfo {
    int id;                 // -1 for controls the procedure never addresses
    const char *className;  // "button", "static", "edit", "msctls_updown32", ...
    const char *text;       // current text
    uint32_t style;         // window style as in the template
    int x, y, cx, cy;       // dialog units
    int checked;            // check state of a check box, 0 otherwise
};

struct ZeltDialogInfo {
    const char *caption;
    const char *fontName;
    int pointSize;
    uint32_t style;
    int x, y, cx, cy;
    int controlCount;
};

struct ZeltDialogUser;

// The user script: called once, after the dialog procedure has initialised
// the dialog.
typedef void (*ZeltDialogScript)(struct ZeltDialogUser *user, void *context);

// What a host passes as configProc's parent window.
struct ZeltDialogHost {
    uint32_t magic;    // ZELT_DIALOG_HOST_MAGIC
    uint32_t version;  // ZELT_DIALOG_HOST_VERSION
    ZeltDialogScript play;
    void *context;
};

// The user's hands on the open dialog. All ids are control ids; where several
// controls share an id (the -1 labels) the first in template order is meant,
// as with the Win32 dialog functions.
struct ZeltDialogUser {
    uint32_t version;  // ZELT_DIALOG_HOST_VERSION of the layer
    void *dialog;      // the layer's own; do not touch

    // The dialog and its controls in template (tab) order.
    int (*describe)(struct ZeltDialogUser *u, struct ZeltDialogInfo *out);
    int (*control)(struct ZeltDialogUser *u, int index, struct ZeltDialogControlInfo *out);

    // Copies at most size - 1 characters and a terminator; returns the length
    // copied, or a negative result.
    int (*getText)(struct ZeltDialogUser *u, int id, char *buf, int size);
    // Replaces a control's text as the dialog functions do: the enabled state,
    // read-only and digits-only styles are not applied (so that a host can
    // reach every edit; read `control` to act strictly as a person would). An
    // edit tells the procedure of the change (an edit-change command).
    int (*setText)(struct ZeltDialogUser *u, int id, const char *text);

    // 1 or 0 for a check box, negative for other controls.
    int (*isChecked)(struct ZeltDialogUser *u, int id);
    // Clicks an enabled automatic check box until it shows `checked` (0 or 1);
    // each click toggles it and sends its clicked command.
    int (*setChecked)(struct ZeltDialogUser *u, int id, int checked);
    // Clicks an enabled control: a push button or check box sends its clicked
    // command (after toggling a check box); an up-down control sends its
    // scroll notifications. Labels, group boxes and edits do nothing.
    int (*click)(struct ZeltDialogUser *u, int id);
    // ZELT_DIALOG_KEY_ENTER or ZELT_DIALOG_KEY_ESCAPE, as the dialog manager
    // turns them into commands.
    int (*key)(struct ZeltDialogUser *u, int vk);
    // The caption's close box (a Cancel command).
    int (*closeBox)(struct ZeltDialogUser *u);

    // Sends any message straight to the dialog procedure and returns its
    // result (tests).
    intptr_t (*send)(struct ZeltDialogUser *u, uint32_t message, uintptr_t wParam, intptr_t lParam);

    // 1 and the end value once the dialog has ended, else 0.
    int (*ended)(struct ZeltDialogUser *u, intptr_t *result);
};

#ifdef __cplusplus
}  // extern "C"

inline ZeltDialogHost zeltDialogHost(ZeltDialogScript play, void *context)
{
    ZeltDialogHost h;
    h.magic = ZELT_DIALOG_HOST_MAGIC;
    h.version = ZELT_DIALOG_HOST_VERSION;
    h.play = play;
    h.context = context;
    return h;
}
#endif
