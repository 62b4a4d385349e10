// The desktop folder named in user-dirs.dirs: home NUL file text. Whatever the file holds, the
// answer is one line, either below the home or a folder written in the file, and a file that
// never names the desktop leaves the default.
#include "fuzz/fuzz_check.h"
#include "system/autostart_linux.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> f = fuzz::fields(data, size, 2);
    const std::string home = "/home/" + f[0].substr(0, f[0].find('\n'));
    const std::string text = f.size() > 1 ? f[1] : "";
    const std::string desktop = autostart::desktop_in_user_dirs(text, home);
    FUZZ_CHECK(desktop.find('\n') == std::string::npos, "one line");
    if (text.find("XDG_DESKTOP_DIR=") == std::string::npos)
        FUZZ_CHECK(desktop == home + "/Desktop", "without the key the default");
    if (desktop.compare(0, home.size(), home) != 0)
        FUZZ_CHECK(text.find(desktop) != std::string::npos, "else a folder the file names");
    return 0;
}
