// The resource-script reader, against the program's own script (what the
// Windows build compiles) and against small scripts of our own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "platform/resources/resource_script.h"
#include "res/resource.h"

namespace qm {
namespace {

constexpr std::uint32_t kModalDialogStyle = 0x80 | 0x80000000 | 0x00C00000 | 0x00080000;

struct Expected {
    int id;
    const char* className;
    const char* text;
    int x, y, cx, cy;
};

void ExpectControls(const rc::Dialog& dialog, const std::vector<Expected>& expected) {
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& c = dialog.controls[i];
        const auto& e = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + e.text + "\"");
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(c.className, e.className);
        EXPECT_EQ(c.text, e.text);
        EXPECT_EQ((std::vector<int>{c.x, c.y, c.cx, c.cy}),
                  (std::vector<int>{e.x, e.y, e.cx, e.cy}));
    }
}

TEST(ResourceScript, SettingsDialogHasItsControlsInTemplateOrder) {
    const rc::Script& script = rc::EmbeddedScript();
    ASSERT_EQ(script.dialogs.count(IDD_SETTINGS), 1u);
    const rc::Dialog& d = script.dialogs.at(IDD_SETTINGS);
    EXPECT_EQ(d.caption, "Quillmere Settings");
    EXPECT_EQ((std::vector<int>{d.cx, d.cy}), (std::vector<int>{278, 148}));
    EXPECT_EQ(d.fontSize, 8);
    EXPECT_EQ(d.fontName, "MS Sans Serif");
    EXPECT_EQ(d.style, kModalDialogStyle);

    ExpectControls(d, {
        {-1, "Button", "", 5, 5, 130, 51},
        {1006, "Button", "Change A&utomatically", 11, 4, 84, 11},
        {-1, "Static", "&Every", 15, 23, 20, 8},
        {1009, "Edit", "", 39, 23, 29, 12},
        {1008, "msctls_updown32", "", 67, 23, 9, 11},
        {1010, "Button", "Mi&nutes", 22, 38, 41, 10},
        {1011, "Button", "H&ours", 65, 38, 35, 10},
        {-1, "Button", "Wallpaper Display", 141, 4, 131, 54},
        {1015, "Button", "&Center", 147, 15, 37, 10},
        {1016, "Button", "&Tile", 147, 26, 23, 8},
        {1017, "Button", "&Auto-Tile", 147, 36, 44, 10},
        {-1, "Static", "&Width <", 201, 23, 26, 8},
        {1019, "Edit", "", 229, 20, 25, 12},
        {1018, "msctls_updown32", "", 254, 21, 10, 11},
        {-1, "Static", "&Height <", 200, 35, 28, 8},
        {1021, "Edit", "", 229, 33, 25, 12},
        {1020, "msctls_updown32", "", 254, 33, 10, 11},
        {-1, "Static", "Si&ze:", 147, 47, 22, 8},
        {1022, "ComboBox", "", 171, 45, 70, 60},
        {-1, "Button", "Next Wallpaper is", 4, 61, 212, 69},
        {1003, "Button", "&Sequentialy Chosen", 16, 71, 77, 10},
        {1004, "Button", "&Randomly Chosen", 101, 71, 73, 10},
        {-1, "Static", "Wallpaper &Folder:", 8, 89, 59, 8},
        {1013, "Edit", "", 67, 87, 104, 12},
        {1014, "Button", "&Browse...", 176, 87, 37, 14},
        {1024, "Button", "Include &subfolders", 67, 102, 104, 10},
        {1, "Button", "OK", 222, 62, 50, 14},
        {2, "Button", "Cancel", 222, 78, 50, 14},
        {57664, "Button", "About", 222, 94, 50, 14},
        {1023, "Button", "Update Image List", 29, 116, 62, 11},
        {-1, "Static", "if you added new images to the dir.", 95, 118, 120, 8},
        {-1, "Static", "Click", 9, 117, 16, 8},
        {1030, "Button", "Start when I &log in", 6, 134, 100, 10},
        {1031, "Button", "A different picture on each &monitor", 110, 134, 162, 10},
    });

    // Styles that decide behaviour: the up-down controls take their buddy
    // automatically and write plain integers into it; OK is the default.
    for (const auto& c : d.controls) {
        if (c.className == "msctls_updown32") {
            EXPECT_EQ(c.style & 0x92u, 0x92u) << c.id;  // SETBUDDYINT | AUTOBUDDY | NOTHOUSANDS
        }
        if (c.id == kIdOk) {
            EXPECT_EQ(c.style & 0xFu, 0x1u);  // BS_DEFPUSHBUTTON
        }
        if (c.id == IDC_STRETCH) {
            EXPECT_EQ(c.style & 0x3u, 0x3u);  // CBS_DROPDOWNLIST: a choice, no typing
        }
    }
    // The sizes' names, one string each, in the order of their values.
    std::vector<std::string> sizes;
    for (unsigned id = IDS_SIZE_AS_IS; id <= IDS_SIZE_FITTED; ++id) {
        sizes.push_back(rc::EmbeddedScript().strings.at(id));
    }
    EXPECT_EQ(sizes, (std::vector<std::string>{"As it is", "Stretched", "Filled", "Fitted"}));
}

