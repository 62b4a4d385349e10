// The PulseAudio back end of the output thread: a simple-API playback stream on one sink.
#include <pulse/error.h>
#include <pulse/sample.h>
#include <pulse/simple.h>

#include <cstdint>
#include <memory>

#include "audio/audio_impl.h"
#include "audio/device_names.h"
#include "system/logger.h"

namespace {

struct StreamCloser {
    void operator()(pa_simple* stream) const {
        pa_simple_flush(stream, nullptr);
        pa_simple_free(stream);
    }
};
using Stream = std::unique_ptr<pa_simple, StreamCloser>;

// The server chooses everything but the target length: 8 periods of 20 ms.
pa_buffer_attr buffer_attr(int period_frames, int channels) {
    pa_buffer_attr attr;
    attr.maxlength = UINT32_MAX;
    attr.prebuf = UINT32_MAX;
    attr.minreq = UINT32_MAX;
    attr.fragsize = UINT32_MAX;
    attr.tlength = static_cast<uint32_t>(channels * period_frames * 16);
    return attr;
}

}  // namespace

bool AudioOut::Session::run_pulse(const std::string& sink) {
    AudioOut::devices();  // refreshes the name cache; the list itself is not needed
    std::string label = device_names::server_name_for("pulse:" + sink);
    if (label.empty()) {
        logger::warn("Tonserver kennt die Senke nicht (mehr): " + sink);
        return false;
    }
    pa_sample_spec sample_format;
    sample_format.format = PA_SAMPLE_S16LE;
    sample_format.rate = static_cast<uint32_t>(rate);
    // A count the server cannot take must fail the open, not wrap around to a smaller one.
    sample_format.channels = static_cast<uint8_t>(channels <= static_cast<int>(PA_CHANNELS_MAX) ? channels : 0);
    pa_buffer_attr attr = buffer_attr(period_frames(), channels);
    int code = 0;
    Stream stream(pa_simple_new(nullptr, "Quavermill", PA_STREAM_PLAYBACK, sink.c_str(),
                                "Wiedergabe", &sample_format, nullptr, &attr, &code));
    if (!stream) {
        logger::warn("Tonserver, Senke " + sink + ": " + pa_strerror(code));
        return false;
    }
    set_label(label);

    const int frames = period_frames();
    std::vector<short> period(static_cast<size_t>(frames) * channels);
    const size_t bytes = period.size() * sizeof(short);
    report_running();
    while (fill_period(period, frames)) {
        if (pa_simple_write(stream.get(), period.data(), bytes, &code) < 0) {
            set_error(std::string("Ausgabe abgebrochen: ") + pa_strerror(code));
            break;
        }
    }
    running = false;
    return true;
}
