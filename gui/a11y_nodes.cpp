#include "gui/a11y_nodes.h"

#include <glib.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace a11y {

namespace {

struct QmNode {
    AtkObject parent_instance;
    int id;
};
struct QmNodeClass {
    AtkObjectClass parent_class;
};

// The node this object stands for; null once it is defunct.
const Node* node_of(gpointer self) {
    const int id = reinterpret_cast<QmNode*>(self)->id;
    return object_of(id) == ATK_OBJECT(self) ? find(id) : nullptr;
}

bool usable(const Node* n) {
    return n && handlers() && (n->states & kEnabled) && (n->states & kShowing);
}

AtkRole atk_role(Role r) {
    switch (r) {
        case Role::PushButton: return ATK_ROLE_PUSH_BUTTON;
        case Role::CheckBox: return ATK_ROLE_CHECK_BOX;
        case Role::RadioButton: return ATK_ROLE_RADIO_BUTTON;
        case Role::Slider: return ATK_ROLE_SLIDER;
        case Role::Entry: return ATK_ROLE_ENTRY;
        case Role::Label: return ATK_ROLE_LABEL;
        case Role::LevelBar: return ATK_ROLE_LEVEL_BAR;
        case Role::Dialog: return ATK_ROLE_DIALOG;
        case Role::List: return ATK_ROLE_LIST;
        case Role::ListItem: return ATK_ROLE_LIST_ITEM;
        case Role::Link: return ATK_ROLE_LINK;
    }
    return ATK_ROLE_UNKNOWN;
}

bool clickable(Role r) {
    return r != Role::Slider && r != Role::Label && r != Role::LevelBar && r != Role::Dialog &&
           r != Role::List;
}

// ---- AtkObject ------------------------------------------------------------------------------

const gchar* node_name(AtkObject* self) {
    const Node* n = node_of(self);
    return n ? n->name.c_str() : "";
}

AtkRole node_role(AtkObject* self) {
    const Node* n = node_of(self);
    return n ? atk_role(n->role) : ATK_ROLE_INVALID;
}

AtkStateSet* node_states(AtkObject* self) {
    AtkStateSet* set = atk_state_set_new();
    const Node* n = node_of(self);
    if (!n) {
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
        return set;
    }
    atk_state_set_add_state(set, ATK_STATE_VISIBLE);
    for (AtkStateType s : atk_states(n->states)) atk_state_set_add_state(set, s);
    if (n->role == Role::Entry) {
        atk_state_set_add_state(set, ATK_STATE_EDITABLE);
        atk_state_set_add_state(set, ATK_STATE_SINGLE_LINE);
    }
    if (n->role == Role::CheckBox || n->role == Role::RadioButton)
        atk_state_set_add_state(set, ATK_STATE_CHECKABLE);
    if (n->role == Role::Dialog) atk_state_set_add_state(set, ATK_STATE_MODAL);
    return set;
}

gint node_n_children(AtkObject* self) {
    return node_of(self) ? static_cast<gint>(children_of(reinterpret_cast<QmNode*>(self)->id).size())
                         : 0;
}

AtkObject* node_ref_child(AtkObject* self, gint i) {
    if (!node_of(self)) return nullptr;
    const std::vector<int>& kids = children_of(reinterpret_cast<QmNode*>(self)->id);
    if (i < 0 || static_cast<size_t>(i) >= kids.size()) return nullptr;
    AtkObject* child = object_of(kids[i]);
    return child ? ATK_OBJECT(g_object_ref(child)) : nullptr;
}

gint node_index(AtkObject* self) {
    const Node* n = node_of(self);
    if (!n) return -1;
    const std::vector<int>& siblings = children_of(n->parent);
    const auto at = std::find(siblings.begin(), siblings.end(), n->id);
    return at == siblings.end() ? -1 : static_cast<gint>(at - siblings.begin());
}

// ---- AtkComponent ---------------------------------------------------------------------------

void node_extents(AtkComponent* self, gint* x, gint* y, gint* w, gint* h, AtkCoordType coords) {
    *x = *y = *w = *h = 0;
    const Node* n = node_of(self);
    if (!n) return;
    int ox = 0, oy = 0;
    if (coords == ATK_XY_PARENT) {
        if (const Node* p = find(n->parent)) ox = -static_cast<int>(p->rect.x), oy = -static_cast<int>(p->rect.y);
    } else if (!area_origin(coords, &ox, &oy)) {
        return;
    }
    *x = ox + static_cast<gint>(std::lround(n->rect.x));
    *y = oy + static_cast<gint>(std::lround(n->rect.y));
    *w = static_cast<gint>(std::lround(n->rect.w));
    *h = static_cast<gint>(std::lround(n->rect.h));
}

gboolean node_grab_focus(AtkComponent* self) {
    const Node* n = node_of(self);
    return n && n->role == Role::Entry && usable(n) && handlers()->act(n->id);
}

void component_init(AtkComponentIface* iface) {
    iface->get_extents = node_extents;
    iface->grab_focus = node_grab_focus;
}

// ---- AtkAction ------------------------------------------------------------------------------

// A click may open a modal dialog (the folder chooser), so it runs after the client's call has
// been answered.
gboolean run_click(gpointer id) {
    const int node = GPOINTER_TO_INT(id);
    if (usable(find(node))) handlers()->act(node);
    return G_SOURCE_REMOVE;
}

gboolean node_do_action(AtkAction* self, gint i) {
    const Node* n = node_of(self);
    if (i != 0 || !n || !clickable(n->role) || !usable(n)) return FALSE;
    g_idle_add(run_click, GINT_TO_POINTER(n->id));
    return TRUE;
}

gint node_n_actions(AtkAction* self) {
    const Node* n = node_of(self);
    return n && clickable(n->role) ? 1 : 0;
}

const gchar* node_action_name(AtkAction* self, gint i) {
    return i == 0 && node_n_actions(self) == 1 ? "click" : nullptr;
}

void action_init(AtkActionIface* iface) {
    iface->do_action = node_do_action;
    iface->get_n_actions = node_n_actions;
    iface->get_name = node_action_name;
}

// ---- AtkValue -------------------------------------------------------------------------------

void value_and_text(AtkValue* self, gdouble* value, gchar** text) {
    const Node* n = node_of(self);
    if (value) *value = n ? n->value : 0;
    if (text) *text = n ? g_strdup(n->value_text.c_str()) : nullptr;
}

AtkRange* value_range(AtkValue* self) {
    const Node* n = node_of(self);
    return n ? atk_range_new(n->min, n->max, nullptr) : nullptr;
}

gdouble value_increment(AtkValue* self) {
    const Node* n = node_of(self);
    return n ? n->step : 0;
}

void value_set(AtkValue* self, gdouble v) {
    const Node* n = node_of(self);
    if (usable(n) && !(n->states & kReadOnlyValue) && std::isfinite(v)) handlers()->set_value(n->id, v);
}

void value_init(AtkValueIface* iface) {
    iface->get_value_and_text = value_and_text;
    iface->get_range = value_range;
    iface->get_increment = value_increment;
    iface->set_value = value_set;
}

// ---- AtkText and AtkEditableText ------------------------------------------------------------

int char_count(const Node& n) { return static_cast<int>(g_utf8_strlen(n.text.c_str(), -1)); }

// Byte offset of character `i`, clamped to the text.
size_t byte_at(const Node& n, int i) {
    i = std::clamp(i, 0, char_count(n));
    return static_cast<size_t>(g_utf8_offset_to_pointer(n.text.c_str(), i) - n.text.c_str());
}

// Characters `start` to `end` (-1: the end), both clamped; empty when they cross.
std::string slice(const Node& n, int start, int end) {
    if (end < 0) end = char_count(n);
    const size_t a = byte_at(n, start), b = byte_at(n, end);
    return b > a ? n.text.substr(a, b - a) : std::string();
}

gchar* text_get(AtkText* self, gint start, gint end) {
    const Node* n = node_of(self);
    return g_strdup(n ? slice(*n, start, end).c_str() : "");
}

gint text_count(AtkText* self) {
    const Node* n = node_of(self);
    return n ? char_count(*n) : 0;
}

gint text_caret(AtkText* self) {
    const Node* n = node_of(self);
    return n ? n->caret : 0;
}

gunichar text_char_at(AtkText* self, gint offset) {
    const Node* n = node_of(self);
    if (!n || offset < 0 || offset >= char_count(*n)) return 0;
    return g_utf8_get_char(n->text.c_str() + byte_at(*n, offset));
}

// One line of text: a character is itself, every larger unit is the whole text.
gchar* text_unit_at(const Node* n, gint offset, bool one_char, gint* start, gint* end) {
    *start = *end = 0;
    if (!n) return g_strdup("");
    const int count = char_count(*n);
    if (one_char) {
        if (offset < 0 || offset >= count) return g_strdup("");
        *start = offset;
        *end = offset + 1;
    } else {
        *end = count;
    }
    return g_strdup(slice(*n, *start, *end).c_str());
}

gchar* text_string_at(AtkText* self, gint offset, AtkTextGranularity g, gint* start, gint* end) {
    return text_unit_at(node_of(self), offset, g == ATK_TEXT_GRANULARITY_CHAR, start, end);
}

gchar* text_at(AtkText* self, gint offset, AtkTextBoundary b, gint* start, gint* end) {
    return text_unit_at(node_of(self), offset, b == ATK_TEXT_BOUNDARY_CHAR, start, end);
}

gint text_n_selections(AtkText* self) {
    const Node* n = node_of(self);
    return n && n->caret != n->anchor ? 1 : 0;
}

gchar* text_selection(AtkText* self, gint i, gint* start, gint* end) {
    *start = *end = 0;
    const Node* n = node_of(self);
    if (!n || i != 0 || n->caret == n->anchor) return nullptr;
    *start = std::min(n->caret, n->anchor);
    *end = std::max(n->caret, n->anchor);
    return g_strdup(slice(*n, *start, *end).c_str());
}

bool select_chars(AtkText* self, gint caret, gint anchor) {
    const Node* n = node_of(self);
    if (!usable(n)) return false;
    const int count = char_count(*n);
    return handlers()->select(n->id, std::clamp(caret, 0, count), std::clamp(anchor, 0, count));
}

gboolean text_set_caret(AtkText* self, gint offset) { return select_chars(self, offset, offset); }

gboolean text_add_selection(AtkText* self, gint start, gint end) {
    return select_chars(self, end, start);
}

gboolean text_set_selection(AtkText* self, gint i, gint start, gint end) {
    return i == 0 && select_chars(self, end, start);
}

gboolean text_remove_selection(AtkText* self, gint i) {
    const gint caret = text_caret(self);
    return i == 0 && select_chars(self, caret, caret);
}

void text_init(AtkTextIface* iface) {
    iface->get_text = text_get;
    iface->get_character_count = text_count;
    iface->get_caret_offset = text_caret;
    iface->get_character_at_offset = text_char_at;
    iface->get_string_at_offset = text_string_at;
    iface->get_text_at_offset = text_at;
    iface->get_n_selections = text_n_selections;
    iface->get_selection = text_selection;
    iface->set_caret_offset = text_set_caret;
    iface->add_selection = text_add_selection;
    iface->set_selection = text_set_selection;
    iface->remove_selection = text_remove_selection;
}

void edit_replace(AtkEditableText* self, const std::string& text, bool commit) {
    const Node* n = node_of(self);
    if (usable(n)) handlers()->set_text(n->id, text, commit);
}

void edit_set_contents(AtkEditableText* self, const gchar* text) {
    edit_replace(self, text ? text : "", true);
}

void edit_insert(AtkEditableText* self, const gchar* text, gint length, gint* position) {
    const Node* n = node_of(self);
    if (!n || !text || !position) return;
    const std::string piece = length < 0 ? std::string(text) : std::string(text, strnlen(text, length));
    if (!g_utf8_validate(piece.c_str(), -1, nullptr)) return;
    const size_t at = byte_at(*n, *position);
    std::string whole = n->text;
    whole.insert(at, piece);
    *position = static_cast<gint>(g_utf8_pointer_to_offset(whole.c_str(), whole.c_str() + at)) +
                static_cast<gint>(g_utf8_strlen(piece.c_str(), -1));
    edit_replace(self, whole, false);
}

void edit_delete(AtkEditableText* self, gint start, gint end) {
    const Node* n = node_of(self);
    if (!n) return;
    if (end < 0) end = char_count(*n);
    const size_t a = byte_at(*n, start), b = byte_at(*n, end);
    if (b <= a) return;
    edit_replace(self, n->text.substr(0, a) + n->text.substr(b), false);
}

void editable_init(AtkEditableTextIface* iface) {
    iface->set_text_contents = edit_set_contents;
    iface->insert_text = edit_insert;
    iface->delete_text = edit_delete;
}

// ---- Types ----------------------------------------------------------------------------------

G_DEFINE_TYPE_WITH_CODE(QmNode, qm_node, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, action_init))

