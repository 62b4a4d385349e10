// What level matching aims at (the player's Leveler::Config). It lives in the lowest layer so
// that the settings record can hold it without knowing the player. A plain value; no lock.
#pragma once

struct LevelConfig {
    bool on = true;
    float target_db = -16.0f;
    float ceiling_db = -1.0f;
    float max_gain_db = 30.0f;
    float min_gain_db = -20.0f;  // largest cut; not stored in the settings file
};
