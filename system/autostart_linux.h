// The login entry and the desktop shortcut: two desktop-entry files named Quavermill.desktop,
// one in the user's autostart folder, one on the desktop. Places and the launch command come
// from the environment at each call. Main thread only. With no home folder known every
// operation does nothing and reports false (command(): empty); write failures are logged.
#pragma once
#include <string>

namespace autostart {

// `args` is empty or the program's options as the callers write them: words separated by
// blanks, the last of which may be a value in double quotes running to the final quote,
// unescaped (`--folder "/data/my music"`). The entry passes these values to the program
// exactly, quoting and escaping them as desktop entries require.

bool enabled();
// on: writes the autostart entry; off: removes it (a missing file is no error).
bool set(bool on, const std::string& args);
bool has_desktop_shortcut();
// on: writes the desktop shortcut, executable; off: removes it.
bool desktop_shortcut(bool on, const std::string& args);
// The text after "Exec=" of the autostart entry; empty without one.
std::string command();
// The desktop folder that the text of a user-dirs.dirs file names for `home`, else home/Desktop.
std::string desktop_in_user_dirs(const std::string& text, const std::string& home);

}  // namespace autostart
