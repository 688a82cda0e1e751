// In-memory dialog layer: user32's modal dialog calls over a set of controls
// built from a dialog template, with a host-supplied user script in place of a
// person (platform/dialog_host.h). Everything runs on the caller's thread;
// the procedure may re-enter the layer from any message (even open another
// dialog), as it may re-enter user32.
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "platform/dialog_api.h"
#include "platform/dialog_host.h"
#include "platform/dialog_template.h"

namespace {

enum : uint32_t {
    WS_DISABLED = 0x08000000,
    WS_TABSTOP = 0x00010000,
    BS_TYPEMASK = 0x0000000F,
    BS_PUSHBUTTON = 0,
    BS_DEFPUSHBUTTON = 1,
    BS_AUTOCHECKBOX = 3,
};
enum : UINT { UDN_DELTAPOS = (UINT)(0U - 722U) };

// The notification header and up-down payload of WM_NOTIFY, laid out as
// user32's.
struct NotifyHeader {
    HWND from;
    uintptr_t idFrom;
    UINT code;
};
struct UpDownNotify {
    NotifyHeader hdr;
    int pos;
    int delta;
};

struct Control {
    const DialogItemTemplate *item;
    char *text;  // owned, never null
    int checked;
    int upDownPos;
};

struct Dialog {
    Dialog *next;  // open dialogs, innermost first
    const DialogTemplate *tmpl;
    Control *controls;
    int count;
    DLGPROC proc;
    bool ended;
    INT_PTR result;
    ZeltDialogUser user;
};

// Handles are checked against the open dialogs, never dereferenced blindly:
// a stale or foreign handle simply fails, as with user32.
Dialog *openDialogs = nullptr;

Dialog *asDialog(HWND h)
{
    for (Dialog *d = openDialogs; d; d = d->next)
        if ((HWND)d == h)
            return d;
    return nullptr;
}

Dialog *fromUser(ZeltDialogUser *u)
{
    return u ? asDialog((HWND)u->dialog) : nullptr;
}

Control *findControl(Dialog *d, int id)
{
    for (int i = 0; i < d->count; i++)
        if (d->controls[i].item->id == id)
            return &d->controls[i];
    return nullptr;
}

bool isClass(const Control *c, const char *name)
{
    return strcasecmp(c->item->className, name) == 0;
}

bool isCheckBox(const Control *c)
{
    return isClass(c, "button") && (c->item->style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
}

bool isDisabled(const Control *c)
{
    return (c->item->style & WS_DISABLED) != 0;
}

int controlId(const Control *c)
{
    return (int)(uint16_t)c->item->id;  // ids travel as 16 bits in commands
}

INT_PTR sendToProc(Dialog *d, UINT message, WPARAM wParam, LPARAM lParam)
{
    return d->proc((HWND)d, message, wParam, lParam);
}

// Replaces a control's text; false when memory runs out (text unchanged).
bool storeText(Control *c, const char *text)
{
    const size_t len = text ? strlen(text) : 0;
    char *copy = (char *)malloc(len + 1);
    if (!copy)
        return false;
    if (len)
        memcpy(copy, text, len);
    copy[len] = 0;
    free(c->text);
    c->text = copy;
    return true;
}

int setControlText(Dialog *d, Control *c, const char *text)
{
    if (!storeText(c, text))
        return ZELT_DIALOG_REFUSED;
    if (isClass(c, "edit"))
        sendToProc(d, WM_COMMAND, MAKEWPARAM(controlId(c), EN_CHANGE), (LPARAM)c);
    return ZELT_DIALOG_OK;
}

void sendCommand(Dialog *d, int id, Control *from)
{
    sendToProc(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)from);
}

int clickControl(Dialog *d, Control *c)
{
    if (isDisabled(c))
        return ZELT_DIALOG_REFUSED;
    if (isClass(c, "button")) {
        const uint32_t type = c->item->style & BS_TYPEMASK;
        if (type == BS_AUTOCHECKBOX) {
            c->checked = !c->checked;
            sendCommand(d, controlId(c), c);
        } else if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
            sendCommand(d, controlId(c), c);
        }
        return ZELT_DIALOG_OK;
    }
    if (isClass(c, "msctls_updown32")) {
        // Without a buddy the arrows only notify the parent.
        UpDownNotify nm = {{(HWND)c, (uintptr_t)controlId(c), UDN_DELTAPOS}, c->upDownPos, 1};
        if (sendToProc(d, WM_NOTIFY, (WPARAM)controlId(c), (LPARAM)&nm) == 0)
            c->upDownPos += nm.delta;
        sendToProc(d, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, c->upDownPos), (LPARAM)c);
        sendToProc(d, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), (LPARAM)c);
    }
    return ZELT_DIALOG_OK;
}

