// The configuration dialog as a user meets it, through the native dialog
// layer: template, what it shows, what OK stores, what Cancel keeps.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "host/dialog.h"
#include "host/module.h"
#include "host/settings.h"
#include "hosting/bitmap.h"
#include "platform/dialog_template.h"
#include "tests/support/test_host.h"

// The dialog table generated from the module's resource script.
extern const ModuleResources moduleResources;

namespace {

bool sameRecord(const FilterSettings &a, const FilterSettings &b)
{
    return a.displaySpectrum == b.displaySpectrum && a.harmonicsNumber == b.harmonicsNumber &&
           a.harmonicsLimit == b.harmonicsLimit && a.notchEnabled == b.notchEnabled && a.minHarmonic == b.minHarmonic &&
           a.mainHarmonic == b.mainHarmonic && a.maxHarmonic == b.maxHarmonic &&
           memcmp(&a.curveAggression, &b.curveAggression, sizeof(float)) == 0 && a.rejectionDb == b.rejectionDb &&
           a.dcAverage == b.dcAverage && a.dcTemporal == b.dcTemporal && a.fullProcessing == b.fullProcessing;
}

const int kCheckBoxes[] = {1002, 1004, 1005, 1006, 1012, 1013, 1014};

class DialogTest : public ::testing::Test {
protected:
    TestHost host;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(720 * 4 * 2 * 2);
    VFBitmap src{}, dst{};
    FilterActivation fa{};

    void SetUp() override
    {
        ASSERT_TRUE(host.ok()) << host.error();
        filterSettings = defaultFilterSettings();
        describeBitmap(&src, pixels.data(), 720, 2, 720 * 4);
        describeBitmap(&dst, pixels.data() + 720 * 4 * 2, 720, 2, 720 * 4);
        fa = host.activation(&src, &dst);
    }

