// The ALSA back end of the output thread: blocking writes of one period at a time.
#include <alsa/asoundlib.h>

#include <memory>

#include "audio/audio_impl.h"
#include "audio/device_names.h"
#include "system/logger.h"

namespace {

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const {
        snd_pcm_drop(pcm);
        snd_pcm_close(pcm);
    }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

std::string err_text(const char* prefix, int code) {
    return std::string(prefix) + ": " + snd_strerror(code);
}

Pcm open_pcm(const std::string& name, int& code) {
    snd_pcm_t* pcm = nullptr;
    code = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    return Pcm(code < 0 ? nullptr : pcm);
}

// Applies the stream's parameters; each single setting may be refused, only the whole set counts.
// A device that ends up with another sample layout than the one we write is refused as well:
// writing our periods to it would read past them.
int configure(snd_pcm_t* pcm, int rate, int channels, int period_frames,
              snd_pcm_uframes_t& period) {
    snd_pcm_hw_params_t* params;
    snd_pcm_hw_params_alloca(&params);
    snd_pcm_hw_params_any(pcm, params);
    snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S16_LE);
    snd_pcm_hw_params_set_channels(pcm, params, static_cast<unsigned>(channels));
    unsigned granted_rate = static_cast<unsigned>(rate);
    snd_pcm_hw_params_set_rate_near(pcm, params, &granted_rate, nullptr);
    period = static_cast<snd_pcm_uframes_t>(period_frames);
    snd_pcm_hw_params_set_period_size_near(pcm, params, &period, nullptr);
    snd_pcm_uframes_t buffer = 8 * static_cast<snd_pcm_uframes_t>(period_frames);
    snd_pcm_hw_params_set_buffer_size_near(pcm, params, &buffer);
    int code = snd_pcm_hw_params(pcm, params);
    if (code < 0) return code;
    unsigned granted_channels = 0;
    snd_pcm_format_t granted_format = SND_PCM_FORMAT_UNKNOWN;
    snd_pcm_hw_params_get_channels(params, &granted_channels);
    snd_pcm_hw_params_get_format(params, &granted_format);
    snd_pcm_hw_params_get_period_size(params, &period, nullptr);
    bool same_layout = granted_channels == static_cast<unsigned>(channels) &&
                       granted_format == SND_PCM_FORMAT_S16_LE;
    return same_layout && period > 0 ? 0 : -EINVAL;
}

std::string label_for(snd_pcm_t* pcm, const std::string& name) {
    std::string label = device_names::server_name_for(name);
    if (!label.empty()) return label;
    snd_pcm_info_t* info;
    snd_pcm_info_alloca(&info);
    if (snd_pcm_info(pcm, info) == 0) {
        const char* own = snd_pcm_info_get_name(info);
        if (own && *own) return own;
    }
    return name;
}

}  // namespace

void AudioOut::Session::run_alsa(const std::string& requested) {
    std::string name = requested;
    int code = 0;
    Pcm pcm = open_pcm(name, code);
    if (!pcm && name != "default" && !stop_req) {
        logger::warn("Gewaehltes Ausgabegeraet nicht da (" + name + ") — Standardgeraet");
        name = "default";
        pcm = open_pcm(name, code);
    }
    if (!pcm) {
        set_error(err_text("Ausgabegeraet", code));
        return;
    }
    snd_pcm_uframes_t frames = 0;
    code = configure(pcm.get(), rate, channels, period_frames(), frames);
    if (code < 0) {
        set_error(err_text("Ausgabeformat", code));
        return;
    }
    set_label(label_for(pcm.get(), name));

    std::vector<short> period(frames * static_cast<size_t>(channels));
    report_running();
    while (fill_period(period, static_cast<int>(frames))) {
        snd_pcm_sframes_t written = snd_pcm_writei(pcm.get(), period.data(), frames);
        if (written >= 0) continue;  // a short write is not repeated
        code = snd_pcm_recover(pcm.get(), static_cast<int>(written), 1);
        if (code < 0) {
            set_error(err_text("Ausgabe abgebrochen", code));
            break;
        }
    }
    running = false;
}
