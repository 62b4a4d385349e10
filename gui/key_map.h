// What a key press means to the user interface: one of the sixteen input codes (with the Shift
// and Ctrl flags), typed text, or nothing. Pure functions of the key value and the modifier
// state, so that the mapping is the same with or without a display. Any thread.
#pragma once
#include <string>

namespace keymap {

// The input codes the user interface understands.
enum Code : int {
    None = 0, BackSpace, Delete, End, Escape, F1, Home, Left, Return, Right, Space, Tab,
    LetterA, LetterC, LetterN, LetterV, LetterX
};

struct Press {
    Code code = None;  // not None: deliver as a key with the flags below
    bool shift = false;  // for the five letters: upper case (Shift or Caps Lock)
    bool ctrl = false;
    std::string text;  // code None and not empty: deliver as typed text (UTF-8)
};

// `keyval` is the toolkit's key value, `state` its modifier mask. The space bar and the five
// letters are always keys, never text; Ctrl with any other key gives nothing; keys without a
// printable character (arrows up and down, page keys, function keys but F1) give nothing.
Press translate(unsigned keyval, unsigned state);

}  // namespace keymap
