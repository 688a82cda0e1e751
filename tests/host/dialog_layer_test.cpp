// The in-memory dialog layer on its own, with a small template and a
// procedure that records what it is sent.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "hosting/dialog.h"
#include "platform/dialog_api.h"
#include "platform/dialog_host.h"
#include "platform/dialog_template.h"

namespace {

const DialogItemTemplate kItems[] = {
    {10, "static", "Label", 0x50020000, 0, 0, 10, 8},
    {11, "edit", "start", 0x50810080, 0, 10, 10, 8},  // tab stop, enabled: gets the focus
    {12, "button", "Box", 0x50010003, 0, 20, 10, 8},  // automatic check box
    {13, "button", "Off", 0x58010003, 0, 30, 10, 8},  // disabled check box
    {14, "msctls_updown32", "", 0x50000024, 0, 40, 10, 8},
    {1, "button", "OK", 0x50010001, 0, 50, 10, 8},
    {2, "button", "Cancel", 0x50010000, 0, 60, 10, 8},
};
const DialogTemplate kDialog = {77, 0x80C800C0, 0, 0, 100, 80, "Test", "MS Sans Serif", 8, kItems, 7};
const DialogTemplate *const kDialogs[] = {&kDialog};
const ModuleResources kResources = {MODULE_RESOURCES_MAGIC, kDialogs, 1};

struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the procedure does, per test.
struct Behaviour {
    std::vector<Message> log;
    bool endOnInit = false;
    bool ignoreCancel = false;
    INT_PTR initResult = TRUE;
};
Behaviour *behaviour = nullptr;

INT_PTR CALLBACK recordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    behaviour->log.push_back({message, wParam, lParam});
    if (message == WM_INITDIALOG) {
        if (behaviour->endOnInit)
            EndDialog(dialog, 42);
        return behaviour->initResult;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, 7);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && !behaviour->ignoreCancel) {
        EndDialog(dialog, -1);
        return TRUE;
    }
    return FALSE;
}

class DialogLayerTest : public ::testing::Test {
protected:
    Behaviour b;
    std::function<void(ZeltDialogUser *)> script;
    void SetUp() override { behaviour = &b; }
    void TearDown() override { behaviour = nullptr; }

    static void play(ZeltDialogUser *u, void *ctx) { (*(std::function<void(ZeltDialogUser *)> *)ctx)(u); }
    INT_PTR run(int id = 77, const void *resources = &kResources)
    {
        ZeltDialogHost host = zeltDialogHost(play, &script);
        return DialogBoxParamA((HINSTANCE)resources, MAKEINTRESOURCEA(id), (HWND)&host, recordingProc, 1234);
    }
    std::vector<Message> commands() const
    {
        std::vector<Message> out;
        for (const Message &m : b.log)
            if (m.message == WM_COMMAND)
                out.push_back(m);
        return out;
    }
};

TEST_F(DialogLayerTest, InitialisationComesFirstWithFocusAndParameter)
{
    HWND dialog = nullptr;
    script = [&](ZeltDialogUser *u) {
        dialog = (HWND)u->dialog;
        u->click(u, 1);
    };
    EXPECT_EQ(run(), 7);
    ASSERT_FALSE(b.log.empty());
    EXPECT_EQ(b.log[0].message, (UINT)WM_INITDIALOG);
    EXPECT_EQ(b.log[0].lParam, 1234);
    EXPECT_NE(b.log[0].wParam, 0u);  // the edit, first enabled tab stop
    // The dialog is gone after the call; its handle no longer works.
    char text[8] = "x";
    EXPECT_EQ(GetDlgItemTextA(dialog, 11, text, 8), 0u);
    EXPECT_STREQ(text, "");
}

TEST_F(DialogLayerTest, TextsAreCopiedAndTruncatedLikeUser32)
{
    script = [&](ZeltDialogUser *u) {
        HWND d = (HWND)u->dialog;
        char buf[6];
        memset(buf, '#', sizeof buf);
        EXPECT_EQ(GetDlgItemTextA(d, 11, buf, 6), 5u);
        EXPECT_STREQ(buf, "start");
        EXPECT_EQ(GetDlgItemTextA(d, 11, buf, 3), 2u);
        EXPECT_STREQ(buf, "st");
        EXPECT_EQ(GetDlgItemTextA(d, 11, buf, 1), 0u);
        EXPECT_STREQ(buf, "");
        EXPECT_EQ(GetDlgItemTextA(d, 99, buf, 6), 0u);
        EXPECT_STREQ(buf, "");
        EXPECT_TRUE(SetDlgItemTextA(d, 10, "New label"));
        EXPECT_FALSE(SetDlgItemTextA(d, 99, "nothing"));
        char label[32];
        EXPECT_EQ(u->getText(u, 10, label, 32), 9);
        EXPECT_STREQ(label, "New label");
        EXPECT_EQ(u->getText(u, 99, label, 32), ZELT_DIALOG_NO_CONTROL);
        u->click(u, 2);
    };
    EXPECT_EQ(run(), -1);
}

TEST_F(DialogLayerTest, EditsReportChangesButtonsDoNot)
{
    script = [&](ZeltDialogUser *u) {
        HWND d = (HWND)u->dialog;
        b.log.clear();
        SetDlgItemTextA(d, 11, "a");
        u->setText(u, 11, "b");
        SetDlgItemTextA(d, 12, "c");
        CheckDlgButton(d, 12, BST_CHECKED);
        const auto cmds = commands();
        ASSERT_EQ(cmds.size(), 2u);
        for (const Message &m : cmds) {
            EXPECT_EQ(LOWORD(m.wParam), 11);
            EXPECT_EQ(HIWORD(m.wParam), (unsigned)EN_CHANGE);
        }
        EXPECT_EQ(IsDlgButtonChecked(d, 12), (UINT)BST_CHECKED);
        EXPECT_EQ(u->isChecked(u, 12), 1);
        u->click(u, 2);
    };
    run();
}

