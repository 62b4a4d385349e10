// Plays 16-bit interleaved PCM on one output device from a thread of its own, pulling 20 ms
// periods through a callback and filling whatever it does not deliver with silence.
//
// Device ids: "pulse:" + sink name is a PulseAudio sink (simple API); any other id is an ALSA PCM
// name; "" means the ALSA device "default". A device that cannot be opened falls back to
// "default" with a warning in the log.
//
// Threads: start/stop/destructor from one owner thread at a time; running, device_name and
// last_error from any thread. The callback runs on the output thread, once per period, and must
// not block for long. Failures never throw: start returns false and last_error holds the reason.
// The internal mutex is a leaf lock.
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

    // Stops a running output, then opens `device` on a new output thread. True when a device is
    // open and playing; otherwise last_error says why ("" when the thread did not report in 1 s).
    bool start(int rate, int channels, Source source, const std::string& device);
    // Ends the output thread and waits for it; harmless when nothing runs.
    void stop();
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

private:
    std::unique_ptr<Impl> impl_;
};
