// The configuration dialog of a .vdf module through the real Win32 dialog
// manager (user32, comctl32 under Wine): a timer in the modal loop plays the
// user. Needs a display; without one the test is skipped (exit code 77).
//
//   dialog_test zelt_lpf.vdf|zelt.vdf
#include "tests/win32/vdf_host.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include <functional>

namespace {

const char kCaption[] = "Quorvel Transform Filter Configuration";

std::function<void(HWND)> userScript;
int timerTicks = 0;

void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = FindWindowA(nullptr, kCaption);
    if (!dialog) {
        if (++timerTicks > 400) {  // 20 s without a dialog: give up loudly
            printf("the dialog never appeared\n");
            ExitProcess(3);
        }
        return;
    }
    KillTimer(nullptr, id);
    userScript(dialog);
}

std::string text(HWND dialog, int id)
{
    char buf[128];
    GetDlgItemTextA(dialog, id, buf, sizeof buf);
    return buf;
}

void click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void press(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

// Runs configProc with `script` as the user; returns configProc's status.
int configure(const FilterDefinition &d, FilterActivation *fa, const FilterFunctions *ff,
              std::function<void(HWND)> script)
{
    userScript = std::move(script);
    timerTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, onTimer);
    const uintptr_t args[] = {(uintptr_t)fa, (uintptr_t)ff, 0};
    const int rc = (int)callMisaligned((const void *)d.configProc, args, 3);
    KillTimer(nullptr, timer);
    return rc;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        printf("usage: dialog_test zelt_lpf.vdf|zelt.vdf\n");
        return 2;
    }
    const char *display = getenv("DISPLAY");
    if (!display || !*display) {
        printf("no display: skipped\n");
        return 77;
    }
    VdfModule m;
    std::string error;
    if (!loadVdf(argv[1], &m, &error)) {
        printf("%s\n", error.c_str());
        return 1;
    }
    VdfHost host;
    int version = 0, compat = 0;
    if (registerVdf(m, host, &version, &compat) != 0) {
        printf("registration failed\n");
        return 1;
    }
    const FilterDefinition &d = host.copy;
    Frame f(720, 2, 720 * 4);

    // The module relies on the host for the up-down control's class: without
    // it the dialog cannot be created.
    WNDCLASSA wc;
    if (!GetClassInfoA(nullptr, "msctls_updown32", &wc)) {
        CHECK_EQ(configure(d, &f.fa, &host.ff, [](HWND dialog) { press(dialog, IDCANCEL); }), -1);
    } else {
        printf("note: the up-down class was already registered\n");
    }
    HMODULE comctl = LoadLibraryA("comctl32.dll");
    typedef BOOL(WINAPI * InitEx)(const INITCOMMONCONTROLSEX *);
    InitEx initEx = comctl ? (InitEx)(void *)GetProcAddress(comctl, "InitCommonControlsEx") : nullptr;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
    CHECK(initEx && initEx(&icc));

    // Defaults, and Cancel.
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           CHECK_STR(text(dialog, 1001), "10");
                           CHECK_STR(text(dialog, 1003), "0.15");
                           CHECK_STR(text(dialog, 1007), "1");
                           CHECK_STR(text(dialog, 1008), "1");
                           CHECK_STR(text(dialog, 1009), "1");
                           CHECK_STR(text(dialog, 1010), "1.");
                           CHECK_STR(text(dialog, 1011), "20");
                           for (int id : {1002, 1004, 1005, 1006, 1012, 1013, 1014})
                               CHECK_EQ(IsDlgButtonChecked(dialog, id), BST_UNCHECKED);
                           SetDlgItemTextA(dialog, 1011, "99");
                           click(dialog, 1005);
                           press(dialog, IDCANCEL);
                       }),
             -1);

    // OK with edits: the harmonics number is bounded by the source width; the
    // up-down arrows change nothing.
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           CHECK_STR(text(dialog, 1011), "20");  // the cancelled edit is gone
                           CHECK_EQ(IsDlgButtonChecked(dialog, 1005), BST_UNCHECKED);
                           HWND spin = GetDlgItem(dialog, 1000);
                           for (int i = 0; i < 3; i++) {
                               SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 2));
                               SendMessageA(spin, WM_LBUTTONUP, 0, MAKELPARAM(3, 2));
                           }
                           CHECK_STR(text(dialog, 1001), "10");
                           SetDlgItemTextA(dialog, 1001, "1000");
                           CHECK_STR(text(dialog, 1003), "0.15");  // filled once
                           click(dialog, 1006);
                           CHECK_EQ(IsDlgButtonChecked(dialog, 1006), BST_CHECKED);
                           press(dialog, IDOK);
                       }),
             0);

    // What OK stored, and the Escape key as Cancel.
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           CHECK_STR(text(dialog, 1001), "720");
                           CHECK_STR(text(dialog, 1003), "11.3");
                           CHECK_STR(text(dialog, 1010), "1.");
                           CHECK_EQ(IsDlgButtonChecked(dialog, 1006), BST_CHECKED);
                           PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                       }),
             -1);

    // Put the module back to its defaults for whoever runs next in this process.
    configure(d, &f.fa, &host.ff, [](HWND dialog) {
        SetDlgItemTextA(dialog, 1001, "10");
        click(dialog, 1006);
        press(dialog, IDOK);
    });
    CHECK_EQ(vtableCalls(), 0);
    printf("%s dialog: %s (%d failed checks)\n", argv[1], checkFailures ? "FAILED" : "ok", checkFailures);
    return checkFailures ? 1 : 0;
}