TEST(ResourceScript, SettingsRadioGroupsFollowTheGroupBits) {
    struct NoHandlers : DialogEvents {
        bool OnInitDialog(DialogWindow&) override { return true; }
        void OnCommand(DialogWindow&, int) override {}
    } events;
    HeadlessPlatform platform;
    HeadlessDialog dialog(platform, IDD_SETTINGS, rc::EmbeddedScript().dialogs.at(IDD_SETTINGS),
                          events);
    EXPECT_EQ(dialog.RadioGroup(IDC_WHEN_MINUTES), (std::vector<int>{1010, 1011}));
    EXPECT_EQ(dialog.RadioGroup(IDC_DISPLAY_CENTER), (std::vector<int>{1015, 1016, 1017}));
    EXPECT_EQ(dialog.RadioGroup(IDC_RANDOM_SEQUENTIAL), (std::vector<int>{1003, 1004}));
}

TEST(ResourceScript, AboutBoxTemplate) {
    const rc::Dialog& d = rc::EmbeddedScript().dialogs.at(IDD_ABOUTBOX);
    EXPECT_EQ(d.caption, "About Quillmere 2.0");
    EXPECT_EQ((std::vector<int>{d.cx, d.cy}), (std::vector<int>{182, 95}));
    EXPECT_EQ(d.style, kModalDialogStyle);
    ASSERT_EQ(d.controls.size(), 8u);
    // The icon is given by its resource number, not by text.
    EXPECT_TRUE(d.controls[0].hasOrdinal);
    EXPECT_EQ(d.controls[0].ordinal, IDR_MAINFRAME);
    EXPECT_EQ(d.controls[0].style & 0xFu, 0x3u);  // SS_ICON
    EXPECT_EQ(d.controls[1].text, "Quillmere 2.0");
    EXPECT_EQ(d.controls[2].id, kIdOk);
    EXPECT_EQ(d.controls[3].id, IDC_CONTACT);
    EXPECT_EQ(d.controls[3].style & 0x800u, 0x800u);  // ES_READONLY
    EXPECT_EQ(d.controls[5].text, "JPG support thanks to");
    // A \n escape becomes a line break: the credit is on two lines.
    EXPECT_NE(d.controls[7].text.find('\n'), std::string::npos);
}

TEST(ResourceScript, PopupMenuAndStrings) {
    const rc::Script& script = rc::EmbeddedScript();
    ASSERT_EQ(script.menus.count(IDR_MAINFRAME), 1u);
    const auto& popups = script.menus.at(IDR_MAINFRAME).popups;
    ASSERT_EQ(popups.size(), 1u);
    const auto& items = popups[0].items;
    ASSERT_EQ(items.size(), 8u);
    struct Item {
        const char* text;
        int id;
    };
    const Item expected[] = {{"&Previous Wallpaper", 32774}, {"&Tile Current Paper", 32775},
                             {"&Center Current Paper", 32776}, {nullptr, 0},
                             {"&Settings", 32772},             {nullptr, 0},
                             {"&About Quillmere", 57664},      {"E&xit", 57665}};
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i].separator, expected[i].text == nullptr);
        if (expected[i].text != nullptr) {
            EXPECT_EQ(items[i].text, expected[i].text);
            EXPECT_EQ(items[i].id, expected[i].id);
            EXPECT_FALSE(items[i].grayed);
        }
    }

    EXPECT_EQ(script.strings.at(128), "Quillmere");
    EXPECT_EQ(script.strings.at(57344), "Quillmere");
    EXPECT_EQ(script.defines.at("IDC_STATIC"), -1);
    HeadlessPlatform platform;
    EXPECT_EQ(platform.LoadString(IDR_MAINFRAME), "Quillmere");
    EXPECT_EQ(platform.LoadString(4242), "");
}

// A script with the constructs the reader must take or skip.
constexpr const char* kHeader = R"(
#pragma once
#define IDD_ONE 7   // a comment
#define IDC_NEG (-1)
#define IDC_HEX 0x10
#define IDC_SUM (IDC_HEX + 2)
#define FLAG_ONLY
#define MACRO(x) ((x) * 2)
)";

constexpr const char* kScript = R"(
#include <windows.h>
#include "whatever.h"
LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
1 ICON "some.ico"
/* a block
   comment */
