// The drawing area and its accessible, and the published tree: which object stands for which id,
// and what a new tree announces against the one before.
#include "gui/a11y_atk.h"

#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>

#include "core/utf8.h"
#include "gui/a11y_nodes.h"
#include "system/logger.h"

namespace a11y {

namespace {

struct Entry {
    Node node;
    AtkObject* object = nullptr;  // one reference, ours
};

std::unordered_map<int, Entry> g_entries;
std::map<int, std::vector<int>> g_children;  // by parent id; 0 = the drawing area
GtkWidget* g_area = nullptr;
Handlers g_handlers{};
bool g_attached = false;
void (*g_refresh)() = nullptr;
bool g_wanted = false;
std::string g_area_name;

const std::vector<int> kNone;

// ---- The drawing area and its accessible -----------------------------------------------------

struct QmArea {
    GtkDrawingArea parent_instance;
};
struct QmAreaClass {
    GtkDrawingAreaClass parent_class;
};
struct QmAreaAccessible {
    GtkWidgetAccessible parent_instance;
};
struct QmAreaAccessibleClass {
    GtkWidgetAccessibleClass parent_class;
};

G_DEFINE_TYPE(QmAreaAccessible, qm_area_accessible, GTK_TYPE_WIDGET_ACCESSIBLE)

// The first question of a client switches publishing on; the tree it gets is a fresh one.
void want() {
    if (g_wanted || !g_attached) return;
    g_wanted = true;
    logger::info("Bildschirmleser verbunden: das Fenster beschreibt seine Bedienelemente");
    if (g_refresh) g_refresh();
}

gint area_n_children(AtkObject*) {
    want();
    return static_cast<gint>(children_of(0).size());
}

AtkObject* area_ref_child(AtkObject*, gint i) {
    want();
    const std::vector<int>& kids = children_of(0);
    if (i < 0 || static_cast<size_t>(i) >= kids.size()) return nullptr;
    return ATK_OBJECT(g_object_ref(object_of(kids[i])));
}

void area_initialize(AtkObject* self, gpointer data) {
    ATK_OBJECT_CLASS(qm_area_accessible_parent_class)->initialize(self, data);
    atk_object_set_name(self, g_area_name.c_str());
}

void qm_area_accessible_init(QmAreaAccessible*) {}

void qm_area_accessible_class_init(QmAreaAccessibleClass* klass) {
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->initialize = area_initialize;
    atk->get_n_children = area_n_children;
    atk->ref_child = area_ref_child;
}

G_DEFINE_TYPE(QmArea, qm_area, GTK_TYPE_DRAWING_AREA)

void qm_area_init(QmArea*) {}

void qm_area_class_init(QmAreaClass* klass) {
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), qm_area_accessible_get_type());
    gtk_widget_class_set_accessible_role(GTK_WIDGET_CLASS(klass), ATK_ROLE_PANEL);
}

// The drawing area's accessible, without creating one that nobody asked for.
AtkObject* area_object() {
    if (!g_area) return nullptr;
    return gtk_widget_get_accessible(g_area);
}

AtkObject* parent_object(int parent) { return parent == 0 ? area_object() : object_of(parent); }

// ---- Announcements ------------------------------------------------------------------------------

const std::string& announced(const Node& n) { return n.announce.empty() ? n.name : n.announce; }

// The changed middle of a text: what went out of `before` and came in from `after`.
void announce_text(AtkObject* obj, const std::string& before, const std::string& after) {
    size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
    while (head > 0 && utf8::is_continuation(before[head])) --head;
    size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    while (tail > 0 && utf8::is_continuation(before[before.size() - tail]))
        --tail;
    const gint at = static_cast<gint>(g_utf8_strlen(before.c_str(), static_cast<gssize>(head)));
    const std::string out = before.substr(head, before.size() - head - tail);
    const std::string in = after.substr(head, after.size() - head - tail);
    if (!out.empty())
        g_signal_emit_by_name(obj, "text-remove", at,
                              static_cast<gint>(g_utf8_strlen(out.c_str(), -1)), out.c_str());
    if (!in.empty())
        g_signal_emit_by_name(obj, "text-insert", at,
                              static_cast<gint>(g_utf8_strlen(in.c_str(), -1)), in.c_str());
}

