// Playing the user in a module's configuration dialog.
#include "hosting/dialog.h"

#include <string.h>

#include "hosting/module.h"

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

#if !defined(_WIN32)

DialogPlayer::DialogPlayer(DialogScript script)
    : script_(std::move(script)), host_(zeltDialogHost(script_ ? play : nullptr, this))
{
}

void DialogPlayer::play(ZeltDialogUser *u, void *context)
{
    ((DialogPlayer *)context)->script_(u);
}

bool enterActions(ZeltDialogUser *u, const std::vector<DialogAction> &actions, std::string &problem)
{
    for (const DialogAction &a : actions) {
        const int rc = a.isCheck ? u->setChecked(u, a.id, a.checked ? 1 : 0) : u->setText(u, a.id, a.text.c_str());
        if (rc != ZELT_DIALOG_OK) {
            problem = "the dialog has no usable control " + std::to_string(a.id) + " (" +
                      (rc == ZELT_DIALOG_REFUSED ? "disabled"
                       : rc == ZELT_DIALOG_ENDED ? "dialog closed"
                                                 : "no such control") +
                      ")";
            return false;
        }
    }
    return true;
}

void readControls(ZeltDialogUser *u, DialogState &state)
{
    ZeltDialogInfo info{};
    if (u->describe(u, &info) != ZELT_DIALOG_OK)
        return;
    for (int i = 0; i < info.controlCount; i++) {
        ZeltDialogControlInfo c{};
        if (u->control(u, i, &c) != ZELT_DIALOG_OK || c.id < 0 || !c.className)
            continue;
        if (strcmp(c.className, "edit") == 0)
            state.texts.emplace_back(c.id, c.text ? c.text : "");
        else if (strcmp(c.className, "button") == 0 && (c.style & 0xF) == 3)  // automatic check box
            state.checks.emplace_back(c.id, c.checked);
    }
}

std::string controlText(ZeltDialogUser *u, int id)
{
    char buf[256];
    if (u->getText(u, id, buf, (int)sizeof buf) < 0)
        return "<no control>";
    return buf;
}

// quorvel's two ways through the dialog, over its host bitmaps.

bool LoadedModule::configure(HostBitmap &src, HostBitmap &dst, const std::vector<DialogAction> &actions,
                             std::string &err)
{
    if (!definition().configProc) {
        err = "module '" + path_ + "' has no configuration dialog";
        return false;
    }
    std::string problem;
    DialogPlayer player([&](ZeltDialogUser *u) {
        if (!enterActions(u, actions, problem)) {
            u->click(u, 2);  // Cancel
            return;
        }
        if (u->click(u, 1) != ZELT_DIALOG_OK)
            problem = "the dialog's OK button could not be pressed";
    });
    activate(src, dst);
    const int rc = callConfig(&fa_, player.parent());
    if (!problem.empty()) {
        err = problem;
        return false;
    }
    if (rc != 0) {
        err = "the module's configuration dialog could not be completed (status " + std::to_string(rc) + ")";
        return false;
    }
    return true;
}

bool LoadedModule::readDialog(HostBitmap &src, HostBitmap &dst, DialogState &state, std::string &err)
{
    state = DialogState();
    if (!definition().configProc) {
        err = "module '" + path_ + "' has no configuration dialog";
        return false;
    }
    DialogPlayer player([&](ZeltDialogUser *u) {
        readControls(u, state);
        u->click(u, 2);  // Cancel
    });
    activate(src, dst);
    callConfig(&fa_, player.parent());
    return true;
}

#endif
