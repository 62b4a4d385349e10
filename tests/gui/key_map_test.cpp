// Key presses as the user interface receives them: codes with their flags, or typed text.
#include "gui/key_map.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

namespace {

struct Case {
    const char* what;
    unsigned keyval;
    unsigned state;
    int code;
    bool shift, ctrl;
    const char* text;
};

TEST(KeyMap, CodesFlagsAndText) {
    const unsigned kShift = GDK_SHIFT_MASK, kCtrl = GDK_CONTROL_MASK;
    const Case cases[] = {
        {"Ctrl+C", GDK_KEY_c, kCtrl, keymap::LetterC, false, true, ""},
        {"Shift+Return", GDK_KEY_Return, kShift, keymap::Return, true, false, ""},
        {"keypad Enter", GDK_KEY_KP_Enter, 0, keymap::Return, false, false, ""},
        {"n is a key, not text", GDK_KEY_n, 0, keymap::LetterN, false, false, ""},
        {"Shift+A", GDK_KEY_A, kShift, keymap::LetterA, true, false, ""},
        {"A with Caps Lock", GDK_KEY_A, 0, keymap::LetterA, true, false, ""},
        {"Shift+a with Caps Lock", GDK_KEY_a, kShift, keymap::LetterA, false, false, ""},
        {"space", GDK_KEY_space, 0, keymap::Space, false, false, ""},
        {"Shift+Tab", GDK_KEY_ISO_Left_Tab, kShift, keymap::Tab, true, false, ""},
        {"F1", GDK_KEY_F1, 0, keymap::F1, false, false, ""},
        {"a-umlaut", GDK_KEY_adiaeresis, 0, keymap::None, false, false, "\xc3\xa4"},
        {"Ctrl+a-umlaut", GDK_KEY_adiaeresis, kCtrl, keymap::None, false, true, ""},
        {"digit", GDK_KEY_7, 0, keymap::None, false, false, "7"},
        {"euro sign", GDK_KEY_EuroSign, 0, keymap::None, false, false, "\xe2\x82\xac"},
        {"arrow up", GDK_KEY_Up, 0, keymap::None, false, false, ""},
        {"page down", GDK_KEY_Page_Down, 0, keymap::None, false, false, ""},
        {"F2", GDK_KEY_F2, 0, keymap::None, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const keymap::Press p = keymap::translate(c.keyval, c.state);
        EXPECT_EQ(p.code, c.code);
        EXPECT_EQ(p.shift, c.shift);
        EXPECT_EQ(p.ctrl, c.ctrl);
        EXPECT_EQ(p.text, c.text);
    }
}

}  // namespace
