// The configuration dialog of a .vdf module through the real Win32 dialog
// manager (user32 and comctl32, under Wine on a display), as the editor shows
// it: the common controls initialised first, configProc called with the
// editor's main window as the parent. The dialog runs modally on the main
// thread; a second thread plays the user from outside the dialog procedure:
// it finds the dialog by its caption, reads and sets its controls and presses
// OK or Cancel. A screenshot of the open dialog with its defaults goes to
// PNG (default: dialog-<module>.png in the working directory).
//
//   dialog_test zelt_lpf.vdf|zelt.vdf [PNG]      (exit 77 without a display)
#include <windows.h>

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>

#include "tests/win32/vdf_host.h"

namespace {

const char kCaption[] = "Quorvel Transform Filter Configuration";

// The template: every control in template (tab) order with its identifier,
// class, text, rectangle in dialog units and enabled state. Edits show the
// values of the defaults, not a template text.
struct Control {
    int id;
    const char *cls;
    const char *text;
    int x, y, cx, cy;
    bool enabled;
};
const Control kControls[] = {
    {1, "Button", "OK", 117, 216, 50, 14, true},
    {2, "Button", "Cancel", 167, 216, 50, 14, true},
    {-1, "Static", "Harmonics number", 13, 144, 60, 8, true},
    {1000, "msctls_updown32", "Spin1", 119, 142, 7, 13, true},
    {1001, "Edit", "10", 79, 142, 40, 12, true},
    {1002, "Button", "Display Spectrum", 7, 7, 71, 10, true},
    {-1, "Static", "Est. freq. range", 13, 160, 49, 8, true},
    {1003, "Edit", "0.15", 79, 158, 40, 12, true},
    {-1, "Static", "MHz (PAL/NTSC)", 125, 160, 58, 8, true},
    {1004, "Button", "Logarithmic Scale", 85, 7, 72, 10, false},
    {-1, "Button", "Notch Filter", 7, 18, 210, 75, true},
    {1005, "Button", "Enable", 13, 29, 38, 10, true},
    {-1, "Button", "Full Processing Mode", 7, 119, 210, 56, true},
    {1006, "Button", "Enable", 13, 130, 38, 10, true},
    {-1, "Static", "Main Harmonic", 14, 40, 48, 8, true},
    {1007, "Edit", "1", 73, 39, 30, 12, true},
    {-1, "Static", "Max Harmonic", 14, 55, 46, 8, true},
    {1008, "Edit", "1", 73, 54, 30, 12, true},
    {-1, "Static", "Min Harmonic", 114, 40, 44, 8, true},
    {1009, "Edit", "1", 173, 39, 30, 12, true},
    {-1, "Static", "Curve Aggression", 114, 55, 56, 8, true},
    {1010, "Edit", "1.", 173, 54, 30, 12, false},
    {-1, "Static", "Rejection", 14, 70, 31, 8, true},
    {1011, "Edit", "20", 73, 69, 30, 12, true},
    {-1, "Static", "dB", 111, 70, 10, 8, true},
    {1012, "Button", "DC Average", 11, 193, 55, 10, true},
    {1013, "Button", "Temporal", 69, 193, 45, 10, true},
    {1014, "Button", "Adjust by multiplication", 119, 194, 87, 10, false},
};
const int kBoxes[] = {1002, 1004, 1005, 1006, 1012, 1013, 1014};

HWND editorWindow = nullptr;
DWORD dialogThread = 0;

// --- the user's hands ---

std::string windowText(HWND w)
{
    char buf[128] = "";
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

std::string text(HWND dialog, int id)
{
    char buf[128] = "";
    GetDlgItemTextA(dialog, id, buf, sizeof buf);
    return buf;
}

void type(HWND dialog, int id, const char *value)
{
    SetDlgItemTextA(dialog, id, value);
}

void click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool ticked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// A key pressed while the focus is on control `id`: the dialog manager turns
// Enter and Esc into the OK and Cancel commands.
void key(HWND dialog, int id, WPARAM vk)
{
    HWND control = GetDlgItem(dialog, id);
    PostMessageA(control, WM_KEYDOWN, vk, 1);
    PostMessageA(control, WM_KEYUP, vk, 0xC0000001);
}

// The dialog of the thread that runs configProc, found by its caption.
HWND findDialog()
{
    for (HWND w = FindWindowExA(nullptr, nullptr, nullptr, kCaption); w;
         w = FindWindowExA(nullptr, w, nullptr, kCaption))
        if (GetWindowThreadProcessId(w, nullptr) == dialogThread)
            return w;
    return nullptr;
}

struct Session {
    std::function<void(HWND)> script;
    bool found = false;
    bool closed = false;
};

DWORD WINAPI playUser(LPVOID param)
{
    Session &s = *(Session *)param;
    // Up to 10 s for the dialog to show: the dialog manager makes it visible
    // once its procedure has initialised it.
    HWND dialog = nullptr;
    for (int i = 0; i < 1000 && !(dialog && IsWindowVisible(dialog)); i++) {
        dialog = findDialog();
        if (!(dialog && IsWindowVisible(dialog)))
            Sleep(10);
    }
    if (!dialog || !IsWindowVisible(dialog))
        return 0;
    s.found = true;
    s.script(dialog);
    for (int i = 0; i < 1000 && IsWindow(dialog); i++)
        Sleep(10);
    s.closed = !IsWindow(dialog);
    if (!s.closed)  // free the main thread whatever the script did
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

// Runs configProc with `script` as the user on a second thread; returns
// configProc's status.
int configure(const FilterDefinition &d, FilterActivation *fa, const FilterFunctions *ff,
              std::function<void(HWND)> script)
{
    Session s;
    s.script = std::move(script);
    HANDLE user = CreateThread(nullptr, 0, playUser, &s, 0, nullptr);
    const uintptr_t args[] = {(uintptr_t)fa, (uintptr_t)ff, (uintptr_t)editorWindow};
    const int rc = (int)callMisaligned((const void *)d.configProc, args, 3);
    WaitForSingleObject(user, INFINITE);
    CloseHandle(user);
    CHECK(s.found);
    CHECK(s.closed);
    return rc;
}

// --- what the user checks ---

void checkTemplate(HWND dialog)
{
    CHECK_STR(windowText(dialog), kCaption);
    CHECK(GetWindow(dialog, GW_OWNER) == editorWindow);
    RECT client, expected = {0, 0, 224, 237};
    GetClientRect(dialog, &client);
    MapDialogRect(dialog, &expected);
    CHECK_EQ(client.right, expected.right);
    CHECK_EQ(client.bottom, expected.bottom);

    // The children in their order (the tab order), each against its line.
    size_t i = 0;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), i++) {
        if (i >= sizeof kControls / sizeof kControls[0]) {
            CHECK(!"more controls than the template has");
            break;
        }
        const Control &e = kControls[i];
        char cls[64] = "";
        GetClassNameA(c, cls, sizeof cls);
        const int id = (int)(int16_t)GetDlgCtrlID(c);
        if (id != e.id || _stricmp(cls, e.cls) != 0)
            printf("control %zu: id %d class %s, expected %d %s\n", i, id, cls, e.id, e.cls);
        CHECK_EQ(id, e.id);
        CHECK(_stricmp(cls, e.cls) == 0);
        CHECK_STR(windowText(c), e.text);
        CHECK_EQ(IsWindowEnabled(c) ? 1 : 0, e.enabled ? 1 : 0);
        CHECK(IsWindowVisible(c));
        // The dialog manager converts position and size separately.
        RECT r, at = {e.x, e.y, 0, 0}, size = {0, 0, e.cx, e.cy};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dialog, (POINT *)&r, 2);
        MapDialogRect(dialog, &at);
        MapDialogRect(dialog, &size);
        const RECT want = {at.left, at.top, at.left + size.right, at.top + size.bottom};
        // An up-down control with an alignment style may take its own width
        // (Wine's does, even without a buddy to align to).
        const bool sameRect =
            e.id == 1000 ? r.left == want.left && r.top == want.top && r.bottom == want.bottom && r.right >= want.right
                         : EqualRect(&r, &want) != 0;
        if (!sameRect)
            printf("control %d (%s): at %ld,%ld-%ld,%ld, expected %ld,%ld-%ld,%ld\n", e.id, e.text, r.left, r.top,
                   r.right, r.bottom, want.left, want.top, want.right, want.bottom);
        CHECK(sameRect);
    }
    CHECK_EQ(i, sizeof kControls / sizeof kControls[0]);
    // The up-down control is attached to nothing.
    CHECK(SendMessageA(GetDlgItem(dialog, 1000), UDM_GETBUDDY, 0, 0) == 0);
}

