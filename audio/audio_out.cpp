// The output stream's life cycle: start, stop and the output thread that picks the back end.
#include "audio/audio_impl.h"

#include <algorithm>
#include <chrono>

#include "system/logger.h"

namespace {

constexpr int kStartPolls = 100;
constexpr auto kStartPoll = std::chrono::milliseconds(10);
const char kPulsePrefix[] = "pulse:";

bool is_pulse_id(const std::string& id) { return id.rfind(kPulsePrefix, 0) == 0; }

}  // namespace

AudioOut::AudioOut() : impl_(std::make_unique<Impl>()) {}

AudioOut::~AudioOut() { stop(); }

bool AudioOut::start(int rate, int channels, Source source, const std::string& device) {
    stop();
    Impl& d = *impl_;
    d.device = device;
    d.rate = rate < 1 ? 48000 : rate;
    d.channels = channels < 1 ? 2 : channels;
    d.source = std::move(source);
    d.stop_req = false;
    d.set_error("");
    d.thread = std::thread(&Impl::thread_main, &d);
    // sleep_for resumes after a signal interrupts it, so every poll lasts its full 10 ms.
    for (int i = 0; i < kStartPolls && !d.running; ++i) {
        std::this_thread::sleep_for(kStartPoll);
        if (!last_error().empty()) break;
    }
    return d.running;
}

void AudioOut::stop() {
    Impl& d = *impl_;
    d.stop_req = true;
    if (d.thread.joinable()) d.thread.join();
    d.running = false;
}

bool AudioOut::running() const { return impl_->running; }

std::string AudioOut::device_name() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->device_label;
}

std::string AudioOut::last_error() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->error;
}

void AudioOut::Impl::thread_main() {
    if (is_pulse_id(device)) {
        if (run_pulse(device.substr(sizeof kPulsePrefix - 1))) return;
        logger::warn("Gewaehltes Ausgabegeraet nicht da (" + device + ") — Standardgeraet");
        run_alsa("default");
        return;
    }
    run_alsa(device.empty() ? "default" : device);
}

void AudioOut::Impl::fill_period(std::vector<short>& period, int frames) {
    int got = source ? source(period.data(), frames) : 0;
    got = std::clamp(got, 0, frames);
    std::fill(period.begin() + static_cast<size_t>(got) * channels, period.end(), short{0});
}

void AudioOut::Impl::set_label(const std::string& label) {
    std::lock_guard<std::mutex> lock(mutex);
    device_label = label;
}

void AudioOut::Impl::set_error(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    error = text;
}
