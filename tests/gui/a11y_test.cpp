// The drawing area's accessible children as ATK clients see them, in process on a virtual display
// of its own: what a published tree answers, what a client may and may not ask, and what the next
// tree announces.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gui/a11y_atk.h"
#include "support/scoped_env.h"
#include "support/xvfb.h"

namespace {

using a11y::Node;
using a11y::Role;

std::vector<std::string> g_calls;  // what the handlers were asked, in order
a11y::Tree g_first;

void record(const std::string& call) { g_calls.push_back(call); }

const a11y::Handlers kRecorder = {
    [](int id) {
        record("act " + std::to_string(id));
        return true;
    },
    [](int id, double v) {
        char text[64];
        std::snprintf(text, sizeof text, "value %d %g", id, v);
        record(text);
        return true;
    },
    [](int id, const std::string& t, bool commit) {
        record((commit ? "commit " : "type ") + std::to_string(id) + " " + t);
        return true;
    },
    [](int id, int caret, int anchor) {
        record("select " + std::to_string(id) + " " + std::to_string(caret) + " " +
               std::to_string(anchor));
        return true;
    },
};

constexpr uint32_t kLive = a11y::kEnabled | a11y::kShowing;

Node node(int id, Role role, const char* name, uint32_t states, int parent = 0) {
    Node n;
    n.id = id;
    n.role = role;
    n.name = name;
    n.states = states;
    n.parent = parent;
    n.rect = {10.0f * id, 20, 30, 40};
    return n;
}

a11y::Tree sample() {
    Node slider = node(3, Role::Slider, "Volume", kLive);
    slider.max = 1;
    slider.value = 0.8;
    slider.value_text = "80 %";
    Node entry = node(4, Role::Entry, "Folder", kLive | a11y::kFocusable | a11y::kInvalid);
    entry.text = "Grüße";
    entry.caret = 5;
    entry.anchor = 2;
    return {node(1, Role::PushButton, "Start", kLive), node(2, Role::PushButton, "Pause", a11y::kShowing),
            slider, entry, node(5, Role::Dialog, "Settings", kLive),
            node(6, Role::ListItem, "Deutsch", a11y::kEnabled, 5)};
}

bool has(AtkObject* o, AtkStateType s) {
    AtkStateSet* set = atk_object_ref_state_set(o);
    const bool in = atk_state_set_contains_state(set, s);
    g_object_unref(set);
    return in;
}

struct Child {
    AtkObject* o;
    explicit Child(AtkObject* parent, int i) : o(atk_object_ref_accessible_child(parent, i)) {}
    ~Child() {
        if (o) g_object_unref(o);
    }
};

void run_idle() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

TEST(A11y, AnswersFromThePublishedTreeAndRefusesWhatTheWindowWouldNot) {
    testsupport::Xvfb x;
    ASSERT_TRUE(x.up());
    testsupport::ScopedEnv env({});
    env.set("DISPLAY", x.display());
    env.set("NO_AT_BRIDGE", "1");
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* area = a11y::new_area("Quavermill");
    gtk_container_add(GTK_CONTAINER(window), area);
    gtk_widget_show_all(window);
    g_first = sample();
    a11y::attach(area, kRecorder, [] { a11y::publish(g_first); });
    EXPECT_FALSE(a11y::wanted()) << "nothing is built before a client asks";

    AtkObject* root = gtk_widget_get_accessible(area);
    EXPECT_EQ(atk_object_get_role(root), ATK_ROLE_PANEL);
    EXPECT_STREQ(atk_object_get_name(root), "Quavermill");
    ASSERT_EQ(atk_object_get_n_accessible_children(root), 5) << "the list item is the dialog's";
    EXPECT_TRUE(a11y::wanted());
    EXPECT_EQ(atk_object_ref_accessible_child(root, 5), nullptr);
    EXPECT_EQ(atk_object_ref_accessible_child(root, -1), nullptr);

    Child start(root, 0), pause(root, 1), slider(root, 2), entry(root, 3), dialog(root, 4);
    Child item(dialog.o, 0);
    ASSERT_TRUE(start.o && pause.o && slider.o && entry.o && dialog.o && item.o);
    EXPECT_EQ(atk_object_get_role(start.o), ATK_ROLE_PUSH_BUTTON);
    EXPECT_STREQ(atk_object_get_name(item.o), "Deutsch");
    EXPECT_EQ(atk_object_get_index_in_parent(entry.o), 3);
    EXPECT_TRUE(has(start.o, ATK_STATE_SENSITIVE) && has(start.o, ATK_STATE_SHOWING));
    EXPECT_FALSE(has(pause.o, ATK_STATE_ENABLED));
    EXPECT_TRUE(has(entry.o, ATK_STATE_INVALID_ENTRY) && has(entry.o, ATK_STATE_EDITABLE));

    int ex = 0, ey = 0, ew = 0, eh = 0;
    atk_component_get_extents(ATK_COMPONENT(slider.o), &ex, &ey, &ew, &eh, ATK_XY_WINDOW);
    EXPECT_TRUE(ex == 30 && ey == 20 && ew == 30 && eh == 40) << ex << "," << ey;

    // Actions run once the client's call is answered, and only on what is enabled and showing.
    EXPECT_TRUE(atk_action_do_action(ATK_ACTION(start.o), 0));
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(start.o), 1));
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(pause.o), 0)) << "disabled";
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(item.o), 0)) << "not showing";
    EXPECT_EQ(atk_action_get_n_actions(ATK_ACTION(slider.o)), 0);
    run_idle();

    gdouble value = 0;
    gchar* text = nullptr;
    atk_value_get_value_and_text(ATK_VALUE(slider.o), &value, &text);
    EXPECT_DOUBLE_EQ(value, 0.8);
    EXPECT_STREQ(text, "80 %");
    g_free(text);
    atk_value_set_value(ATK_VALUE(slider.o), NAN);
    atk_value_set_value(ATK_VALUE(slider.o), 0.25);

    // Character offsets, clamped to the text.
    AtkText* t = ATK_TEXT(entry.o);
    const auto piece = [&](int a, int b) {
        gchar* s = atk_text_get_text(t, a, b);
        std::string out = s ? s : "";
        g_free(s);
        return out;
    };
    EXPECT_EQ(atk_text_get_character_count(t), 5);
    EXPECT_EQ(piece(2, 100), "üße");
    EXPECT_EQ(piece(9, 20), "");
    EXPECT_EQ(piece(4, 1), "");
    EXPECT_EQ(atk_text_get_character_at_offset(t, 2), gunichar(0xFC));
    gint s0 = 0, s1 = 0;
    gchar* sel = atk_text_get_selection(t, 0, &s0, &s1);
    EXPECT_STREQ(sel, "üße");
    g_free(sel);
    atk_text_set_caret_offset(t, 99);
    atk_editable_text_set_text_contents(ATK_EDITABLE_TEXT(entry.o), "/music");
    gint at = 2;
    atk_editable_text_insert_text(ATK_EDITABLE_TEXT(entry.o), "xy", 1, &at);
    EXPECT_EQ(at, 3);
    atk_editable_text_delete_text(ATK_EDITABLE_TEXT(entry.o), 3, 99);

    const std::vector<std::string> expected = {"act 1", "value 3 0.25", "select 4 5 5",
                                               "commit 4 /music", "type 4 Grxüße", "type 4 Grü"};
    EXPECT_EQ(g_calls, expected);

    // The next tree: the focus moves to the entry, Pause is gone, Start is renamed, the dialog
    // closes; a name with an unchanged announcement is not announced.
    int focused = 0, removed = 0, renamed = 0;
    g_signal_connect(entry.o, "state-change::focused",
                     G_CALLBACK(+[](AtkObject*, gchar*, gboolean on, gpointer n) {
                         if (on) ++*static_cast<int*>(n);
                     }),
                     &focused);
    g_signal_connect(root, "children-changed::remove",
                     G_CALLBACK(+[](AtkObject*, guint, gpointer, gpointer n) { ++*static_cast<int*>(n); }),
                     &removed);
    g_signal_connect(start.o, "notify::accessible-name",
                     G_CALLBACK(+[](GObject*, GParamSpec*, gpointer n) { ++*static_cast<int*>(n); }),
                     &renamed);
    a11y::Tree next = sample();
    next[0].name = "Stop";
    next[2].name = "Volume 2";
    next[2].announce = "Volume";
    next[3].states |= a11y::kFocused;
    next.erase(next.begin() + 4, next.end());
    next.erase(next.begin() + 1);
    a11y::publish(next);
    EXPECT_EQ(focused, 1);
    EXPECT_EQ(removed, 2);
    EXPECT_EQ(renamed, 1);
    EXPECT_STREQ(atk_object_get_name(start.o), "Stop");
    EXPECT_TRUE(has(pause.o, ATK_STATE_DEFUNCT));
    EXPECT_TRUE(has(item.o, ATK_STATE_DEFUNCT));
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(pause.o), 0));
    EXPECT_EQ(atk_object_get_n_accessible_children(root), 3);

    a11y::detach();
    EXPECT_TRUE(has(start.o, ATK_STATE_DEFUNCT));
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(start.o), 0));
    gtk_widget_destroy(window);
}

}  // namespace