void checkDefaults(HWND dialog)
{
    CHECK_STR(text(dialog, 1001), "10");
    CHECK_STR(text(dialog, 1003), "0.15");
    CHECK_STR(text(dialog, 1007), "1");
    CHECK_STR(text(dialog, 1008), "1");
    CHECK_STR(text(dialog, 1009), "1");
    CHECK_STR(text(dialog, 1010), "1.");
    CHECK_STR(text(dialog, 1011), "20");
    for (int id : kBoxes)
        CHECK(!ticked(dialog, id));
}

// Clicks on the up-down's arrows, as the mouse delivers them to the control.
void clickArrows(HWND dialog)
{
    HWND spin = GetDlgItem(dialog, 1000);
    RECT r;
    GetClientRect(spin, &r);
    const int x = r.right / 2;
    const LRESULT before = SendMessageA(spin, UDM_GETPOS32, 0, 0);
    for (int y : {r.bottom / 4, r.bottom * 3 / 4, r.bottom * 3 / 4, r.bottom * 3 / 4}) {
        SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageA(spin, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    // The arrows did work: the control's own position moved.
    CHECK(SendMessageA(spin, UDM_GETPOS32, 0, 0) != before);
    // And the scroll notifications its arrows send to the dialog.
    SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 5), (LPARAM)spin);
    SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 5), (LPARAM)spin);
}

