// Playing the user in a module's configuration dialog. On builds without a
// window system the module's dialog runs over the native dialog layer, and a
// host reaches it through configProc's parent window
// (platform/dialog_host.h); this is that host side.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "abi/vdfilter.h"

// One thing the user does in the dialog before pressing OK.
struct DialogAction {
    int id;        // control id
    bool isCheck;  // tick box (else: type text into an edit)
    bool checked;
    std::string text;
};

// The dialog's controls as they stand when the dialog opens.
struct DialogState {
    std::vector<std::pair<int, std::string>> texts;  // edits, in template order
    std::vector<std::pair<int, int>> checks;         // check boxes
    std::string text(int id) const;
    int checked(int id) const;  // -1 when there is no such box
};

#if !defined(_WIN32)
#include "platform/dialog_host.h"

using DialogScript = std::function<void(ZeltDialogUser *)>;

// What a host passes as configProc's parent window so that `script` plays the
// user. The parent is valid while the player lives.
class DialogPlayer {
public:
    explicit DialogPlayer(DialogScript script);
    DialogPlayer(const DialogPlayer &) = delete;
    DialogPlayer &operator=(const DialogPlayer &) = delete;
    HWND parent() { return (HWND)&host_; }

private:
    static void play(ZeltDialogUser *u, void *context);
    DialogScript script_;
    ZeltDialogHost host_;
};

// Does `actions` in order; stops at the first one the dialog refuses, with
// the reason in `problem`. Presses nothing.
bool enterActions(ZeltDialogUser *u, const std::vector<DialogAction> &actions, std::string &problem);
// Every edit and automatic check box, in template order.
void readControls(ZeltDialogUser *u, DialogState &state);
// The text of a control; "<no control>" when there is none.
std::string controlText(ZeltDialogUser *u, int id);
#endif
