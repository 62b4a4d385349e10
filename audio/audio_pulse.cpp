// The PulseAudio back end of the output thread: a playback stream on one sink, with a main loop
// of its own that runs on the output thread itself. The simple API would run that loop on a
// second thread, and every period would then cost a wake-up of that thread, a lock handed back
// and forth between the two and the fork checks of half a dozen calls; here a period costs one
// call and what the server's request for it takes.
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/sample.h>
#include <pulse/stream.h>

#include <cstdint>

#include "audio/audio_impl.h"
#include "audio/device_names.h"
#include "system/logger.h"

namespace {

// The longest the loop sleeps without looking at stop_req; stop() interrupts the sleep, this
// only bounds a wake-up that came just before the loop went to sleep.
constexpr int kPollLimitUs = 100 * 1000;

// The loop, its context and its stream, and what their callbacks tell the output thread.
// Released in reverse order of creation; closing the connection makes the server drop the
// stream with whatever it still buffers, as stop() promises.
struct Connection {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    size_t writable = 0;  // bytes the server asked for that have not been written yet
    bool ready = false;   // the stream is connected
    bool broken = false;  // the context or the stream failed or ended

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        if (stream) {
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            if (ready) pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop) pa_mainloop_free(loop);
    }

    // One turn of the loop: sleeps until the server or stop() has something, at most
    // kPollLimitUs, and runs the callbacks. False when the loop itself failed.
    bool turn() {
        return pa_mainloop_prepare(loop, kPollLimitUs) >= 0 && pa_mainloop_poll(loop) >= 0 &&
               pa_mainloop_dispatch(loop) >= 0;
    }
    std::string reason() const { return pa_strerror(pa_context_errno(context)); }
};

void on_context_state(pa_context* context, void* data) {
    auto& c = *static_cast<Connection*>(data);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) c.broken = true;
}

void on_stream_state(pa_stream* stream, void* data) {
    auto& c = *static_cast<Connection*>(data);
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        c.ready = true;
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        c.broken = true;
        break;
    default:
        break;
    }
}

// The count given is all that the server asked for and has not had yet, not only the new request.
void on_writable(pa_stream*, size_t bytes, void* data) {
    static_cast<Connection*>(data)->writable = bytes;
}

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

// While the output thread sleeps in its loop, stop() wakes it through the session's interrupt;
// the loop is freed only after the interrupt has been taken back.
class Interrupt {
public:
    Interrupt(AudioOut::Session& s, pa_mainloop* loop) : session_(s) {
        std::lock_guard<std::mutex> lock(session_.mutex);
        session_.interrupt = [loop] { pa_mainloop_wakeup(loop); };
    }
    ~Interrupt() {
        std::lock_guard<std::mutex> lock(session_.mutex);
        session_.interrupt = nullptr;
    }
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

private:
    AudioOut::Session& session_;
};

}  // namespace

bool AudioOut::Session::run_pulse(const std::string& sink) {
    AudioOut::devices();  // refreshes the name cache; the list itself is not needed
    std::string label = device_names::server_name_for("pulse:" + sink);
    if (label.empty()) {
        logger::warn("Tonserver kennt die Senke nicht (mehr): " + sink);
        return false;
    }
    auto refused = [&sink](const std::string& why) {
        logger::warn("Tonserver, Senke " + sink + ": " + why);
        return false;
    };
    pa_sample_spec sample_format;
    sample_format.format = PA_SAMPLE_S16LE;
    sample_format.rate = static_cast<uint32_t>(rate);
    // A count the server cannot take must fail the open, not wrap around to a smaller one.
    sample_format.channels = static_cast<uint8_t>(channels <= static_cast<int>(PA_CHANNELS_MAX) ? channels : 0);
    if (!pa_sample_spec_valid(&sample_format)) return refused(pa_strerror(PA_ERR_INVALID));

    Connection c;
    c.loop = pa_mainloop_new();
    if (!c.loop) return refused(pa_strerror(PA_ERR_INTERNAL));
    Interrupt interrupt(*this, c.loop);
    c.context = pa_context_new(pa_mainloop_get_api(c.loop), "Quavermill");
    if (!c.context) return refused(pa_strerror(PA_ERR_INTERNAL));
    pa_context_set_state_callback(c.context, on_context_state, &c);
    if (pa_context_connect(c.context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0)
        return refused(c.reason());
    // A server that does not answer keeps the open waiting until the owner gives up on it.
    while (!stop_req && !c.broken && pa_context_get_state(c.context) != PA_CONTEXT_READY) {
        if (!c.turn()) return refused(pa_strerror(PA_ERR_INTERNAL));
    }
    if (stop_req) return false;
    if (c.broken) return refused(c.reason());

    c.stream = pa_stream_new(c.context, "Wiedergabe", &sample_format, nullptr);
    if (!c.stream) return refused(c.reason());
    pa_stream_set_state_callback(c.stream, on_stream_state, &c);
    pa_stream_set_write_callback(c.stream, on_writable, &c);
    pa_buffer_attr attr = buffer_attr(period_frames(), channels);
    // Nothing here asks for the stream's latency, so the server is not asked for timing either.
    if (pa_stream_connect_playback(c.stream, sink.c_str(), &attr, PA_STREAM_ADJUST_LATENCY,
                                   nullptr, nullptr) < 0)
        return refused(c.reason());
    while (!stop_req && !c.broken && !c.ready) {
        if (!c.turn()) return refused(pa_strerror(PA_ERR_INTERNAL));
    }
    if (stop_req) return false;
    if (c.broken) return refused(c.reason());
    set_label(label);

    const int frames = period_frames();
    std::vector<short> period(static_cast<size_t>(frames) * channels);
    const size_t bytes = period.size() * sizeof(short);
    report_running();
    // A period is written whole once the server has room for it, as many back to back as it
    // has room for; the loop sleeps only in between.
    while (!stop_req) {
        if (c.broken) {
            set_error("Ausgabe abgebrochen: " + c.reason());
            break;
        }
        if (c.writable < bytes) {
            if (!c.turn()) {
                set_error(std::string("Ausgabe abgebrochen: ") + pa_strerror(PA_ERR_INTERNAL));
                break;
            }
            continue;
        }
        if (!fill_period(period, frames)) break;
        if (pa_stream_write(c.stream, period.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            set_error("Ausgabe abgebrochen: " + c.reason());
            break;
        }
        c.writable -= bytes;
    }
    running = false;
    return true;
}
