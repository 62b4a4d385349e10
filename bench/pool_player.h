// How the harnesses that play a pool start the player: every file at any time, on one sink.
#pragma once
#include <string>

#include "playback/player.h"

namespace pool_player {

inline void start(Player& player, const std::string& dir, const std::string& sink) {
    FilterSet rules;
    rules.root = dir;
    rules.win_files = false;
    rules.win_play = false;
    player.set_filters(rules);
    player.set_device("pulse:" + sink);
    player.set_volume(0.8f);
    player.start();
}

}  // namespace pool_player
