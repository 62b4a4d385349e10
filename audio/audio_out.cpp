// The output stream's life cycle: start, stop and the output thread that picks the back end.
#include "audio/audio_impl.h"

#include <algorithm>
#include <chrono>

#include "system/logger.h"

namespace {

using ms = std::chrono::milliseconds;

// Longer than the device query that opening a PulseAudio sink runs first (2 s), with room for
// the open itself on a busy server.
constexpr ms kStartLimit(5000);
constexpr ms kStopLimit(1000);
// Threads left behind in a device that does not answer; beyond this, start refuses to leave
// yet another one until one of them has ended.
constexpr size_t kMaxStuck = 3;
const char kPulsePrefix[] = "pulse:";

bool is_pulse_id(const std::string& id) { return id.rfind(kPulsePrefix, 0) == 0; }

}  // namespace

AudioOut::AudioOut() : impl_(std::make_unique<Impl>()) {}

AudioOut::~AudioOut() { stop(); }

bool AudioOut::start(int rate, int channels, Source source, const std::string& device) {
    stop();
    Impl& d = *impl_;
    d.stuck.erase(std::remove_if(d.stuck.begin(), d.stuck.end(),
                                 [](const std::shared_ptr<Session>& s) {
                                     std::lock_guard<std::mutex> lock(s->mutex);
                                     return s->ended;
                                 }),
                  d.stuck.end());
    auto refuse = [&d](const std::string& why) {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.last_error = why;
        return false;
    };
    if (d.halted) return refuse("Ausgabegeraet: Start abgebrochen");
    if (d.stuck.size() >= kMaxStuck) return refuse("Ausgabegeraet: antwortet nicht");

    auto s = std::make_shared<Session>();
    s->device = device;
    s->rate = rate < 1 ? 48000 : rate;
    s->channels = channels < 1 ? 2 : channels;
    s->source = std::move(source);
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        d.live = s;
    }
    d.session = s;
    d.thread = std::thread([s] { s->thread_main(); });

    bool reported;
    {
        std::unique_lock<std::mutex> lock(s->mutex);
        reported = s->changed.wait_for(lock, kStartLimit, [&] { return s->outcome || d.halted; });
        reported = reported && s->outcome;
    }
    if (!reported) {
        s->set_error(d.halted ? "Ausgabegeraet: Start abgebrochen"
                              : "Ausgabegeraet: keine Antwort in 5 s");
        // Said here, not only for a thread left behind: an open that the cut ends at once
        // leaves no other trace of the device that did not answer.
        if (!d.halted) logger::warn("Ausgabegeraet antwortet nicht in 5 s (" + device + ")");
        // Cut short, an open that is merely under way gets the second any stop gets; after the
        // five seconds, the device has had its time.
        impl_->end_session(d.halted ? kStopLimit : ms(0));
        return false;
    }
    if (s->running) return true;
    impl_->end_session(kStopLimit);  // the thread has failed and is ending by itself
    return false;
}

void AudioOut::stop() { impl_->end_session(kStopLimit); }

void AudioOut::set_halted(bool on) {
    Impl& d = *impl_;
    d.halted = on;
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.live) return;
    { std::lock_guard<std::mutex> handover(d.live->mutex); }  // a waiter has tested `halted`
    d.live->changed.notify_all();
}

bool AudioOut::running() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->live && impl_->live->running;
}

std::string AudioOut::device_name() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (impl_->live) {
        std::lock_guard<std::mutex> session(impl_->live->mutex);
        if (!impl_->live->label.empty()) return impl_->live->label;
    }
    return impl_->last_label;
}

std::string AudioOut::last_error() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (!impl_->live) return impl_->last_error;
    std::lock_guard<std::mutex> session(impl_->live->mutex);
    return impl_->live->error;
}

void AudioOut::Impl::end_session(std::chrono::milliseconds limit) {
    if (!session) return;
    std::shared_ptr<Session> s = std::move(session);
    s->stop_req = true;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        if (s->interrupt) s->interrupt();
    }
    while (s->in_source) std::this_thread::yield();  // a period's copy, no more
    bool ended;
    {
        std::unique_lock<std::mutex> lock(s->mutex);
        ended = s->changed.wait_for(lock, limit, [&] { return s->ended; });
    }
    if (ended) {
        thread.join();
    } else {
        logger::warn("Ausgabegeraet antwortet nicht (" + s->device + "), sein Faden bleibt zurueck");
        thread.detach();
        stuck.push_back(s);
    }
    std::lock_guard<std::mutex> lock(mutex);
    std::lock_guard<std::mutex> session_lock(s->mutex);
    if (!s->label.empty()) last_label = s->label;
    last_error = s->error;
    live.reset();
}

void AudioOut::Session::thread_main() {
    if (is_pulse_id(device)) {
        if (!run_pulse(device.substr(sizeof kPulsePrefix - 1)) && !stop_req) {
            logger::warn("Gewaehltes Ausgabegeraet nicht da (" + device + ") — Standardgeraet");
            run_alsa("default");
        }
    } else {
        run_alsa(device.empty() ? "default" : device);
    }
    running = false;
    std::lock_guard<std::mutex> lock(mutex);
    outcome = true;
    ended = true;
    changed.notify_all();
}

bool AudioOut::Session::fill_period(std::vector<short>& period, int frames) {
    in_source = true;
    if (stop_req) {
        in_source = false;
        return false;
    }
    int got = source ? source(period.data(), frames) : 0;
    in_source = false;
    got = std::clamp(got, 0, frames);
    std::fill(period.begin() + static_cast<size_t>(got) * channels, period.end(), short{0});
    return true;
}

void AudioOut::Session::set_label(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    label = text;
}

void AudioOut::Session::set_error(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    error = text;
    outcome = true;
    changed.notify_all();
}

void AudioOut::Session::report_running() {
    running = true;
    std::lock_guard<std::mutex> lock(mutex);
    outcome = true;
    changed.notify_all();
}
