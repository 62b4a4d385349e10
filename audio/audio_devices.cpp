// The device list: PulseAudio sinks when a server answers, else the ALSA PCM hints; and the
// process-wide cache of display names that every successful PulseAudio query refreshes.
#include <alsa/asoundlib.h>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "audio/audio_out.h"
#include "audio/device_names.h"

namespace {

using Device = AudioOut::Device;
using Clock = std::chrono::steady_clock;

constexpr auto kQueryLimit = std::chrono::seconds(2);
constexpr auto kQueryPoll = std::chrono::milliseconds(2);
const char* const kSkippedPrefixes[] = {"hw:", "surround", "dmix", "dsnoop", "hdmi:"};

std::mutex g_names_m;
std::map<std::string, std::string> g_names;
std::string g_default_name;
bool g_queried = false;

// One query's main loop and context, released in reverse order of creation.
struct PulseSession {
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    PulseSession() = default;
    PulseSession(const PulseSession&) = delete;
    PulseSession& operator=(const PulseSession&) = delete;
    ~PulseSession() {
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop) pa_mainloop_free(loop);
    }
};

struct SinkQuery {
    int pending = 0;
    std::string default_sink;
    std::vector<Device> sinks;
};

void on_server_info(pa_context*, const pa_server_info* info, void* data) {
    auto* query = static_cast<SinkQuery*>(data);
    if (info && info->default_sink_name) query->default_sink = info->default_sink_name;
    --query->pending;
}

void on_sink_info(pa_context*, const pa_sink_info* info, int eol, void* data) {
    auto* query = static_cast<SinkQuery*>(data);
    if (eol != 0) {
        --query->pending;
        return;
    }
    if (!info || !info->name) return;
    bool described = info->description && *info->description;
    query->sinks.push_back({std::string("pulse:") + info->name,
                            described ? info->description : info->name, false});
}

// Issues one request; one that cannot be issued counts as answered.
void ask(pa_operation* op, SinkQuery& query) {
    if (op)
        pa_operation_unref(op);
    else
        --query.pending;
}

// Polls the server for its default sink and its sinks; false when it did not answer in time.
bool query_server(SinkQuery& query) {
    PulseSession session;
    session.loop = pa_mainloop_new();
    if (!session.loop) return false;
    session.context = pa_context_new(pa_mainloop_get_api(session.loop), "Quavermill");
    if (!session.context) return false;
    if (pa_context_connect(session.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;

    bool asked = false;
    const auto deadline = Clock::now() + kQueryLimit;
    while (Clock::now() < deadline) {
        pa_mainloop_iterate(session.loop, 0, nullptr);
        pa_context_state_t state = pa_context_get_state(session.context);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) return false;
        if (state == PA_CONTEXT_READY && !asked) {
            asked = true;
            query.pending = 2;
            ask(pa_context_get_server_info(session.context, on_server_info, &query), query);
            ask(pa_context_get_sink_info_list(session.context, on_sink_info, &query), query);
        }
        if (asked && query.pending < 1) return true;
        std::this_thread::sleep_for(kQueryPoll);
    }
    return false;
}

bool pulse_devices(std::vector<Device>& out) {
    SinkQuery query;
    if (!query_server(query) || query.sinks.empty()) return false;
    std::string default_name;
    for (Device& d : query.sinks) {
        d.is_default = d.id == "pulse:" + query.default_sink;
        if (d.is_default) default_name = d.name;
    }
    std::lock_guard<std::mutex> lock(g_names_m);
    g_queried = true;
    g_names.clear();
    for (const Device& d : query.sinks) g_names[d.id] = d.name;
    g_default_name = default_name;
    out = std::move(query.sinks);
    return true;
}

bool skipped_hint(const char* name, const char* ioid) {
    if (ioid && std::string(ioid) != "Output") return true;
    if (!name) return true;
    std::string n(name);
    if (n == "null") return true;
    for (const char* prefix : kSkippedPrefixes)
        if (n.rfind(prefix, 0) == 0) return true;
    return false;
}

struct HintStrings {
    char* name;
    char* desc;
    char* ioid;
    explicit HintStrings(const void* hint)
        : name(snd_device_name_get_hint(hint, "NAME")),
          desc(snd_device_name_get_hint(hint, "DESC")),
          ioid(snd_device_name_get_hint(hint, "IOID")) {}
    HintStrings(const HintStrings&) = delete;
    HintStrings& operator=(const HintStrings&) = delete;
    ~HintStrings() {
        std::free(name);
        std::free(desc);
        std::free(ioid);
    }
};

struct HintsFreer {
    void operator()(void** hints) const { snd_device_name_free_hint(hints); }
};

std::vector<Device> alsa_devices() {
    {
        std::lock_guard<std::mutex> lock(g_names_m);
        g_queried = true;
    }
    std::vector<Device> out;
    void** raw = nullptr;
    if (snd_device_name_hint(-1, "pcm", &raw) < 0 || !raw) return out;
    std::unique_ptr<void*, HintsFreer> hints(raw);
    for (void** hint = raw; *hint; ++hint) {
        HintStrings s(*hint);
        if (skipped_hint(s.name, s.ioid)) continue;
        std::string desc = s.desc ? s.desc : s.name;
        std::string name(s.name);
        out.push_back({name, desc.substr(0, desc.find('\n')), name == "default"});
    }
    return out;
}

std::string cached_name_locked(const std::string& id) {
    if (id == "default") return g_default_name;
    auto it = g_names.find(id);
    return it == g_names.end() ? std::string() : it->second;
}

}  // namespace

std::vector<AudioOut::Device> AudioOut::devices() {
    std::vector<Device> list;
    if (pulse_devices(list)) return list;
    return alsa_devices();
}

namespace device_names {

std::string server_name_for(const std::string& id) {
    {
        std::lock_guard<std::mutex> lock(g_names_m);
        if (g_queried) return cached_name_locked(id);
    }
    AudioOut::devices();
    std::lock_guard<std::mutex> lock(g_names_m);
    return cached_name_locked(id);
}

}  // namespace device_names