void announce_changes(AtkObject* obj, const Node& before, const Node& after) {
    if (announced(before) != announced(after)) g_object_notify(G_OBJECT(obj), "accessible-name");
    const std::vector<AtkStateType> now = atk_states(after.states);
    for (AtkStateType s : atk_states(before.states ^ after.states))
        atk_object_notify_state_change(obj, s, std::count(now.begin(), now.end(), s) > 0);
    if (before.value != after.value && !(after.states & (kReadOnlyValue | kRunningValue)))
        g_object_notify(G_OBJECT(obj), "accessible-value");
    if (after.role != Role::Entry) return;
    if (before.text != after.text) announce_text(obj, before.text, after.text);
    if (before.caret != after.caret) g_signal_emit_by_name(obj, "text-caret-moved", after.caret);
    if (before.caret != after.caret || before.anchor != after.anchor)
        g_signal_emit_by_name(obj, "text-selection-changed");
}

void drop(Entry& e) {
    atk_object_notify_state_change(e.object, ATK_STATE_DEFUNCT, TRUE);
    g_object_unref(e.object);
}

}  // namespace

const Node* find(int id) {
    const auto at = g_entries.find(id);
    return at == g_entries.end() ? nullptr : &at->second.node;
}

const std::vector<int>& children_of(int id) {
    const auto at = g_children.find(id);
    return at == g_children.end() ? kNone : at->second;
}

AtkObject* object_of(int id) {
    const auto at = g_entries.find(id);
    return at == g_entries.end() ? nullptr : at->second.object;
}

bool area_origin(AtkCoordType coords, int* x, int* y) {
    *x = *y = 0;
    if (!g_area || !gtk_widget_get_realized(g_area)) return false;
    if (coords == ATK_XY_WINDOW)
        return gtk_widget_translate_coordinates(g_area, gtk_widget_get_toplevel(g_area), 0, 0, x, y);
    gdk_window_get_origin(gtk_widget_get_window(g_area), x, y);
    return true;
}

const Handlers* handlers() { return g_attached ? &g_handlers : nullptr; }

GtkWidget* new_area(const char* name) {
    g_area_name = name;
    return GTK_WIDGET(g_object_new(qm_area_get_type(), nullptr));
}

void attach(GtkWidget* area, const Handlers& h, void (*refresh)()) {
    g_area = area;
    g_handlers = h;
    g_refresh = refresh;
    g_attached = true;
}

void detach() {
    g_attached = false;
    g_wanted = false;
    g_refresh = nullptr;
    std::unordered_map<int, Entry> gone;
    gone.swap(g_entries);
    g_children.clear();
    for (auto& [id, e] : gone) drop(e);
    g_area = nullptr;
}

bool wanted() { return g_wanted; }

void publish(Tree tree) {
    if (!g_wanted) return;
    std::unordered_map<int, Entry> before;
    before.swap(g_entries);
    std::map<int, std::vector<int>> old_children;
    old_children.swap(g_children);

    // The new tree stands before anything is announced, so every client's question that an
    // announcement raises is answered from it.
    std::vector<int> added;
    for (Node& n : tree) {
        if (n.id == 0 || g_entries.count(n.id)) continue;  // a repeated id keeps its first node
        if (n.parent != 0 && !g_entries.count(n.parent)) continue;
        Entry e;
        const auto old = before.find(n.id);
        if (old != before.end() && old->second.node.parent == n.parent &&
            old->second.node.role == n.role) {
            e.object = old->second.object;
            old->second.object = nullptr;
        } else {
            added.push_back(n.id);
        }
        g_children[n.parent].push_back(n.id);
        e.node = std::move(n);
        g_entries.emplace(e.node.id, std::move(e));
    }
    for (int id : added) {
        Entry& e = g_entries[id];
        e.object = make_object(e.node, parent_object(e.node.parent));
    }

    for (auto& [id, e] : before) {
        if (!e.object) continue;
        const std::vector<int>& siblings = old_children[e.node.parent];
        const gint index = static_cast<gint>(
            std::find(siblings.begin(), siblings.end(), id) - siblings.begin());
        if (AtkObject* parent = parent_object(e.node.parent))
            g_signal_emit_by_name(parent, "children-changed::remove", index, e.object);
        drop(e);
    }
    // The first tree answers the first question; nobody has seen children come before it.
    if (before.empty()) added.clear();
    for (int id : added) {
        const Entry& e = g_entries[id];
        const std::vector<int>& siblings = g_children[e.node.parent];
        const gint index = static_cast<gint>(
            std::find(siblings.begin(), siblings.end(), id) - siblings.begin());
        if (AtkObject* parent = parent_object(e.node.parent))
            g_signal_emit_by_name(parent, "children-changed::add", index, e.object);
    }
    for (auto& [id, e] : g_entries) {
        const auto old = before.find(id);
        if (old != before.end() && !old->second.object)
            announce_changes(e.object, old->second.node, e.node);
    }
}

}  // namespace a11y
