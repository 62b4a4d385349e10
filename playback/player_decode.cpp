// The decode thread and the audio feed. Each loop turn checks the playback window, pause, the
// end of the track and skip, then decodes one block of at most a tenth of a second, levels it
// and pushes it into the ring. The output thread drains the ring through audio_fill().
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "i18n/i18n.h"
#include "playback/player.h"
#include "playback/sample_kernels.h"
#include "system/logger.h"
#include "system/paths.h"

namespace {

using ms = std::chrono::milliseconds;

const int kBlockRoom = 1152;    // frames one MPEG frame may need
const int kUnusableLimit = 25;  // unusable tracks in a row before the user is told
const int kRefillBlocks = 4;    // blocks of room the decode thread waits for once the ring is full
// A pool entry that no longer exists asks for a rescan at most this often, and costs this wait
// before the next entry, so that a vanished folder does not spin through the whole pool.
constexpr auto kGoneRescanEvery = std::chrono::seconds(5);
const ms kGoneWait(2000);

// An entry whose path no longer leads to anything: removed, moved away, or its folder gone,
// replaced by a file or closed to us. A file that exists but cannot be opened is not gone.
bool gone(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) != 0;
}

}  // namespace

void Player::decode_thread() {
    logger::info("Dekoder gestartet");
    Track t;
    while (running_) {
        decode_woken_ = false;  // this turn looks at every request anyway
        FilterSet rules = filters();
        if (window_closed(rules, t)) continue;
        if (paused_) {
            stop_audio();
            set_state(Paused, "");
            wait_decode(ms(200));
            continue;
        }
        Step step = next_step(t);
        if (step == Step::Again || (step == Step::NextTrack && !open_next(t))) continue;
        feed_step(t);
    }
    stop_audio();
    stream_.close();
    logger::info("Dekoder beendet");
}

// Outside the playback window the track is abandoned and the output closed; when the window
// opens, the next track starts.
bool Player::window_closed(const FilterSet& rules, Track& t) {
    if (!rules.time_rules || !rules.win_play) return false;
    int64_t s = rules.window.seconds_until_open(now());
    if (s <= 0) return false;
    if (t.open) stream_.close();
    stop_audio();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.wait_seconds = static_cast<int>(s);
        status_.state = Waiting;
        // The folder's fault is the scan thread's to clear: waiting must not hide a folder that
        // was never reachable, on which headless play ends.
        if (status_.fault != Fault::Folder) status_.fault = Fault::None;
        status_.position = 0;
        status_.duration = 0;
        heard_.on = false;
    }
    wait_decode(ms(1000));
    t.open = false;
    return true;
}

// The next track is due when none is open, a skip was asked, or the open one has ended and
// the ring has drained to a quarter second, so that tracks follow without a gap.
Player::Step Player::next_step(Track& t) {
    if (!t.open) {
        if (skip_req_.exchange(false)) flush_req_ = true;
        return Step::NextTrack;
    }
    if (!skip_req_ && !stream_.done) return Step::Feed;
    if (skip_req_.exchange(false)) {
        flush_req_ = true;
        return Step::NextTrack;
    }
    int64_t quarter = stream_.hz < 1 ? 1 : stream_.hz / 4;
    if (t.frames < quarter) {
        logger::warn("ohne Ton: " + paths::display(t.file.path));
        count_unusable(t);
        t.frames = quarter;  // warned once per track
    }
    if (ring_.buffered() > static_cast<size_t>(out_rate_ / 4) && audio_.running()) {
        wait_decode(ms(50));
        return Step::Again;
    }
    return Step::NextTrack;
}

void Player::count_unusable(Track& t) {
    if (++t.bad_in_row < kUnusableLimit) return;
    fail(Fault::Unusable, i18n::T("err_unreadable"));
    wait_decode(ms(3000));
}

// Files moved away or deleted since the last scan are not the files' fault: the pool is out of
// date. The scan thread brings it up to date (and reports a folder that went away as a whole);
// meanwhile the entry is passed over without counting toward the unusable ones.
void Player::entry_gone(Track& t, const MediaFile& file) {
    if (t.gone_in_row++ == 0) logger::warn("nicht mehr da: " + paths::display(file.path));
    const auto now = std::chrono::steady_clock::now();
    if (t.rescan_asked == std::chrono::steady_clock::time_point{} ||
        now - t.rescan_asked >= kGoneRescanEvery) {
        t.rescan_asked = now;
        rescan();
    }
    wait_decode(kGoneWait);
}