// --- the screenshot ---

// PNG with stored (uncompressed) deflate blocks: enough for a look.
uint32_t crc32(const uint8_t *p, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void putBE(std::string &s, uint32_t v)
{
    for (int i = 3; i >= 0; i--)
        s += (char)(v >> (8 * i));
}

void chunk(std::string &png, const char *type4, const std::string &data)
{
    putBE(png, (uint32_t)data.size());
    const std::string body = std::string(type4, 4) + data;
    png += body;
    putBE(png, crc32((const uint8_t *)body.data(), body.size()));
}

bool writePng(const char *path, int w, int h, const std::string &rgbRows)
{
    std::string raw;  // filter byte 0 before every row
    for (int y = 0; y < h; y++)
        raw += '\0' + rgbRows.substr((size_t)y * (size_t)w * 3, (size_t)w * 3);
    std::string z = "\x78\x01";
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z += (char)(at + n >= raw.size() ? 1 : 0);
        z += (char)(n & 0xFF);
        z += (char)(n >> 8);
        z += (char)(~n & 0xFF);
        z += (char)((~n >> 8) & 0xFF);
        z += raw.substr(at, n);
        if (raw.empty())
            break;
    }
    uint32_t a = 1, b = 0;
    for (unsigned char ch : raw) {
        a = (a + ch) % 65521;
        b = (b + a) % 65521;
    }
    putBE(z, b << 16 | a);
    std::string header;
    putBE(header, (uint32_t)w);
    putBE(header, (uint32_t)h);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
    std::string png = "\x89PNG\r\n\x1a\n";
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", "");
    FILE *f = fopen(path, "wb");
    if (!f)
        return false;
    const bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return fclose(f) == 0 && ok;
}

