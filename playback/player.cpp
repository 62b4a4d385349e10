// Player control: the setters that front ends call, the status snapshot, and starting and
// ending the two threads. The thread bodies live in player_scan.cpp and player_decode.cpp.
#include "playback/player.h"

#include <algorithm>

#include "core/timeutil.h"

Player::Player() = default;

Player::~Player() { stop(); }

void Player::start() {
    if (running_) {
        rescan();
        return;
    }
    running_ = true;
    audio_.set_halted(false);
    scan_woken_ = decode_woken_ = false;  // wake-ups meant for the previous run
    // A seek or skip asked while stopped would hit the first track of the new run.
    seek_req_ = -1.0;
    skip_req_ = false;
    rescan_req_ = true;  // the first turn of the scan thread scans at once
    set_state(Scanning, "");
    scan_thread_ = std::thread(&Player::scan_thread, this);
    decode_thread_ = std::thread(&Player::decode_thread, this);
}

void Player::stop() {
    if (!running_.exchange(false)) return;
    audio_.set_halted(true);  // a decode thread waiting for a device that does not answer
    wake_scan();
    wake_decode();
    decode_thread_.join();
    scan_thread_.join();  // a scan in progress runs to its end first
    stop_audio();
    stream_.close();
    set_state(Stopped, "");
}

Player::Status Player::status() const {
    // Read before the lock: a refresh holds the playlist's lock for a while, and a status poll
    // waiting for it under mutex_ would stall the decode thread's next block.
    const size_t pool_size = playlist_.size();
    const size_t round_pos = playlist_.round_position();
    std::string device = audio_.device_name();
    std::lock_guard<std::mutex> lock(mutex_);
    Status s = status_;
    s.position = position_locked();
    s.pool_size = pool_size;
    s.round_pos = round_pos;
    s.gain_db = leveler_.gain_db;
    s.in_db = leveler_.in_db;
    s.out_db = leveler_.out_db;
    s.device = std::move(device);
    return s;
}

// Frames the output dropped on a skip or a seek count as passed: the next one it takes is the
// frame that far on, so the position stays exact.
double Player::position_locked() const {
    if (!heard_.on || heard_.hz <= 0) return status_.position;
    const uint64_t taken = ring_.consumed();
    const int64_t since = taken > heard_.ring_at ? static_cast<int64_t>(taken - heard_.ring_at) : 0;
    return static_cast<double>(heard_.frame + since) / heard_.hz;
}

void Player::anchor_locked(int64_t frame, int hz) {
    heard_.on = true;
    heard_.ring_at = ring_.pushed();
    heard_.frame = frame;
    heard_.hz = hz;
}

void Player::set_state(State state, const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    status_.state = state;
    if (state != Error) status_.fault = Fault::None;
    // An error keeps its reason until a thread has a better one or leaves the error.
    if (state != Error || !message.empty()) status_.message = message;
}

void Player::fail(Fault fault, const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    status_.state = Error;
    status_.fault = fault;
    if (!message.empty()) status_.message = message;
}

void Player::set_filters(const FilterSet& rules) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        filters_ = rules;
    }
    rescan();
}

FilterSet Player::filters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return filters_;
}

void Player::set_leveler(const Leveler::Config& config) {
    std::lock_guard<std::mutex> lock(mutex_);
    leveler_.configure(config);
}

Leveler::Config Player::leveler_config() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return leveler_.config();
}

void Player::set_volume(float v) { volume_ = std::min(1.0f, std::max(0.0f, v)); }

float Player::volume() const { return volume_; }

void Player::set_paused(bool on) {
    paused_ = on;
    wake_decode();
}

bool Player::paused() const { return paused_; }

void Player::set_loop(bool on) { playlist_.set_loop(on); }

void Player::set_shuffle(bool on) { playlist_.set_shuffle(on); }

void Player::set_rescan_minutes(int minutes) { rescan_minutes_ = minutes; }

int Player::rescan_minutes() const { return rescan_minutes_; }

void Player::skip() {
    skip_req_ = true;
    wake_decode();
}

void Player::seek(double seconds) {
    seek_req_ = std::max(seconds, 0.0);
    wake_decode();
}

void Player::seek_relative(double delta) {
    double position;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        position = position_locked();
    }
    seek(position + delta);
}

void Player::rescan() {
    rescan_req_ = true;
    wake_scan();
}

void Player::restart_round() {
    playlist_.restart();
    wake_decode();
}

void Player::set_device(const std::string& id) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (id == device_id_) return;
        device_id_ = id;
    }
    wake_decode();  // the next feed step reopens the output
}

std::string Player::device_id() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_id_;
}

void Player::set_timing(const Timing& timing) {
    if (!running_) timing_ = timing;
}

int64_t Player::now() const { return timing_.now ? timing_.now() : timeutil::now_unix(); }

// The empty hand-over of the wake mutex closes the gap between a waiter testing its flag and
// going to sleep, so no wake-up is lost; the notify itself happens without the mutex.
static void wake(std::atomic<bool>& flag, std::mutex& m, std::condition_variable& cv) {
    flag = true;
    { std::lock_guard<std::mutex> handover(m); }
    cv.notify_all();
}

void Player::wake_scan() {
    scan_woken_ = true;
    watcher_.wake();
}

void Player::wake_decode() { wake(decode_woken_, decode_mutex_, decode_cv_); }