TEST_F(DialogLayerTest, ClicksToggleBoxesAndSendTheirCommand)
{
    script = [&](ZeltDialogUser *u) {
        b.log.clear();
        EXPECT_EQ(u->click(u, 12), ZELT_DIALOG_OK);
        EXPECT_EQ(u->isChecked(u, 12), 1);
        EXPECT_EQ(u->setChecked(u, 12, 1), ZELT_DIALOG_OK);  // already so: no click
        EXPECT_EQ(u->setChecked(u, 12, 0), ZELT_DIALOG_OK);
        EXPECT_EQ(u->isChecked(u, 12), 0);
        const auto cmds = commands();
        ASSERT_EQ(cmds.size(), 2u);
        EXPECT_EQ(cmds[0].wParam, (WPARAM)12);  // BN_CLICKED is 0
        // A disabled box cannot be clicked, labels and edits ignore clicks.
        EXPECT_EQ(u->click(u, 13), ZELT_DIALOG_REFUSED);
        EXPECT_EQ(u->setChecked(u, 13, 1), ZELT_DIALOG_REFUSED);
        EXPECT_EQ(u->isChecked(u, 13), 0);
        EXPECT_EQ(u->click(u, 10), ZELT_DIALOG_OK);
        EXPECT_EQ(u->click(u, 11), ZELT_DIALOG_OK);
        EXPECT_EQ(commands().size(), 2u);
        EXPECT_EQ(u->isChecked(u, 11), ZELT_DIALOG_NO_CONTROL);
        EXPECT_EQ(u->setChecked(u, 1, 1), ZELT_DIALOG_NO_CONTROL);
        EXPECT_EQ(u->click(u, 99), ZELT_DIALOG_NO_CONTROL);
        u->click(u, 2);
    };
    run();
}

TEST_F(DialogLayerTest, UpDownArrowsOnlyNotify)
{
    script = [&](ZeltDialogUser *u) {
        b.log.clear();
        EXPECT_EQ(u->click(u, 14), ZELT_DIALOG_OK);
        ASSERT_EQ(b.log.size(), 3u);
        EXPECT_EQ(b.log[0].message, (UINT)WM_NOTIFY);
        EXPECT_EQ(b.log[1].message, (UINT)WM_VSCROLL);
        EXPECT_EQ(b.log[2].message, (UINT)WM_VSCROLL);
        EXPECT_EQ(controlText(u, 11), "start");
        u->click(u, 2);
    };
    run();
}

TEST_F(DialogLayerTest, KeysAndCloseBoxBecomeCommands)
{
    script = [](ZeltDialogUser *u) { EXPECT_EQ(u->key(u, ZELT_DIALOG_KEY_ENTER), ZELT_DIALOG_OK); };
    EXPECT_EQ(run(), 7);
    script = [](ZeltDialogUser *u) { EXPECT_EQ(u->key(u, ZELT_DIALOG_KEY_ESCAPE), ZELT_DIALOG_OK); };
    EXPECT_EQ(run(), -1);
    script = [](ZeltDialogUser *u) {
        EXPECT_EQ(u->key(u, 'A'), ZELT_DIALOG_NO_CONTROL);
        EXPECT_EQ(u->closeBox(u), ZELT_DIALOG_OK);
        EXPECT_EQ(u->closeBox(u), ZELT_DIALOG_ENDED);
    };
    EXPECT_EQ(run(), -1);
}

TEST_F(DialogLayerTest, ScriptThatWalksAwayClosesTheDialog)
{
    script = [](ZeltDialogUser *) {};
    EXPECT_EQ(run(), -1);
    const auto cmds = commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(LOWORD(cmds[0].wParam), IDCANCEL);
    // A procedure that will not close gives up with the failure value.
    b.ignoreCancel = true;
    EXPECT_EQ(run(), -1);
}

TEST_F(DialogLayerTest, EndingDuringInitialisationSkipsTheUser)
{
    b.endOnInit = true;
    bool played = false;
    script = [&](ZeltDialogUser *) { played = true; };
    EXPECT_EQ(run(), 42);
    EXPECT_FALSE(played);
}

TEST_F(DialogLayerTest, MissingTemplateOrResourcesCannotBeCreated)
{
    script = [](ZeltDialogUser *) { ADD_FAILURE(); };
    EXPECT_EQ(run(78), -1);
    EXPECT_EQ(run(77, nullptr), -1);
    const uint32_t wrong[4] = {0, 0, 0, 0};
    EXPECT_EQ(run(77, wrong), -1);
    ZeltDialogHost host = zeltDialogHost(play, &script);
    EXPECT_EQ(DialogBoxParamA((HINSTANCE)&kResources, "NAMED", (HWND)&host, recordingProc, 0), -1);
    EXPECT_EQ(DialogBoxParamA((HINSTANCE)&kResources, MAKEINTRESOURCEA(77), (HWND)&host, nullptr, 0), -1);
    EXPECT_TRUE(b.log.empty());
}

TEST_F(DialogLayerTest, CallsOnAStrangeHandleFailQuietly)
{
    uint32_t notADialog[16] = {};
    HWND h = (HWND)notADialog;
    char buf[4] = "abc";
    EXPECT_FALSE(SetDlgItemTextA(h, 1, "x"));
    EXPECT_EQ(GetDlgItemTextA(h, 1, buf, 4), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(CheckDlgButton(h, 1, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(h, 1), (UINT)BST_UNCHECKED);
    EXPECT_FALSE(EndDialog(h, 0));
    EXPECT_FALSE(EndDialog(nullptr, 0));
}

}  // namespace
