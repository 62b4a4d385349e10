// Writes a settings file for scripted runs of the window (screenshots): the defaults with a
// folder, a theme and a language, into the configuration folder the environment names.
//   qm_write_settings <folder> <light|dark> <language>
#include <cstdio>

#include "system/settings.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: qm_write_settings <folder> <light|dark> <language>\n");
        return 2;
    }
    Settings s;
    s.root = argv[1];
    s.theme = argv[2];
    s.language = argv[3];
    s.win_play = false;  // plays at any hour
    s.shuffle = false;
    return settings::save(s) ? 0 : 1;
}
