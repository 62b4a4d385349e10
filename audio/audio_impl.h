// The state behind AudioOut, shared by the output thread and its two back ends.
//
// Written only while no output thread exists: rate, channels, device, source.
// Atomics: stop_req (owner → thread), running (thread → everyone).
// Guarded by mutex: device_label, error.
#pragma once
#include "audio/audio_out.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AudioOut::Impl {
    std::thread thread;
    std::atomic<bool> stop_req{false};
    std::atomic<bool> running{false};

    Source source;
    int rate = 48000;
    int channels = 2;
    std::string device;

    mutable std::mutex mutex;
    std::string device_label;
    std::string error;

    void thread_main();
    // Plays on the PulseAudio sink until stopped or failed; false when the sink could not be
    // opened (warning logged), so that the caller falls back to ALSA.
    bool run_pulse(const std::string& sink);
    // Plays on the ALSA PCM `name` (falling back to "default") until stopped or failed.
    void run_alsa(const std::string& name);

    // 20 ms, but never empty: an empty period would turn the output loop into a busy loop.
    int period_frames() const { return rate < 50 ? 1 : rate / 50; }
    // Asks the source for one period of `frames` and zeroes what it left out.
    void fill_period(std::vector<short>& period, int frames);
    void set_label(const std::string& label);
    void set_error(const std::string& text);
};
