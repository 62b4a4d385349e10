// The ATK objects behind the published nodes of gui/a11y_atk.h: one object per node id, of a
// type that fits its role (every node has extents and actions; sliders and level bars add a
// value, entries an editable text). An object reads its node from the published tree on every
// request, so it always answers with what was last drawn; once its id is gone from the tree,
// or given to a newer object, it answers as defunct and refuses every request.
//
// Main thread only. Offsets and ranges a client passes are clamped, never trusted.
#pragma once
#include <atk/atk.h>

#include <vector>

#include "gui/a11y_atk.h"
#include "gui/a11y_tree.h"

namespace a11y {

// The published state, as gui/a11y_atk.cpp keeps it.
const Node* find(int id);                    // null when the id is not in the tree
const std::vector<int>& children_of(int id);  // 0: the drawing area's
AtkObject* object_of(int id);                // borrowed; null when not in the tree
// The drawing area's own origin on screen (ATK_XY_SCREEN) or in its window (ATK_XY_WINDOW);
// false when the area is gone.
bool area_origin(AtkCoordType coords, int* x, int* y);
const Handlers* handlers();  // null after detach

// A new object for `node` (one reference, owned by the caller), parented to `parent`.
AtkObject* make_object(const Node& node, AtkObject* parent);
// The ATK states a set of Node::states bits stand for, in the order they are announced.
std::vector<AtkStateType> atk_states(uint32_t bits);

}  // namespace a11y