// --- the user's hands ---

extern "C" {

static int userDescribe(ZeltDialogUser *u, ZeltDialogInfo *out)
{
    Dialog *d = fromUser(u);
    if (!d || !out)
        return ZELT_DIALOG_NO_CONTROL;
    const DialogTemplate *t = d->tmpl;
    *out = ZeltDialogInfo{t->caption, t->fontName, t->pointSize, t->style, t->x, t->y, t->cx, t->cy, d->count};
    return ZELT_DIALOG_OK;
}

static int userControl(ZeltDialogUser *u, int index, ZeltDialogControlInfo *out)
{
    Dialog *d = fromUser(u);
    if (!d || !out || index < 0 || index >= d->count)
        return ZELT_DIALOG_NO_CONTROL;
    const Control &c = d->controls[index];
    const DialogItemTemplate *it = c.item;
    *out = ZeltDialogControlInfo{it->id, it->className, c.text, it->style, it->x, it->y, it->cx, it->cy, c.checked};
    return ZELT_DIALOG_OK;
}

static int userGetText(ZeltDialogUser *u, int id, char *buf, int size)
{
    Dialog *d = fromUser(u);
    if (!d)
        return ZELT_DIALOG_NO_CONTROL;
    if (!findControl(d, id))
        return ZELT_DIALOG_NO_CONTROL;
    return (int)GetDlgItemTextA((HWND)d, id, buf, size);
}

static int userSetText(ZeltDialogUser *u, int id, const char *text)
{
    Dialog *d = fromUser(u);
    if (!d)
        return ZELT_DIALOG_NO_CONTROL;
    if (d->ended)
        return ZELT_DIALOG_ENDED;
    Control *c = findControl(d, id);
    return c ? setControlText(d, c, text) : ZELT_DIALOG_NO_CONTROL;
}

static int userIsChecked(ZeltDialogUser *u, int id)
{
    Dialog *d = fromUser(u);
    Control *c = d ? findControl(d, id) : nullptr;
    if (!c || !isCheckBox(c))
        return ZELT_DIALOG_NO_CONTROL;
    return c->checked;
}

static int userSetChecked(ZeltDialogUser *u, int id, int checked)
{
    Dialog *d = fromUser(u);
    if (!d)
        return ZELT_DIALOG_NO_CONTROL;
    if (d->ended)
        return ZELT_DIALOG_ENDED;
    Control *c = findControl(d, id);
    if (!c || !isCheckBox(c))
        return ZELT_DIALOG_NO_CONTROL;
    if (isDisabled(c))
        return ZELT_DIALOG_REFUSED;
    // Two clicks at most; the procedure may end the dialog on the first.
    for (int i = 0; i < 2 && c->checked != (checked ? 1 : 0) && !d->ended; i++)
        clickControl(d, c);
    return ZELT_DIALOG_OK;
}

static int userClick(ZeltDialogUser *u, int id)
{
    Dialog *d = fromUser(u);
    if (!d)
        return ZELT_DIALOG_NO_CONTROL;
    if (d->ended)
        return ZELT_DIALOG_ENDED;
    Control *c = findControl(d, id);
    return c ? clickControl(d, c) : ZELT_DIALOG_NO_CONTROL;
}

static int userKey(ZeltDialogUser *u, int vk)
{
    Dialog *d = fromUser(u);
    if (!d)
        return ZELT_DIALOG_NO_CONTROL;
    if (d->ended)
        return ZELT_DIALOG_ENDED;
    if (vk == ZELT_DIALOG_KEY_ENTER) {
        // The default push button, or IDOK when the template has none.
        Control *def = nullptr;
        for (int i = 0; i < d->count && !def; i++) {
            Control *c = &d->controls[i];
            if (isClass(c, "button") && (c->item->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                def = c;
        }
        if (def && isDisabled(def))
            return ZELT_DIALOG_REFUSED;
        sendCommand(d, def ? controlId(def) : IDOK, def);
        return ZELT_DIALOG_OK;
    }
    if (vk == ZELT_DIALOG_KEY_ESCAPE) {
        sendCommand(d, IDCANCEL, findControl(d, IDCANCEL));
        return ZELT_DIALOG_OK;
    }
    return ZELT_DIALOG_NO_CONTROL;
}

static int userCloseBox(ZeltDialogUser *u)
{
    Dialog *d = fromUser(u);
    if (!d)
        return ZELT_DIALOG_NO_CONTROL;
    if (d->ended)
        return ZELT_DIALOG_ENDED;
    sendCommand(d, IDCANCEL, findControl(d, IDCANCEL));
    return ZELT_DIALOG_OK;
}

static intptr_t userSend(ZeltDialogUser *u, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    Dialog *d = fromUser(u);
    return d ? sendToProc(d, message, wParam, lParam) : 0;
}

static int userEnded(ZeltDialogUser *u, intptr_t *result)
{
    Dialog *d = fromUser(u);
    if (!d || !d->ended)
        return 0;
    if (result)
        *result = d->result;
    return 1;
}

}  // extern "C"

const ZeltDialogHost *asDialogHost(HWND parent)
{
    const ZeltDialogHost *h = (const ZeltDialogHost *)parent;
    if (!h || h->magic != ZELT_DIALOG_HOST_MAGIC || h->version < 1 || h->version > ZELT_DIALOG_HOST_VERSION)
        return nullptr;
    return h->play ? h : nullptr;
}

void destroyDialog(Dialog *d)
{
    for (Dialog **link = &openDialogs; *link; link = &(*link)->next)
        if (*link == d) {
            *link = d->next;
            break;
        }
    for (int i = 0; i < d->count; i++)
        free(d->controls[i].text);
    free(d->controls);
    free(d);
}

}  // namespace

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam)
{
    // Only numbered templates exist in our modules.
    if ((uintptr_t)templateName >> 16)
        return -1;
    const DialogTemplate *t = findDialogTemplate((const ModuleResources *)instance, (int)(uintptr_t)templateName);
    const ZeltDialogHost *host = asDialogHost(parent);
    if (!t || !proc || !host)
        return -1;

    Dialog *d = (Dialog *)calloc(1, sizeof(Dialog));
    if (!d)
        return -1;
    d->next = openDialogs;
    openDialogs = d;
    d->tmpl = t;
    d->proc = proc;
    d->count = t->itemCount > 0 ? t->itemCount : 0;
    d->controls = (Control *)calloc(d->count ? (size_t)d->count : 1, sizeof(Control));
    bool ok = d->controls != nullptr;
    for (int i = 0; ok && i < d->count; i++) {
        d->controls[i].item = &t->items[i];
        ok = storeText(&d->controls[i], t->items[i].text);
    }
    if (!ok) {
        if (!d->controls)
            d->count = 0;
        destroyDialog(d);
        return -1;
    }
    d->user = ZeltDialogUser{
        ZELT_DIALOG_HOST_VERSION, d,         userDescribe, userControl,  userGetText, userSetText, userIsChecked,
        userSetChecked,           userClick, userKey,      userCloseBox, userSend,    userEnded};

    // The first enabled tab stop gets the focus.
    Control *focus = nullptr;
    for (int i = 0; i < d->count && !focus; i++)
        if ((d->controls[i].item->style & WS_TABSTOP) && !isDisabled(&d->controls[i]))
            focus = &d->controls[i];
    sendToProc(d, WM_INITDIALOG, (WPARAM)focus, initParam);

    if (!d->ended)
        host->play(&d->user, host->context);
    if (!d->ended)
        userCloseBox(&d->user);
    // A procedure that ignores its close box would keep a real dialog open for
    // ever; here there is nobody left to close it.
    const INT_PTR result = d->ended ? d->result : -1;
    destroyDialog(d);
    return result;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    Dialog *d = asDialog(dialog);
    Control *c = d ? findControl(d, id) : nullptr;
    return c && setControlText(d, c, text) == ZELT_DIALOG_OK;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size)
{
    if (!text || size <= 0)
        return 0;
    text[0] = 0;
    Dialog *d = asDialog(dialog);
    Control *c = d ? findControl(d, id) : nullptr;
    if (!c)
        return 0;
    size_t len = strlen(c->text);
    if (len > (size_t)size - 1)
        len = (size_t)size - 1;
    memcpy(text, c->text, len);
    text[len] = 0;
    return (UINT)len;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    Dialog *d = asDialog(dialog);
    Control *c = d ? findControl(d, id) : nullptr;
    if (!c || !isClass(c, "button"))
        return FALSE;
    c->checked = check == BST_CHECKED ? 1 : 0;
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id)
{
    Dialog *d = asDialog(dialog);
    Control *c = d ? findControl(d, id) : nullptr;
    return c && isClass(c, "button") && c->checked ? BST_CHECKED : BST_UNCHECKED;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    Dialog *d = asDialog(dialog);
    if (!d)
        return FALSE;
    d->ended = true;
    d->result = result;
    return TRUE;
}
