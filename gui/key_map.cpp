#include "gui/key_map.h"

#include <gdk/gdk.h>

namespace keymap {

namespace {

struct Entry {
    unsigned keyval;
    Code code;
};

// Shift+Tab arrives as ISO_Left_Tab; it is still the Tab key, with Shift held.
constexpr Entry kKeys[] = {
    {GDK_KEY_BackSpace, BackSpace}, {GDK_KEY_Delete, Delete},     {GDK_KEY_End, End},
    {GDK_KEY_Escape, Escape},       {GDK_KEY_F1, F1},             {GDK_KEY_Home, Home},
    {GDK_KEY_Left, Left},           {GDK_KEY_Return, Return},     {GDK_KEY_KP_Enter, Return},
    {GDK_KEY_Right, Right},         {GDK_KEY_space, Space},       {GDK_KEY_Tab, Tab},
    {GDK_KEY_ISO_Left_Tab, Tab},    {GDK_KEY_a, LetterA},         {GDK_KEY_A, LetterA},
    {GDK_KEY_c, LetterC},           {GDK_KEY_C, LetterC},         {GDK_KEY_n, LetterN},
    {GDK_KEY_N, LetterN},           {GDK_KEY_v, LetterV},         {GDK_KEY_V, LetterV},
    {GDK_KEY_x, LetterX},           {GDK_KEY_X, LetterX},
};

std::string utf8(gunichar c) {
    char buf[8];
    const int n = g_unichar_to_utf8(c, buf);
    return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

Press translate(unsigned keyval, unsigned state) {
    Press p;
    p.shift = (state & GDK_SHIFT_MASK) != 0;
    p.ctrl = (state & GDK_CONTROL_MASK) != 0;
    for (const Entry& e : kKeys) {
        if (e.keyval == keyval) {
            p.code = e.code;
            // A letter's case is what the keyval says, Caps Lock included; the user interface
            // reads it from the Shift flag.
            if (gdk_keyval_is_upper(keyval) != gdk_keyval_is_lower(keyval))
                p.shift = gdk_keyval_is_upper(keyval);
            return p;
        }
    }
    if (p.ctrl) return p;
    const gunichar c = gdk_keyval_to_unicode(keyval);
    if (c > 31 && c != 127) p.text = utf8(c);
    return p;
}

}  // namespace keymap
