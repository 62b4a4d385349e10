// The playback engine: the rules, the pool, the level matcher, the decoder, the output and the
// PCM ring between them, driven by two threads of its own.
//
// Threads: front ends call the public operations (any thread, none blocks longer than a lock
// hold except stop() and the destructor, which join); the scan thread keeps the playlist filled
// from the folder; the decode thread plays it into the ring; the output thread of AudioOut
// empties the ring through audio_fill() and takes no lock at all.
//
// Every mutex of the program, outermost first. A lock may be taken while holding one above it
// in this table, never one below it; a leaf takes no other lock while held.
//
//   mutex                       taken by                                 may hold while taking
//   Player::mutex_              front ends, scan and decode threads      Playlist::lock_, AudioOut
//   Player::decode_mutex_       the thread that waits, and a waker for   nothing (held only around
//                               an empty hand-over before its notify     the wait, never with mutex_)
//   Playlist::lock_             front ends, scan and decode threads      nothing (leaf)
//   AudioOut::Impl::mutex       the owner (decode thread), read-outs     its live Session::mutex
//                               from any thread
//   AudioOut::Session::mutex    the output thread and the owner          nothing (leaf)
//   device_names (g_names_m)    any thread asking for a device name      nothing (leaf; released
//                                                                        before a query runs)
//   logger (g_mutex)            any thread                               nothing (leaf)
//
// status() reads the Playlist and AudioOut before it takes `mutex_`, so that a long refresh
// never stalls the decode thread through a status poll. The scan thread sleeps in its folder
// watcher, which any thread wakes without a lock. Every wait is a timed wait; stop() ends
// within about a second even while the output device blocks.
//
// Failures never throw: they show as Status::state, Status::fault and Status::message
// (translated). The player rides out by itself whatever it can: a failing output is reopened
// every second, an unreachable folder is tried again every 15 s, a file that vanished from the
// pool asks for a rescan instead of counting as unusable. Between rescans the folder is
// watched, so files that come and go are merged within about two seconds.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_out.h"
#include "core/filters.h"
#include "core/scanner.h"
#include "core/watcher.h"
#include "playback/leveler.h"
#include "playback/mp3.h"
#include "playback/pcm_ring.h"
#include "playback/playlist.h"

class Player {
public:
    enum State : int { Stopped = 0, Scanning, NoFiles, Playing, Paused, Waiting, Error, Finished };
    // Why the state is Error; None in every other state. Front ends that run unattended tell
    // from it what the player recovers from by itself (Folder after a first good scan, Output)
    // and what needs the user (Folder before any scan succeeded, Unusable).
    enum class Fault : int { None = 0, Folder, Output, Unusable };

    struct Status {
        State state = Stopped;
        std::string name;       // current or last track
        std::string path;
        int64_t time = 0;       // its recording time
        double position = 0;    // seconds heard, not decoded
        double duration = 0;    // estimate; 0 = none
        size_t pool_size = 0;
        size_t round_pos = 0;
        int wait_seconds = 0;   // until the playback window opens (Waiting)
        float gain_db = 0;
        float in_db = 0;
        float out_db = 0;
        std::string device;     // display name of the output opened last
        std::string message;    // translated text for the user; "" = none
        scanner::Progress progress;
        int64_t last_scan = 0;  // end of the last completed scan; 0 = none yet
        Fault fault = Fault::None;
        // Counted from construction, so that a front end tells a track that starts (the same file
        // again included) and a seek that landed from the position merely moving on.
        uint64_t tracks_opened = 0;
        uint64_t seeks_landed = 0;
    };

    // Output meter since the previous take_levels(): linear, 1.0 = full scale.
    struct Levels {
        float peak[2] = {0, 0};
        float rms[2] = {0, 0};
        bool fresh = false;  // at least one frame was measured
    };

    // Seams for tests: where the decode thread's "now" comes from, the length of a rescan
    // minute, the pause before an unreachable folder is tried again, how often the decode
    // thread looks again at a pool that had nothing to play, and the system calls behind the
    // folder's watches.
    using Clock = int64_t (*)();
    struct Timing {
        Clock now = nullptr;  // null: timeutil::now_unix
        std::chrono::milliseconds minute{60000};
        std::chrono::milliseconds folder_retry{15000};
        std::chrono::milliseconds idle_look{2000};
        watcher::Kernel watch;  // null calls: inotify's own
    };

    // While a track plays, the decode thread sleeps at most this long between feed steps; a
    // feed step is where a changed device is taken up.
    static constexpr std::chrono::milliseconds kFeedPause{500};
    // A changed rescan interval is seen within this.
    static constexpr std::chrono::milliseconds kIntervalSeen{1000};
    // An output that failed is tried again this often.
    static constexpr std::chrono::milliseconds kOutputRetry{1000};

    Player();
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void start();  // while running: only a rescan
    void stop();   // joins both threads; the track fields and the pool stay

    Status status() const;

