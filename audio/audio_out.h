// Plays 16-bit interleaved PCM on one output device from a thread of its own, pulling 20 ms
// periods through a callback and filling whatever it does not deliver with silence.
//
// Device ids: "pulse:" + sink name is a PulseAudio sink, served by the output thread alone; any
// other id is an ALSA PCM name; "" means the ALSA device "default". A device that cannot be
// opened falls back to "default" with a warning in the log.
//
// Threads: start/stop/destructor from one owner thread at a time; running, device_name,
// last_error and set_halted from any thread. The callback runs on the output thread, once per
// period, and must not block for long; it is never called again once stop() has returned.
// Failures never throw: start returns false and last_error holds the reason. No call waits
// without a bound: a device that stops answering (a frozen sound server) costs start at most
// 5 s and stop at most 1 s; its thread is then left behind and ends by itself when the device
// lets go. Its internal mutexes take no lock outside AudioOut (the order is in playback/player.h).
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AudioOut {
public:
    struct Device {
        std::string id;    // "pulse:" + sink name, or an ALSA PCM name
        std::string name;  // display name
        bool is_default = false;
    };

    // Writes up to `frames` interleaved frames into `out`, returns how many (negative counts as 0).
    using Source = std::function<int(short* out, int frames)>;

    AudioOut();
    ~AudioOut();
    AudioOut(const AudioOut&) = delete;
    AudioOut& operator=(const AudioOut&) = delete;

    // Stops a running output, then opens `device` on a new output thread and waits until the
    // open succeeded or failed (at most 5 s, longer than the device query it may run first).
    // True when a device is open and playing; otherwise last_error says why, always non-empty.
    bool start(int rate, int channels, Source source, const std::string& device);
    // Ends the output thread and waits for it, at most 1 s; harmless when nothing runs.
    void stop();
    // While halted, start fails at once and a start waiting for its device gives up; for an
    // owner that is shutting down the thread that calls start. Any thread.
    void set_halted(bool on);
    // A device is open and written to; turns false by itself when the device fails.
    bool running() const;
    // Display name of the device opened last, kept after stop.
    std::string device_name() const;
    // The last error text, "" after a successful start.
    std::string last_error() const;

    // The devices the user can choose: the PulseAudio sinks when a server answers within 2 s and
    // lists any, else the ALSA PCM hints. Any thread; refreshes the process-wide name cache.
    static std::vector<Device> devices();

    struct Impl;
    struct Session;

private:
    std::unique_ptr<Impl> impl_;
};