// Opens the next track of the playlist; false when there is none to feed this turn.
bool Player::open_next(Track& t) {
    stream_.close();
    t.open = false;
    MediaFile file;
    if (playlist_.next(&file)) {
        if (!stream_.open(file.path)) {
            if (gone(file.path)) {
                entry_gone(t, file);
                return false;
            }
            count_unusable(t);
            logger::warn("nicht lesbar: " + paths::display(file.path));
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            leveler_.prepare(stream_.hz, stream_.channels);
            leveler_.new_track();
            status_.name = file.name;
            status_.path = file.path;
            status_.time = file.time;
            status_.duration = stream_.duration;
            anchor_locked(0, stream_.hz);
            ++status_.tracks_opened;
        }
        logger::info("spielt: " + file.name);
        t.gone_in_row = 0;
        t.file = std::move(file);
        t.frames = 0;
        t.open = true;
        return true;
    }
    if (playlist_.finished()) {
        stop_audio();
        set_state(Finished, "");
    } else {
        report_empty_pool();
    }
    wait_decode(timing_.idle_look);
    return false;
}

// An empty pool after a scan that could not run (no folder, folder not reachable) keeps the
// scan thread's reason on show instead of the vaguer "no matching file".
void Player::report_empty_pool() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_.state == NoFiles || status_.state == Error) return;
    status_.state = NoFiles;
    status_.message = i18n::T("err_no_files");
}

void Player::feed_step(Track& t) {
    double target = seek_req_.exchange(-1.0);
    if (target >= 0 && stream_.seek(target)) {
        flush_req_ = true;
        std::lock_guard<std::mutex> lock(mutex_);
        leveler_.new_track();
        anchor_locked(stream_.frames_out, stream_.hz);
        ++status_.seeks_landed;
    }
    if (!ensure_audio(stream_.hz, stream_.channels)) {
        wait_decode(kOutputRetry);  // keep the track and try the output again
        return;
    }
    set_state(Playing, "");
    const int hz = stream_.hz;
    const int channels = std::max(1, stream_.channels);
    // A whole block at a time: a tenth of a second, but at least one MPEG frame, so that rates
    // under 11520 Hz play too. Once the ring has no room for a block, the thread sleeps until
    // the output has made room for several and then decodes them back to back: one wake-up per
    // refill instead of several per block, while the ring stays well over a second full. A
    // request still wakes it at once.
    const int n = std::max(hz / 10, kBlockRoom);
    const size_t room = ring_.free_frames();
    if (room < static_cast<size_t>(n)) {
        const size_t refill = std::min(ring_.frames() / 2, static_cast<size_t>(n) * kRefillBlocks);
        const size_t missing = refill > room ? refill - room : 0;
        const long missing_ms = static_cast<long>(missing * 1000 / std::max(hz, 1));
        wait_decode(std::clamp(ms(missing_ms), ms(20), kFeedPause));
        return;
    }
    size_t need = static_cast<size_t>(n + kBlockRoom) * channels;
    if (t.block.size() < need) t.block.resize(need);
    int got = stream_.read(t.block.data(), n);
    if (got > 0) {
        t.frames += got;
        if (t.frames >= hz / 4) t.bad_in_row = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            leveler_.process(t.block.data(), got, volume_);
        }
        push_block(t.block.data(), got);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_.duration <= 0) status_.duration = stream_.duration;
    status_.wait_seconds = 0;
}

// Frames that do not fit when a skip arrives are dropped with the rest of the track; so are
// those that an output which failed meanwhile will never take (the next feed step reopens it).
void Player::push_block(const short* pcm, int frames) {
    size_t done = 0;
    const size_t total = static_cast<size_t>(frames);
    while (running_ && !skip_req_ && audio_.running()) {
        done += ring_.push(pcm + done * ring_.channels(), total - done);
        if (done >= total) return;
        wait_decode(ms(10));
    }
}

void Player::wait_decode(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(decode_mutex_);
    decode_cv_.wait_for(lock, limit, [this] { return !running_ || decode_woken_.exchange(false); });
}