// The dialog as drawn on the screen, frame and caption included.
bool screenshot(HWND dialog, const char *path)
{
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    Sleep(300);  // the dialog's thread paints
    RECT r;
    GetWindowRect(dialog, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    const bool copied = dib && BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    std::string rgb;
    if (copied) {
        const uint8_t *p = (const uint8_t *)bits;
        for (int i = 0; i < w * h; i++, p += 4) {
            rgb += (char)p[2];
            rgb += (char)p[1];
            rgb += (char)p[0];
        }
    }
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied && writePng(path, w, h, rgb);
}

std::string pngName(const char *module)
{
    std::string name = module;
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return "dialog-" + name.substr(0, dot) + ".png";
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 3) {
        printf("usage: dialog_test zelt_lpf.vdf|zelt.vdf [PNG]\n");
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
    dialogThread = GetCurrentThreadId();

    // What the editor does before it shows any filter's dialog: the common
    // controls, then its main window.
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    CHECK(InitCommonControlsEx(&icc));
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = "QuorvelTestEditor";
    RegisterClassA(&wc);
    editorWindow = CreateWindowA("QuorvelTestEditor", "Quorvel test editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 560, 40,
                                 440, 300, nullptr, nullptr, wc.hInstance, nullptr);
    CHECK(editorWindow != nullptr);

    Frame f(720, 2, 720 * 4);
    const std::string png = argc == 3 ? argv[2] : pngName(argv[1]);

    // The template and the defaults; a screenshot; edits thrown away by Cancel.
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [&](HWND dialog) {
                           checkTemplate(dialog);
                           checkDefaults(dialog);
                           CHECK(screenshot(dialog, png.c_str()));
                           type(dialog, 1001, "33");
                           type(dialog, 1011, "99");
                           click(dialog, 1005);
                           CHECK(ticked(dialog, 1005));
                           click(dialog, 2);
                       }),
             -1);

    // Nothing of it was kept. The up-down arrows change nothing; OK stores
    // every edit at once, the harmonics number bounded by the source width.
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           checkDefaults(dialog);
                           clickArrows(dialog);
                           CHECK_STR(text(dialog, 1001), "10");
                           type(dialog, 1001, "1000");
                           CHECK_STR(text(dialog, 1003), "0.15");  // filled once, at the opening
                           type(dialog, 1007, "7");
                           type(dialog, 1008, "40");
                           type(dialog, 1009, "3");
                           type(dialog, 1010, "11.25");  // disabled: only a host can type here
                           type(dialog, 1011, "35");
                           for (int id : {1002, 1005, 1006, 1012, 1013})
                               click(dialog, id);
                           click(dialog, 1);
                       }),
             0);

    // What OK stored; the Esc key cancels.
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           CHECK_STR(text(dialog, 1001), "720");
                           CHECK_STR(text(dialog, 1003), "11.3");
                           CHECK_STR(text(dialog, 1007), "7");
                           CHECK_STR(text(dialog, 1008), "40");
                           CHECK_STR(text(dialog, 1009), "3");
                           CHECK_STR(text(dialog, 1010), "11.3");
                           CHECK_STR(text(dialog, 1011), "35");
                           for (int id : {1002, 1005, 1006, 1012, 1013})
                               CHECK(ticked(dialog, id));
                           CHECK(!ticked(dialog, 1004) && !ticked(dialog, 1014));
                           type(dialog, 1001, "12");
                           click(dialog, 1006);
                           key(dialog, 1001, VK_ESCAPE);
                       }),
             -1);

    // A narrower source bounds the number; the Enter key confirms. The arrows
    // did not change the stored number either.
    f.src.bmp.w = 64;
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           CHECK_STR(text(dialog, 1001), "720");  // the stored value, shown as is
                           CHECK(ticked(dialog, 1006));
                           type(dialog, 1001, "100");
                           type(dialog, 1010, "0.01");
                           key(dialog, 1001, VK_RETURN);
                       }),
             0);
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           CHECK_STR(text(dialog, 1001), "64");
                           CHECK_STR(text(dialog, 1003), "1.");
                           CHECK_STR(text(dialog, 1010), "1.e-002");
                           type(dialog, 1001, "5");
                           SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box cancels
                       }),
             -1);
    // A source of width 0 at the opening: any number of digits stores 0.
    f.src.bmp.w = 0;
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           CHECK_STR(text(dialog, 1001), "64");
                           type(dialog, 1001, "6");
                           click(dialog, 1);
                       }),
             0);
    f.src.bmp.w = 720;
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           CHECK_STR(text(dialog, 1001), "0");
                           CHECK_STR(text(dialog, 1003), "0.");
                           // Back to the defaults for whoever runs next in this process.
                           type(dialog, 1001, "10");
                           type(dialog, 1007, "1");
                           type(dialog, 1008, "1");
                           type(dialog, 1009, "1");
                           type(dialog, 1010, "1.");
                           type(dialog, 1011, "20");
                           for (int id : {1002, 1005, 1006, 1012, 1013})
                               click(dialog, id);
                           click(dialog, 1);
                       }),
             0);
    CHECK_EQ(configure(d, &f.fa, &host.ff,
                       [](HWND dialog) {
                           checkDefaults(dialog);
                           click(dialog, 2);
                       }),
             -1);

    CHECK_EQ(vtableCalls(), 0);
    DestroyWindow(editorWindow);
    const uintptr_t args[] = {(uintptr_t)m.dll, (uintptr_t)&host.ff};
    callMisaligned((const void *)m.deinit, args, 2);
    unloadVdf(&m);
    printf("%s dialog: %s (%d failed checks); screenshot %s\n", argv[1], checkFailures ? "FAILED" : "ok", checkFailures,
           png.c_str());
    return checkFailures ? 1 : 0;
}