    void set_filters(const FilterSet& rules);
    FilterSet filters() const;
    void set_leveler(const Leveler::Config& config);
    Leveler::Config leveler_config() const;
    void set_volume(float v);
    float volume() const;
    void set_paused(bool on);
    bool paused() const;
    // The playlist's own switches (its lock, no wake-up): loop and shuffle of the rounds.
    void set_loop(bool on);
    void set_shuffle(bool on);
    // Minutes between rescans; <= 0: only on request. Takes effect within kIntervalSeen.
    void set_rescan_minutes(int minutes);
    int rescan_minutes() const;
    void skip();
    void seek(double seconds);
    void seek_relative(double delta);
    void rescan();
    void restart_round();
    void set_device(const std::string& id);
    std::string device_id() const;
    Levels take_levels();

    // Only while stopped.
    void set_timing(const Timing& timing);

private:
    friend struct PlayerProbe;  // tests reach the state rule directly

    // The threads' state changes. An error keeps its reason until replaced by a non-empty one;
    // any other state clears the fault.
    void set_state(State state, const std::string& message);
    void fail(Fault fault, const std::string& message);
    void stop_audio();

    // What the decode thread keeps between its loop turns.
    struct Track {
        bool open = false;       // a track is open and being fed
        int64_t frames = 0;      // read from the current track
        int bad_in_row = 0;      // failed to open or gave under a quarter second
        int gone_in_row = 0;     // pool entries that no longer exist
        std::chrono::steady_clock::time_point rescan_asked{};  // for a vanished entry, last
        MediaFile file;
        std::vector<short> block;
    };

    enum class Step { Feed, NextTrack, Again };

    // Scan thread.
    void scan_thread();
    bool scan_once(const FilterSet& rules);
    void wait_scan(std::chrono::milliseconds limit, bool follow_interval);
    void merge_changes(watcher::Changes& changes);
    void log_notes();

    // Decode thread.
    void decode_thread();
    bool window_closed(const FilterSet& rules, Track& t);
    Step next_step(Track& t);
    bool open_next(Track& t);
    void count_unusable(Track& t);
    void entry_gone(Track& t, const MediaFile& file);
    void report_empty_pool();
    void feed_step(Track& t);
    void push_block(const short* pcm, int frames);
    void wait_decode(std::chrono::milliseconds limit);

    bool ensure_audio(int rate, int channels);
    void note_output_error(const std::string& reason);
    // Output thread: no lock.
    int audio_fill(short* out, int frames);
    void measure_output(const short* pcm, int frames);
    // Any thread.
    void wake_scan();
    void wake_decode();
    int64_t now() const;

    // Where the heard position comes from: the ring count at which frame `frame` of the track
    // at `hz` enters the ring; the frames after it follow in order. The decode thread sets it
    // wherever that order breaks (a track opens, a seek lands, the ring is rebuilt); while no
    // track plays (`on` false) the stored Status::position stands.
    struct Heard {
        bool on = false;
        uint64_t ring_at = 0;
        int64_t frame = 0;
        int hz = 0;
    };
    // The seconds heard of the current track, from what the output has taken from the ring.
    double position_locked() const;
    void anchor_locked(int64_t frame, int hz);

    // Guarded by mutex_ (any thread).
    mutable std::mutex mutex_;
    FilterSet filters_;
    Status status_;
    Heard heard_;
    Leveler leveler_;
    std::string device_id_;

    // Decode thread only (and stop() after the threads are joined); AudioOut's read-outs
    // (running, device_name) from any thread.
    AudioOut audio_;
    Mp3Stream stream_;
    std::string open_device_;
    std::string output_error_;  // the output failure logged last; "" while the output works
    PcmRing ring_;  // resized only while the output thread is joined

    // Written only while stopped (start, stop, set_timing on the front-end thread).
    Timing timing_;
    std::thread scan_thread_, decode_thread_;

    std::condition_variable decode_cv_;
    std::mutex decode_mutex_;
    watcher::Watcher watcher_;  // the scan thread's; wake() from any thread
    std::atomic<bool> scan_woken_{false}, decode_woken_{false};

    Playlist playlist_;  // its own lock; filled by the scan thread, played by the decode thread

    // Atomics: request flags raised by front ends and taken by the threads; out_rate_ and
    // out_channels_ written by the decode thread, read by the output thread.
    std::atomic<bool> running_{false};
    std::atomic<bool> rescan_req_{false};
    std::atomic<bool> skip_req_{false};
    std::atomic<bool> flush_req_{false};
    std::atomic<double> seek_req_{-1.0};
    std::atomic<float> volume_{1.0f};
    std::atomic<bool> paused_{false};
    std::atomic<int> rescan_minutes_{15};
    std::atomic<int> out_rate_{0}, out_channels_{0};

    // Meter accumulators: written by the output thread, exchanged by take_levels().
    std::atomic<int> meter_peak_[2] = {{0}, {0}};
    std::atomic<int64_t> meter_sumsq_[2] = {{0}, {0}};
    std::atomic<int64_t> level_frames_{0};
};