void qm_node_init(QmNode* self) { self->id = 0; }

void qm_node_class_init(QmNodeClass* klass) {
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = node_name;
    atk->get_role = node_role;
    atk->ref_state_set = node_states;
    atk->get_n_children = node_n_children;
    atk->ref_child = node_ref_child;
    atk->get_index_in_parent = node_index;
}

struct QmValueNode {
    QmNode parent_instance;
};
struct QmValueNodeClass {
    QmNodeClass parent_class;
};
G_DEFINE_TYPE_WITH_CODE(QmValueNode, qm_value_node, qm_node_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_VALUE, value_init))
void qm_value_node_init(QmValueNode*) {}
void qm_value_node_class_init(QmValueNodeClass*) {}

struct QmTextNode {
    QmNode parent_instance;
};
struct QmTextNodeClass {
    QmNodeClass parent_class;
};
G_DEFINE_TYPE_WITH_CODE(QmTextNode, qm_text_node, qm_node_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, text_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_EDITABLE_TEXT, editable_init))
void qm_text_node_init(QmTextNode*) {}
void qm_text_node_class_init(QmTextNodeClass*) {}

}  // namespace

AtkObject* make_object(const Node& node, AtkObject* parent) {
    GType type = qm_node_get_type();
    if (node.role == Role::Slider || node.role == Role::LevelBar) type = qm_value_node_get_type();
    if (node.role == Role::Entry) type = qm_text_node_get_type();
    auto* obj = static_cast<QmNode*>(g_object_new(type, nullptr));
    obj->id = node.id;
    atk_object_set_parent(ATK_OBJECT(obj), parent);
    return ATK_OBJECT(obj);
}

std::vector<AtkStateType> atk_states(uint32_t bits) {
    struct Pair {
        uint32_t bit;
        AtkStateType state;
    };
    static const Pair kPairs[] = {
        {kEnabled, ATK_STATE_ENABLED},       {kEnabled, ATK_STATE_SENSITIVE},
        {kShowing, ATK_STATE_SHOWING},       {kFocusable, ATK_STATE_FOCUSABLE},
        {kChecked, ATK_STATE_CHECKED},       {kInvalid, ATK_STATE_INVALID_ENTRY},
        {kSelectable, ATK_STATE_SELECTABLE}, {kSelected, ATK_STATE_SELECTED},
        {kFocused, ATK_STATE_FOCUSED},
    };
    std::vector<AtkStateType> out;
    for (const Pair& p : kPairs)
        if (bits & p.bit) out.push_back(p.state);
    return out;
}

}  // namespace a11y