// (Re)opens the output when the format or the chosen device differs from the open one. The ring
// is rebuilt only here, after the old output thread has been joined.
bool Player::ensure_audio(int rate, int channels) {
    const std::string id = device_id();
    const bool open = audio_.running();
    if (open && rate == out_rate_ && channels == out_channels_ && open_device_ == id) return true;
    if (!open && out_rate_ > 0) note_output_error(audio_.last_error());  // failed while playing
    stop_audio();
    open_device_ = id;
    ring_.reset(2 * static_cast<size_t>(rate) + 1, channels);
    flush_req_ = false;  // the fresh ring holds nothing to drop
    {
        // What the old ring held is never heard; the next frame read follows.
        std::lock_guard<std::mutex> lock(mutex_);
        if (heard_.on) anchor_locked(stream_.frames_out, stream_.hz);
    }
    out_rate_ = rate;
    out_channels_ = channels;
    auto source = [this](short* out, int frames) { return audio_fill(out, frames); };
    if (audio_.start(rate, channels, source, id)) {
        if (!output_error_.empty()) logger::info("Ausgabe wieder offen: " + audio_.device_name());
        output_error_.clear();
        return true;
    }
    out_rate_ = 0;
    out_channels_ = 0;
    if (!running_) return false;  // stop() cut the open short; nothing to report
    const std::string reason = audio_.last_error();
    note_output_error(reason);
    fail(Fault::Output, reason.empty() ? std::string(i18n::T("err_no_device")) : reason);
    return false;
}

// The output is retried every second for as long as it fails: the log hears of each new
// reason once, not of every attempt.
void Player::note_output_error(const std::string& reason) {
    if (reason == output_error_) return;
    output_error_ = reason;
    logger::error("Ausgabe: " + reason);
}

void Player::stop_audio() {
    audio_.stop();
    out_rate_ = 0;
    out_channels_ = 0;
}

// Output thread: no lock, no allocation; AudioOut fills what is missing with silence.
int Player::audio_fill(short* out, int frames) {
    if (flush_req_.exchange(false)) ring_.drop_buffered();
    if (frames <= 0) return 0;
    int n = static_cast<int>(ring_.pop(out, static_cast<size_t>(frames)));
    measure_output(out, n);
    return n;
}

static void raise_to(std::atomic<int>& peak, int value) {
    int old = peak.load(std::memory_order_relaxed);
    while (old < value && !peak.compare_exchange_weak(old, value, std::memory_order_relaxed)) {
    }
}

// Peak and sum of squares of the first one or two channels of `frames` frames, `stride`
// samples apart.
static void sum_channels(const short* pcm, int frames, int stride, sample_kernels::Stats out[2]) {
    const size_t n = static_cast<size_t>(frames);
    if (stride == 1) {
        out[0] = out[1] = sample_kernels::measure(pcm, n);
        return;
    }
    if (stride == 2) {
        sample_kernels::measure_stereo(pcm, n, out);
        return;
    }
    out[0] = out[1] = sample_kernels::Stats{};
    for (size_t f = 0; f < n; ++f) {
        for (int c = 0; c < 2; ++c) {
            const int v = std::abs(static_cast<int>(pcm[f * stride + c]));
            out[c].peak = std::max(out[c].peak, v);
            out[c].sumsq += v * v;
        }
    }
}

void Player::measure_output(const short* pcm, int frames) {
    const int channels = out_channels_;
    if (frames <= 0 || !pcm || channels <= 0) return;
    sample_kernels::Stats stats[2];
    sum_channels(pcm, frames, channels, stats);
    for (int c = 0; c < 2; ++c) {
        raise_to(meter_peak_[c], stats[c].peak);
        meter_sumsq_[c].fetch_add(stats[c].sumsq, std::memory_order_relaxed);
    }
    level_frames_.fetch_add(frames, std::memory_order_relaxed);
}

Player::Levels Player::take_levels() {
    Levels levels;
    int64_t frames = level_frames_.exchange(0);
    levels.fresh = frames > 0;
    for (int c = 0; c < 2; ++c) {
        levels.peak[c] = meter_peak_[c].exchange(0) / 32768.0f;
        double sum = static_cast<double>(meter_sumsq_[c].exchange(0));
        levels.rms[c] = frames > 0 ? static_cast<float>(std::sqrt(sum / frames) / 32768.0) : 0.0f;
    }
    return levels;
}
