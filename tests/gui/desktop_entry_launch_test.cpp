// The entries written by the autostart module, launched by GIO as a desktop would launch them.
// It lives with the window's tests because this test program links GLib.
#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/poll.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "system/autostart_linux.h"

namespace {

// The arguments the launched program received, NUL-separated; empty if it never ran.
std::string launch_and_record(const std::string& entry, const std::string& record) {
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(entry.c_str());
    if (!info) return "";
    GError* error = nullptr;
    gboolean launched = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
    g_object_unref(info);
    if (!launched) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return "";
    }
    testsupport::poll_until([&] { return testsupport::file_exists(record); }, 20);
    return testsupport::read_file(record);
}

TEST(DesktopEntryLaunch, TheProgramReceivesExactlyTheFolderTheEntryNames) {
    testsupport::TempDir tmp;
    testsupport::ScopedEnv env({"SNAP", "SNAP_REAL_HOME", "FLATPAK_ID", "XDG_DESKTOP_DIR"});
    env.set("HOME", tmp.make_dir("home"));
    env.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (tmp / "no-bus"));  // no session bus
    // The recorder stands in for the program, under a path with a blank.
    const std::string recorder = tmp.write_text(
        "bin dir/record", "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$QM_RECORD.part\" && "
                          "mv \"$QM_RECORD.part\" \"$QM_RECORD\"\n");
    ASSERT_EQ(chmod(recorder.c_str(), 0755), 0);
    env.set("SNAP_NAME", recorder);

    const std::vector<std::string> folders = {
        "/data/my music", "/a\"b", "/a\\b\\\\c", "/$HOME/`id`", "/100% live", "/a\nb", "/it's (2)",
        "/x;y|z&w", "/~user/*?"};
    int n = 0;
    for (const std::string& folder : folders) {
        const std::string record = tmp / ("record" + std::to_string(n++));
        env.set("QM_RECORD", record);
        ASSERT_TRUE(autostart::set(true, "--folder \"" + folder + "\""));
        EXPECT_EQ(launch_and_record(tmp / "home/.config/autostart/Quavermill.desktop", record),
                  std::string("--folder\0", 9) + folder + std::string(1, '\0'))
            << autostart::command();
    }
}

}  // namespace
