#include "cli/window_mode.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "cli/con.h"
#include "gui/app_gtk.h"
#include "playback/player.h"
#include "system/logger.h"
#include "system/paths.h"
#include "ui/a11y.h"
#include "ui/ui.h"

namespace {

const shell::Frontend kFrontend = {
    ui::init,        ui::start_on_launch, ui::layout,     ui::draw,
    ui::on_mouse_down, ui::on_mouse_up,   ui::on_mouse_move, ui::cursor_at,
    ui::on_wheel,    ui::on_key,          ui::on_text,    ui::on_tick,
    ui::on_caret_tick, ui::on_media,      ui::persist,    ui::shutdown,
    {ui::access_act, ui::access_set_value, ui::access_set_text, ui::access_select},
};

}  // namespace

bool claim_single_instance() {
    const std::string path = paths::config_dir() + "/Quavermill.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;  // held by fd until the process ends
    ::close(fd);
    return false;
}

void apply_folder_overrides(const Args& args, Settings& s) {
    if (!has_arg(args, "--folder")) return;
    const FilterSet f = filters_from_args(args, arg_value(args, "--folder", ""));
    s.root = f.root;
    if (has_arg(args, "--pattern")) s.patterns = f.patterns;
    if (has_arg(args, "--no-recursive")) s.recursive = false;
    if (has_arg(args, "--from") || has_arg(args, "--to")) s.window = f.window;
    if (has_arg(args, "--no-window-files")) s.win_files = false;
    if (has_arg(args, "--no-window-play")) s.win_play = false;
}

int cmd_window(const Args& args, Settings& settings) {
    if (!claim_single_instance()) {
        logger::info("laeuft bereits — dieser Start wird beendet");
        con::print("Quavermill laeuft bereits.\n");
        return 0;
    }
    apply_folder_overrides(args, settings);
    Player player;
    const int status = shell::run_gui(&player, &settings, kFrontend);
    player.stop();
    return status;
}
