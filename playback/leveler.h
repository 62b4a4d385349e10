// Brings every recording toward one target level under a peak ceiling.
#pragma once

class Leveler {
public:
    struct Config {
        bool on = true;
        float target_db = -16.0f;
        float ceiling_db = -1.0f;
        float max_gain_db = 30.0f;
        float min_gain_db = -20.0f;  // largest cut; not stored in the settings file
    };
};
