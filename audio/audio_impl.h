// The state behind AudioOut. Each start() opens one Session on a thread of its own; the session
// is shared by that thread and the owner, so that a thread stuck in a device that stopped
// answering (a frozen sound server blocks a write or an open indefinitely) can be left behind by
// stop() and still end safely later: it touches nothing but its session, and it never calls the
// source once stop_req is set.
//
// Session: rate, channels, device and source are written before its thread starts, then only
// read. Atomics: stop_req (owner → thread), running and in_source (thread → owner).
// Guarded by its mutex: label, error, outcome, ended, interrupt; `changed` signals the first four.
//
// Impl (owner side): guarded by its mutex (taken before a session's mutex, never the reverse;
// the session's mutex is the leaf): live, last_label, last_error. `halted` is atomic. thread and stuck belong to the
// thread that calls start and stop.
#pragma once
#include "audio/audio_out.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AudioOut::Session {
    std::atomic<bool> stop_req{false};
    std::atomic<bool> running{false};
    // Raised around every call of the source; stop() waits for it to fall after raising
    // stop_req, and the thread checks stop_req after raising it, so that no call of the source
    // can begin or still be under way once stop() has returned.
    std::atomic<bool> in_source{false};

    Source source;
    int rate = 48000;
    int channels = 2;
    std::string device;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::string label;
    std::string error;
    bool outcome = false;  // the open succeeded or failed, or the thread ended
    bool ended = false;
    // Set by a back end while its thread may sleep in a poll of its own: cuts that sleep short,
    // so that the thread sees stop_req at once. Called with the mutex held, takes no lock.
    std::function<void()> interrupt;

    void thread_main();
    // Plays on the PulseAudio sink until stopped or failed; false when the sink could not be
    // opened (warning logged), so that the caller falls back to ALSA.
    bool run_pulse(const std::string& sink);
    // Plays on the ALSA PCM `name` (falling back to "default") until stopped or failed.
    void run_alsa(const std::string& name);

    // 20 ms, but never empty: an empty period would turn the output loop into a busy loop.
    int period_frames() const { return rate < 50 ? 1 : rate / 50; }
    // Asks the source for one period of `frames` and zeroes what it left out; false once the
    // session is to stop, without calling the source.
    bool fill_period(std::vector<short>& period, int frames);
    void set_label(const std::string& text);
    void set_error(const std::string& text);
    // The device is open and written to.
    void report_running();
};

struct AudioOut::Impl {
    std::thread thread;
    std::shared_ptr<Session> session;  // the one `thread` serves; owner thread only
    // Sessions left behind in a device that did not let go; owner thread only.
    std::vector<std::shared_ptr<Session>> stuck;
    std::atomic<bool> halted{false};

    mutable std::mutex mutex;
    std::shared_ptr<Session> live;  // the session readers consult; null after stop
    std::string last_label;
    std::string last_error;

    // Ends the current session: asks it to stop, waits up to `limit` for its thread, and
    // leaves the thread behind if it does not end. Keeps its label and error for the readers.
    void end_session(std::chrono::milliseconds limit);
};