    int open(DialogScript script, int width = 720)
    {
        src.w = width;
        return host.dialog(&fa, std::move(script));
    }
    // Opens the dialog, runs `edit`, and presses OK.
    int confirm(DialogScript edit, int width = 720)
    {
        return open(
            [&](ZeltDialogUser *u) {
                edit(u);
                EXPECT_EQ(u->click(u, 1), ZELT_DIALOG_OK);
            },
            width);
    }
};

// --- the template ---

TEST_F(DialogTest, ShowsTheTemplateOfTheResourceScript)
{
    const DialogTemplate *t = findDialogTemplate(&moduleResources, 101);
    ASSERT_NE(t, nullptr);
    open([&](ZeltDialogUser *u) {
        ZeltDialogInfo info{};
        ASSERT_EQ(u->describe(u, &info), ZELT_DIALOG_OK);
        EXPECT_STREQ(info.caption, "Quorvel Transform Filter Configuration");
        EXPECT_STREQ(info.caption, t->caption);
        EXPECT_STREQ(info.fontName, t->fontName);
        EXPECT_EQ(info.pointSize, t->pointSize);
        EXPECT_EQ(info.style, t->style);
        EXPECT_EQ(info.x, t->x);
        EXPECT_EQ(info.y, t->y);
        EXPECT_EQ(info.cx, t->cx);
        EXPECT_EQ(info.cy, t->cy);
        ASSERT_EQ(info.controlCount, t->itemCount);
        for (int i = 0; i < t->itemCount; i++) {
            ZeltDialogControlInfo c{};
            ASSERT_EQ(u->control(u, i, &c), ZELT_DIALOG_OK);
            const DialogItemTemplate &e = t->items[i];
            EXPECT_EQ(c.id, e.id) << i;
            EXPECT_STREQ(c.className, e.className) << i;
            EXPECT_EQ(c.style, e.style) << i;
            EXPECT_EQ(c.x, e.x) << i;
            EXPECT_EQ(c.y, e.y) << i;
            EXPECT_EQ(c.cx, e.cx) << i;
            EXPECT_EQ(c.cy, e.cy) << i;
            // Edits hold what the dialog wrote; everything else its template text.
            if (strcmp(e.className, "edit") != 0) {
                EXPECT_STREQ(c.text, e.text) << i;
            }
        }
        ZeltDialogControlInfo none{};
        EXPECT_EQ(u->control(u, t->itemCount, &none), ZELT_DIALOG_NO_CONTROL);
        u->click(u, 2);
    });
}

TEST_F(DialogTest, StylesFollowTheControlKinds)
{
    // Visible children all; tab stops all but labels, group boxes and the
    // up-down control; disabled exactly 1004, 1010 and 1014; digits-only the
    // five number edits; read-only the estimate.
    open([](ZeltDialogUser *u) {
        ZeltDialogInfo info{};
        ASSERT_EQ(u->describe(u, &info), ZELT_DIALOG_OK);
        for (int i = 0; i < info.controlCount; i++) {
            ZeltDialogControlInfo c{};
            ASSERT_EQ(u->control(u, i, &c), ZELT_DIALOG_OK);
            const bool label = strcmp(c.className, "static") == 0;
            const bool group = strcmp(c.className, "button") == 0 && (c.style & 0xF) == 7;
            const bool updown = strcmp(c.className, "msctls_updown32") == 0;
            EXPECT_EQ(c.style & 0x50000000u, 0x50000000u) << c.id;
            EXPECT_EQ((c.style & 0x00010000u) != 0, !(label || group || updown)) << i;
            const bool disabled = c.id == 1004 || c.id == 1010 || c.id == 1014;
            EXPECT_EQ((c.style & 0x08000000u) != 0, disabled) << c.id;
            if (strcmp(c.className, "edit") == 0) {
                const bool digits = c.id == 1001 || c.id == 1007 || c.id == 1008 || c.id == 1009 || c.id == 1011;
                EXPECT_EQ((c.style & 0x2000u) != 0, digits) << c.id;
                EXPECT_EQ((c.style & 0x0800u) != 0, c.id == 1003) << c.id;
            }
        }
        u->click(u, 2);
    });
}

// --- what the dialog shows ---

TEST_F(DialogTest, DefaultsAreShownWithNoBoxTicked)
{
    const int rc = open([](ZeltDialogUser *u) {
        EXPECT_EQ(controlText(u, 1001), "10");
        EXPECT_EQ(controlText(u, 1003), "0.15");
        EXPECT_EQ(controlText(u, 1007), "1");
        EXPECT_EQ(controlText(u, 1008), "1");
        EXPECT_EQ(controlText(u, 1009), "1");
        EXPECT_EQ(controlText(u, 1010), "1.");
        EXPECT_EQ(controlText(u, 1011), "20");
        for (int id : kCheckBoxes)
            EXPECT_EQ(u->isChecked(u, id), 0) << id;
        u->click(u, 2);
    });
    EXPECT_EQ(rc, -1);
}

TEST_F(DialogTest, EveryFieldIsShownInItsOwnControl)
{
    FilterSettings &s = filterSettings;
    s.displaySpectrum = 1;
    s.harmonicsNumber = 720;
    s.notchEnabled = 1;
    s.minHarmonic = 3;
    s.mainHarmonic = 5;
    s.maxHarmonic = 7;
    s.curveAggression = 2.75f;
    s.rejectionDb = -40;
    s.dcAverage = 1;
    s.dcTemporal = 0;
    s.fullProcessing = 1;
    open([](ZeltDialogUser *u) {
        EXPECT_EQ(controlText(u, 1001), "720");
        EXPECT_EQ(controlText(u, 1003), "11.3");
        EXPECT_EQ(controlText(u, 1007), "5");
        EXPECT_EQ(controlText(u, 1008), "7");
        EXPECT_EQ(controlText(u, 1009), "3");
        EXPECT_EQ(controlText(u, 1010), "2.75");
        EXPECT_EQ(controlText(u, 1011), "-40");
        EXPECT_EQ(u->isChecked(u, 1002), 1);
        EXPECT_EQ(u->isChecked(u, 1005), 1);
        EXPECT_EQ(u->isChecked(u, 1006), 1);
        EXPECT_EQ(u->isChecked(u, 1012), 1);
        EXPECT_EQ(u->isChecked(u, 1013), 0);
        EXPECT_EQ(u->isChecked(u, 1004), 0);
        EXPECT_EQ(u->isChecked(u, 1014), 0);
        u->click(u, 2);
    });
}

// --- OK ---

TEST_F(DialogTest, OkWithoutTouchingAnythingKeepsTheRecord)
{
    FilterSettings &s = filterSettings;
    s.displaySpectrum = 1;
    s.harmonicsNumber = 64;
    s.notchEnabled = 1;
    s.minHarmonic = -2;
    s.mainHarmonic = 0;
    s.maxHarmonic = 300;
    s.rejectionDb = 6;
    s.dcTemporal = 1;
    s.fullProcessing = 1;
    FilterSettings before = s;
    before.harmonicsLimit = 720;
    EXPECT_EQ(confirm([](ZeltDialogUser *) {}), 0);
    EXPECT_TRUE(sameRecord(s, before));
    // 1.0 went out as "1." and came back as exactly 1.0.
    EXPECT_EQ(s.curveAggression, 1.0f);
}

TEST_F(DialogTest, OkStoresEveryControlInItsField)
{
    EXPECT_EQ(confirm([](ZeltDialogUser *u) {
                  u->setChecked(u, 1002, 1);
                  u->setText(u, 1001, "33");
                  u->setChecked(u, 1006, 1);
                  u->setText(u, 1007, "11");
                  u->setText(u, 1009, "12");
                  u->setText(u, 1008, "13");
                  u->setText(u, 1010, "0.5");
                  u->setText(u, 1011, "14");
                  u->setChecked(u, 1005, 1);
                  u->setChecked(u, 1012, 1);
                  u->setChecked(u, 1013, 1);
              }),
              0);
    const FilterSettings &s = filterSettings;
    EXPECT_EQ(s.displaySpectrum, 1);
    EXPECT_EQ(s.harmonicsNumber, 33);
    EXPECT_EQ(s.harmonicsLimit, 720);
    EXPECT_EQ(s.fullProcessing, 1);
    EXPECT_EQ(s.mainHarmonic, 11);
    EXPECT_EQ(s.minHarmonic, 12);
    EXPECT_EQ(s.maxHarmonic, 13);
    EXPECT_EQ(s.curveAggression, 0.5f);
    EXPECT_EQ(s.rejectionDb, 14);
    EXPECT_EQ(s.notchEnabled, 1);
    EXPECT_EQ(s.dcAverage, 1);
    EXPECT_EQ(s.dcTemporal, 1);

    // And unticking stores 0.
    EXPECT_EQ(confirm([](ZeltDialogUser *u) {
                  for (int id : {1002, 1005, 1006, 1012, 1013})
                      u->setChecked(u, id, 0);
              }),
              0);
    EXPECT_EQ(s.displaySpectrum | s.notchEnabled | s.fullProcessing | s.dcAverage | s.dcTemporal, 0);
}

TEST_F(DialogTest, HarmonicsNumberIsBoundedByTheSourceWidthOnOk)
{
    auto enter = [&](const char *text, int width) {
        filterSettings = defaultFilterSettings();
        EXPECT_EQ(confirm([&](ZeltDialogUser *u) { u->setText(u, 1001, text); }, width), 0);
        EXPECT_EQ(filterSettings.harmonicsLimit, width);
        return filterSettings.harmonicsNumber;
    };
    EXPECT_EQ(enter("1000", 720), 720);
    EXPECT_EQ(enter("5", 720), 5);
    EXPECT_EQ(enter("720", 720), 720);
    EXPECT_EQ(enter("721", 720), 720);
    EXPECT_EQ(enter("99999999999", 720), 720);  // beyond 32 bits: saturates, then bounded
    EXPECT_EQ(enter("7", 0), 0);
    EXPECT_EQ(enter("0", 0), 0);
    // No lower bound, and no digits give 0.
    EXPECT_EQ(enter("-5", 720), -5);
    EXPECT_EQ(enter("", 720), 0);
    EXPECT_EQ(enter("abc", 720), 0);
    EXPECT_EQ(enter("  12abc", 720), 12);
}

TEST_F(DialogTest, DefaultHarmonicsNumberIsNotComparedWithANarrowWidthUntilOk)
{
    int rc = open(
        [](ZeltDialogUser *u) {
            EXPECT_EQ(controlText(u, 1001), "10");
            u->click(u, 2);
        },
        4);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(filterSettings.harmonicsNumber, 10);
    EXPECT_EQ(filterSettings.harmonicsLimit, 4);
    EXPECT_EQ(confirm([](ZeltDialogUser *) {}, 4), 0);
    EXPECT_EQ(filterSettings.harmonicsNumber, 4);
}

TEST_F(DialogTest, FloatAndIntegerTextsAreReadLikeTheCLibrary)
{
    EXPECT_EQ(confirm([](ZeltDialogUser *u) {
                  u->setText(u, 1010, " 1e-2xyz");
                  u->setText(u, 1011, "+17dB");
                  u->setText(u, 1007, "\t-3");
              }),
              0);
    EXPECT_EQ(filterSettings.curveAggression, (float)0.01);
    EXPECT_EQ(filterSettings.rejectionDb, 17);
    EXPECT_EQ(filterSettings.mainHarmonic, -3);
    open([](ZeltDialogUser *u) {
        EXPECT_EQ(controlText(u, 1010), "1.e-002");
        u->click(u, 2);
    });
}

TEST_F(DialogTest, AtMost127CharactersOfAControlAreRead)
{
    // 126 zeros then "45": only the first of the two digits fits the buffer.
    std::string text(126, '0');
    text += "45";
    EXPECT_EQ(confirm([&](ZeltDialogUser *u) { u->setText(u, 1011, text.c_str()); }), 0);
    EXPECT_EQ(filterSettings.rejectionDb, 4);
}

TEST_F(DialogTest, EnterIsOk)
{
    EXPECT_EQ(open([](ZeltDialogUser *u) {
                  u->setText(u, 1011, "3");
                  EXPECT_EQ(u->key(u, ZELT_DIALOG_KEY_ENTER), ZELT_DIALOG_OK);
                  intptr_t result = 99;
                  EXPECT_EQ(u->ended(u, &result), 1);
                  EXPECT_EQ(result, 0);
                  // Nothing more can be done in an ended dialog.
                  EXPECT_EQ(u->setText(u, 1011, "4"), ZELT_DIALOG_ENDED);
                  EXPECT_EQ(u->click(u, 2), ZELT_DIALOG_ENDED);
              }),
              0);
    EXPECT_EQ(filterSettings.rejectionDb, 3);
}

// --- Cancel and failure ---

TEST_F(DialogTest, EveryWayOfCancellingKeepsTheRecord)
{
    filterSettings.harmonicsNumber = 50;
    filterSettings.curveAggression = 0.15f;
    FilterSettings before = filterSettings;
    before.harmonicsLimit = 720;
    auto editEverything = [](ZeltDialogUser *u) {
        for (int id : {1001, 1007, 1008, 1009, 1010, 1011})
            u->setText(u, id, "321");
        for (int id : {1002, 1005, 1006, 1012, 1013})
            u->setChecked(u, id, 1);
    };
    const DialogScript ways[] = {
        [&](ZeltDialogUser *u) {
            editEverything(u);
            u->click(u, 2);
        },
        [&](ZeltDialogUser *u) {
            editEverything(u);
            u->key(u, ZELT_DIALOG_KEY_ESCAPE);
        },
        [&](ZeltDialogUser *u) {
            editEverything(u);
            u->closeBox(u);
        },
        [&](ZeltDialogUser *u) { editEverything(u); },  // walks away: the layer closes it
    };
    for (const DialogScript &way : ways) {
        EXPECT_EQ(open(way), -1);
        EXPECT_TRUE(sameRecord(filterSettings, before));
    }
}

TEST_F(DialogTest, DialogThatCannotBeCreatedReturnsMinusOneAndKeepsTheRecord)
{
    filterSettings.harmonicsNumber = 9;
    FilterSettings before = filterSettings;
    before.harmonicsLimit = 320;
    src.w = 320;
    // No user at all, a host without a script, a pointer that is no host.
    const LoadedModule &m = host.module();
    EXPECT_EQ(m.callConfig(&fa, nullptr), -1);
    ZeltDialogHost noScript = zeltDialogHost(nullptr, nullptr);
    EXPECT_EQ(m.callConfig(&fa, (HWND)&noScript), -1);
    uint32_t notAHost[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(m.callConfig(&fa, (HWND)notAHost), -1);
    ZeltDialogHost future = zeltDialogHost([](ZeltDialogUser *, void *) { ADD_FAILURE(); }, nullptr);
    future.version = ZELT_DIALOG_HOST_VERSION + 1;
    EXPECT_EQ(m.callConfig(&fa, (HWND)&future), -1);
    EXPECT_TRUE(sameRecord(filterSettings, before));
    // Nor without the module's resources.
    const HINSTANCE loaded = moduleInstance;
    moduleInstance = nullptr;
    EXPECT_EQ(open([](ZeltDialogUser *) { ADD_FAILURE(); }), -1);
    moduleInstance = loaded;
}

// --- the frequency estimate ---

TEST_F(DialogTest, EstimateFollowsTheStoredNumberOnly)
{
    EXPECT_EQ(confirm([](ZeltDialogUser *u) { u->setText(u, 1001, "100"); }), 0);
    open([](ZeltDialogUser *u) {
        EXPECT_EQ(controlText(u, 1003), "1.56");
        // Typing does not update it...
        u->setText(u, 1001, "720");
        EXPECT_EQ(controlText(u, 1003), "1.56");
        u->click(u, 2);
    });
    // ...nor does a cancelled change.
    open([](ZeltDialogUser *u) {
        EXPECT_EQ(controlText(u, 1001), "100");
        EXPECT_EQ(controlText(u, 1003), "1.56");
        u->setText(u, 1001, "6");
        u->click(u, 1);
    });
    open([](ZeltDialogUser *u) {
        EXPECT_EQ(controlText(u, 1003), "9.e-002");
        u->click(u, 2);
    });
}

// --- controls that carry no setting, and messages that are not handled ---

TEST_F(DialogTest, SpinArrowsAndDisabledBoxesChangeNothing)
{
    FilterSettings before = filterSettings;
    before.harmonicsLimit = 720;
    EXPECT_EQ(confirm([](ZeltDialogUser *u) {
                  for (int i = 0; i < 5; i++)
                      EXPECT_EQ(u->click(u, 1000), ZELT_DIALOG_OK);
                  EXPECT_EQ(controlText(u, 1001), "10");
                  EXPECT_EQ(u->click(u, 1004), ZELT_DIALOG_REFUSED);
                  EXPECT_EQ(u->setChecked(u, 1014, 1), ZELT_DIALOG_REFUSED);
                  EXPECT_EQ(u->isChecked(u, 1004), 0);
                  intptr_t result = 0;
                  EXPECT_EQ(u->ended(u, &result), 0);
              }),
              0);
    EXPECT_TRUE(sameRecord(filterSettings, before));
}

TEST_F(DialogTest, ProcedureHandlesOnlyInitialisationOkAndCancel)
{
    open([](ZeltDialogUser *u) {
        const uint32_t WM_COMMAND_ = 0x0111, WM_NOTIFY_ = 0x004E, WM_CLOSE_ = 0x0010, WM_INITDIALOG_ = 0x0110;
        // Edit changes, clicks of other controls, other messages: not handled.
        EXPECT_EQ(u->send(u, WM_COMMAND_, (0x0300u << 16) | 1001u, 0), 0);
        EXPECT_EQ(u->send(u, WM_COMMAND_, 1005, 0), 0);
        EXPECT_EQ(u->send(u, WM_COMMAND_, 1000, 0), 0);
        EXPECT_EQ(u->send(u, WM_NOTIFY_, 1000, 0), 0);
        EXPECT_EQ(u->send(u, WM_CLOSE_, 0, 0), 0);
        // Initialisation again: handled, and shows the record again.
        u->setText(u, 1011, "77");
        EXPECT_EQ(u->send(u, WM_INITDIALOG_, 0, 0), 1);
        EXPECT_EQ(controlText(u, 1011), "20");
        intptr_t result = 0;
        EXPECT_EQ(u->ended(u, &result), 0);
        // Cancel, whatever the notification code in the high half.
        EXPECT_EQ(u->send(u, WM_COMMAND_, (5u << 16) | 2u, 0), 1);
        EXPECT_EQ(u->ended(u, &result), 1);
        EXPECT_EQ(result, -1);
    });
}

}  // namespace