IDD_ONE DIALOG DISCARDABLE 1, 2, 30, 40
STYLE WS_POPUP | WS_CAPTION
CAPTION "Say ""hi""\tnow"
FONT 9, "Tahoma"
BEGIN
    CONTROL "a\nb", IDC_NEG, "Static", SS_LEFT | WS_GROUP, 1, 2, 3, 4
    CONTROL 5, IDC_SUM, "Button", BS_AUTORADIOBUTTON | WS_DISABLED, -1, 0, 10, 10, 0x200
END
9 MENU
BEGIN
    POPUP "P"
    BEGIN
        MENUITEM "&One", 100, GRAYED
        MENUITEM SEPARATOR
        MENUITEM "Two", IDC_HEX
    END
END
1 VERSIONINFO
FILEVERSION 1, 0, 0, 0
BEGIN
    BLOCK "StringFileInfo"
    BEGIN
        BLOCK "040904B0"
        BEGIN
            VALUE "ProductName", "X"
        END
    END
END
STRINGTABLE
BEGIN
    IDD_ONE "seven"
    8, "eight"
END
)";

TEST(ResourceScript, ReadsDefinesBlocksAndEscapesAndSkipsTheRest) {
    rc::Script s = rc::Parse(kScript, {kHeader});
    EXPECT_EQ(s.defines.at("IDD_ONE"), 7);
    EXPECT_EQ(s.defines.at("IDC_NEG"), -1);
    EXPECT_EQ(s.defines.at("IDC_HEX"), 16);
    EXPECT_EQ(s.defines.at("IDC_SUM"), 18);
    EXPECT_EQ(s.defines.count("FLAG_ONLY"), 0u);
    EXPECT_EQ(s.defines.count("MACRO"), 0u);

    ASSERT_EQ(s.dialogs.size(), 1u);
    const rc::Dialog& d = s.dialogs.at(7);
    EXPECT_EQ((std::vector<int>{d.x, d.y, d.cx, d.cy}), (std::vector<int>{1, 2, 30, 40}));
    EXPECT_EQ(d.style, 0x80000000u | 0x00C00000u);
    EXPECT_EQ(d.caption, "Say \"hi\"\tnow");
    EXPECT_EQ(d.fontSize, 9);
    EXPECT_EQ(d.fontName, "Tahoma");
    ASSERT_EQ(d.controls.size(), 2u);
    EXPECT_EQ(d.controls[0].text, "a\nb");
    EXPECT_EQ(d.controls[0].id, -1);
    EXPECT_EQ(d.controls[0].style, 0x00020000u);
    EXPECT_TRUE(d.controls[1].hasOrdinal);
    EXPECT_EQ(d.controls[1].ordinal, 5);
    EXPECT_EQ(d.controls[1].id, 18);
    EXPECT_EQ(d.controls[1].style, 0x9u | 0x08000000u);
    EXPECT_EQ(d.controls[1].x, -1);

    const auto& items = s.menus.at(9).popups.at(0).items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0].grayed);
    EXPECT_TRUE(items[1].separator);
    EXPECT_EQ(items[2].id, 16);

    EXPECT_EQ(s.strings, (std::map<unsigned, std::string>{{7, "seven"}, {8, "eight"}}));
}

TEST(ResourceScript, RefusesWhatItCannotRead) {
    auto errorOf = [](const std::string& script) -> std::string {
        try {
            rc::Parse(script, {kHeader});
        } catch (const rc::ScriptError& e) {
            return e.what();
        }
        return "";
    };
    const std::string dialogHead = "IDD_ONE DIALOG 0, 0, 10, 10\nSTYLE WS_POPUP\nBEGIN\n";

    // An unknown style symbol names itself and its line.
    std::string unknown = errorOf(dialogHead +
                                  "CONTROL \"x\", 1, \"Button\", BS_PUSHBUTTON | BS_FANCY, 0, 0, 1, 1\nEND\n");
    EXPECT_NE(unknown.find("BS_FANCY"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("line 4"), std::string::npos) << unknown;
    // An unknown id symbol, in a menu.
    EXPECT_NE(errorOf("1 MENU\nBEGIN\nPOPUP \"p\"\nBEGIN\nMENUITEM \"a\", ID_NOPE\nEND\nEND\n")
                  .find("ID_NOPE"),
              std::string::npos);
    // Controls in short forms are not read, so they are refused.
    EXPECT_NE(errorOf(dialogHead + "PUSHBUTTON \"x\", 1, 0, 0, 1, 1\nEND\n"), "");
    // Broken syntax.
    EXPECT_NE(errorOf("STRINGTABLE\nBEGIN\n1 \"unterminated\nEND\n"), "");
    EXPECT_NE(errorOf(dialogHead + "CONTROL \"x\", 1, \"Button\", 0, 0, 0, 1\nEND\n"), "");
    EXPECT_NE(errorOf("1 VERSIONINFO\nBEGIN\nBLOCK \"x\"\nBEGIN\n"), "");
}

}  // namespace
}  // namespace qm
