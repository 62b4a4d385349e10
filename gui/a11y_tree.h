// What assistive technology is told about the drawn controls, free of any toolkit type: one node
// per control with its role, name, states, rectangle and, where it has one, a value range or an
// editable text. The user interface fills a list of nodes while it draws; gui/a11y_atk.h
// shows the list to screen readers and hands their requests back by node id.
//
// Plain data, no thread of its own: built and read on the main thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "gui/gfx.h"

namespace a11y {

enum class Role : uint8_t {
    PushButton,
    CheckBox,
    RadioButton,
    Slider,
    Entry,
    Label,
    LevelBar,
    Dialog,
    List,
    ListItem,
    Link,
};

// Bits of Node::states.
enum : uint32_t {
    kEnabled = 1u << 0,
    kFocusable = 1u << 1,
    kFocused = 1u << 2,
    kChecked = 1u << 3,
    kShowing = 1u << 4,  // drawn and not hidden behind an overlay
    kInvalid = 1u << 5,  // drawn in the error colour
    kSelectable = 1u << 6,
    kSelected = 1u << 7,
    kReadOnlyValue = 1u << 8,  // a value that can be read, not set
    kRunningValue = 1u << 9,   // a value that moves by itself (a position, a level): not announced
};

struct Node {
    int id = 0;      // stable for as long as the control exists; never 0
    int parent = 0;  // 0: the drawing area itself
    Role role = Role::Label;
    std::string name;
    // A name change is announced only when this changes (empty: when the name changes), so a
    // text that counts seconds can be spoken once a minute.
    std::string announce;
    uint32_t states = 0;
    gfx::Rect rect{};  // drawing-area pixels
    // Sliders and level bars.
    double min = 0, max = 0, value = 0, step = 0;
    std::string value_text;
    // Entries: the text, and caret and selection anchor in characters.
    std::string text;
    int caret = 0, anchor = 0;
};

// Parents come before their children; siblings stand in reading order.
using Tree = std::vector<Node>;

}  // namespace a11y
