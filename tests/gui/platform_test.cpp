#include "gui/platform.h"

#include <gtk/gtk.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <optional>

#include "support/scoped_env.h"
#include "support/xvfb.h"
#include "support/temp_dir.h"
#include "system/logger.h"

namespace {

constexpr char kAttr[] = "user.document-portal.host-path";

// The newest log line without its clock.
std::string last_log() { return logger::tail(1).at(0).substr(9); }

// The attribute is read from a real file where the file system keeps user attributes; elsewhere
// the value stands in for it.
bool g_real = false;
std::string g_file, g_value;
std::string read_test_attribute(const std::string&) {
    return g_real ? platform::portal_host_path(g_file) : g_value;
}

TEST(Platform, PortalFolderBecomesTheHostFolderWhenThatOpens) {
    testsupport::TempDir tmp;
    g_file = tmp.write_text("portal-entry", "");
    g_real = setxattr(g_file.c_str(), kAttr, "/", 1, 0) == 0;
    const std::string host = tmp.make_dir("Aufnahmen"), gone = tmp / "weg";
    const std::string portal = "/run/user/1000/doc/4e7d1a2b/Aufnahmen";
    const std::string direct = "INFO  Ordner ueber das Portal, direkt erreichbar: " + host;
    struct {
        std::string chosen;
        std::optional<std::string> attribute;
        std::string result, log;
    } cases[] = {
        {portal, host, host, direct},
        {portal, host + '\0', host, direct},
        {portal, gone, portal,
         "INFO  Ordner nur ueber das Portal erreichbar: " + portal + " (" + gone + ")"},
        {portal, std::nullopt, portal, ""},
        {portal, "Aufnahmen", portal, ""},  // relative: no folder of the host
        {"/home/ich/doc/Aufnahmen", host, "/home/ich/doc/Aufnahmen", ""},
        {"/run/user/1000/Aufnahmen", host, "/run/user/1000/Aufnahmen", ""},
        {"", host, "", ""},  // cancelled
    };
    for (const auto& c : cases) {
        g_value = c.attribute.value_or("");
        removexattr(g_file.c_str(), kAttr);
        if (g_real && c.attribute) {
            ASSERT_EQ(setxattr(g_file.c_str(), kAttr, g_value.data(), g_value.size(), 0), 0);
        }
        logger::info("marker");
        EXPECT_EQ(platform::resolve_portal_folder(c.chosen, read_test_attribute), c.result);
        EXPECT_EQ(last_log(), c.log.empty() ? "INFO  marker" : c.log) << c.chosen;
    }
}

TEST(Platform, WithoutAWindowOrDisplayNothingDependsOnThem) {
    platform::detach();
    int r[4] = {1, 2, 3, 4};
    platform::window_rect(r[0], r[1], r[2], r[3]);
    EXPECT_TRUE(r[0] == 1 && r[1] == 2 && r[2] == 3 && r[3] == 4);
    platform::request_redraw();
    platform::open_uri("qm-no-such-scheme://nowhere");
    EXPECT_EQ(last_log().rfind("WARN  Adresse nicht zu oeffnen: ", 0), 0u);
    EXPECT_GT(last_log().size(), sizeof "WARN  Adresse nicht zu oeffnen: ") << "with a reason";
    if (gdk_display_get_default()) GTEST_SKIP() << "this process has opened a display";
    std::string chosen = "not called";
    platform::choose_folder("/tmp", [&](const std::string& folder) { chosen = folder; });
    EXPECT_EQ(chosen, "") << "no dialog, as if cancelled";
}

// On a virtual display of its own; the rest of the module needs none.
TEST(Platform, FollowsTheAttachedWindowUntilItIsDestroyed) {
    testsupport::Xvfb x;
    ASSERT_TRUE(x.up());
    testsupport::ScopedEnv env({});
    env.set("DISPLAY", x.display());
    env.set("NO_AT_BRIDGE", "1");  // no accessibility bus for a window nobody sees
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    // A call on a widget that is gone shows only as a critical message of the toolkit.
    const GLogLevelFlags fatal = g_log_set_always_fatal(
        static_cast<GLogLevelFlags>(G_LOG_FATAL_MASK | G_LOG_LEVEL_CRITICAL));
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* area = gtk_drawing_area_new();
    gtk_container_add(GTK_CONTAINER(window), area);
    gtk_window_set_default_size(GTK_WINDOW(window), 321, 123);
    platform::attach(window, area);
    int r[4] = {-7, -7, -7, -7};
    platform::window_rect(r[0], r[1], r[2], r[3]);
    EXPECT_TRUE(r[2] == 321 && r[3] == 123);
    platform::request_redraw();
    platform::clipboard_set("Grüße, 音楽");
    EXPECT_EQ(platform::clipboard_get(), "Grüße, 音楽");

    gtk_widget_destroy(window);
    r[0] = r[1] = r[2] = r[3] = -7;
    platform::window_rect(r[0], r[1], r[2], r[3]);
    EXPECT_TRUE(r[0] == -7 && r[1] == -7 && r[2] == -7 && r[3] == -7);
    platform::request_redraw();  // the area went with its window
    g_log_set_always_fatal(fatal);
}

}  // namespace
