// The drawn controls for screen readers: a drawing area whose accessible (a panel) has one ATK
// child per node of the tree the user interface last published (gui/a11y_tree.h), with its
// extents, a "click" action, a value for sliders and an editable text for entries. Requests of
// assistive technology come back as node ids through Handlers, so that they take the same
// paths as the pointer and the keys. Changes between two published trees are announced: focus,
// checked and other states, names, texts, carets and values, items that come and go.
//
// Main thread only. Nothing is built before a client first asks the drawing area for its
// children: until then wanted() is false and the user interface publishes nothing. Without an
// accessibility bus nothing ever asks, and every call here is cheap and harmless.
#pragma once
#include <string>

#include "gui/a11y_tree.h"

typedef struct _GtkWidget GtkWidget;

namespace a11y {

// Each returns false when the control refuses: it is gone, disabled, hidden behind an overlay,
// or the value is not a number.
struct Handlers {
    bool (*act)(int id);                                         // as a click on it
    bool (*set_value)(int id, double value);                     // as a drag to that value
    bool (*set_text)(int id, const std::string& utf8, bool commit);  // as typing; commit: Return
    bool (*select)(int id, int caret, int anchor);               // in characters
};

// A new drawing area whose accessible is a panel named `name`.
GtkWidget* new_area(const char* name);
// Where the area's clients are served: their requests go to `handlers`; `refresh` is called
// once, when the first client asks, to publish a tree without waiting for the next draw.
void attach(GtkWidget* area, const Handlers& handlers, void (*refresh)());
// Every published object turns defunct; requests are refused from now on.
void detach();

// Whether a client has asked, so that the user interface should publish while it draws.
bool wanted();
// Replaces the tree and announces what changed.
void publish(Tree tree);

}  // namespace a11y
