#include "support/mp3_fixture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

#include "support/run_program.h"

namespace testsupport {

namespace {

double amplitude(double peak_dbfs) { return 32767.0 * std::pow(10.0, peak_dbfs / 20.0); }

// One value per frame from `wave(frame index)`, copied to every channel.
template <typename Wave>
Pcm synthesise(int rate, int channels, double seconds, Wave wave) {
    Pcm pcm;
    pcm.rate = rate;
    pcm.channels = channels;
    const int64_t frames = static_cast<int64_t>(std::llround(seconds * rate));
    pcm.samples.reserve(static_cast<size_t>(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        double v = std::lround(wave(i));
        auto s = static_cast<int16_t>(std::max(-32768.0, std::min(32767.0, v)));
        for (int c = 0; c < channels; ++c) pcm.samples.push_back(s);
    }
    return pcm;
}

void put_le(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

std::string sample_bytes(const Pcm& pcm) {
    std::string out;
    out.reserve(pcm.samples.size() * 2);
    for (int16_t s : pcm.samples) put_le(out, static_cast<uint16_t>(s), 2);
    return out;
}

std::string write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
}

}  // namespace

Pcm sine(int rate, int channels, double seconds, double freq_hz, double peak_dbfs) {
    const double a = amplitude(peak_dbfs), w = 2 * M_PI * freq_hz / rate;
    return synthesise(rate, channels, seconds, [=](int64_t i) { return a * std::sin(w * i); });
}

Pcm square(int rate, int channels, double seconds, double freq_hz, double peak_dbfs) {
    // Full scale reaches -32768 on the low half, as real clipped recordings do.
    const double a = amplitude(peak_dbfs), half = rate / (2.0 * freq_hz);
    return synthesise(rate, channels, seconds, [=](int64_t i) {
        return static_cast<int64_t>(i / half) % 2 == 0 ? a : -a - (a >= 32767 ? 1 : 0);
    });
}

Pcm noise(int rate, int channels, double seconds, double peak_dbfs, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    const double a = amplitude(peak_dbfs);
    return synthesise(rate, channels, seconds, [&](int64_t) { return a * dist(gen); });
}

Pcm silence(int rate, int channels, double seconds) {
    return synthesise(rate, channels, seconds, [](int64_t) { return 0.0; });
}

Pcm stereo(const Pcm& left, const Pcm& right) {
    if (left.channels != 1 || right.channels != 1 || left.rate != right.rate ||
        left.samples.size() != right.samples.size())
        throw std::invalid_argument("stereo needs two mono signals of one length and rate");
    Pcm pcm;
    pcm.rate = left.rate;
    pcm.channels = 2;
    for (size_t i = 0; i < left.samples.size(); ++i) {
        pcm.samples.push_back(left.samples[i]);
        pcm.samples.push_back(right.samples[i]);
    }
    return pcm;
}

void append(Pcm& pcm, const Pcm& more) {
    if (pcm.rate != more.rate || pcm.channels != more.channels)
        throw std::invalid_argument("append needs the same rate and channel count");
    pcm.samples.insert(pcm.samples.end(), more.samples.begin(), more.samples.end());
}

std::string write_wav(const Pcm& pcm, const std::string& path) {
    const std::string data = sample_bytes(pcm);
    std::string out = "RIFF";
    put_le(out, static_cast<uint32_t>(36 + data.size()), 4);
    out += "WAVEfmt ";
    put_le(out, 16, 4);
    put_le(out, 1, 2);  // PCM
    put_le(out, static_cast<uint32_t>(pcm.channels), 2);
    put_le(out, static_cast<uint32_t>(pcm.rate), 4);
    put_le(out, static_cast<uint32_t>(pcm.rate * pcm.channels * 2), 4);
    put_le(out, static_cast<uint32_t>(pcm.channels * 2), 2);
    put_le(out, 16, 2);
    out += "data";
    put_le(out, static_cast<uint32_t>(data.size()), 4);
    return write_bytes(path, out + data);
}

std::string write_raw(const Pcm& pcm, const std::string& path) {
    return write_bytes(path, sample_bytes(pcm));
}

std::string encode_mp3(const Pcm& pcm, const std::string& path,
                       const std::vector<std::string>& lame_options) {
    const std::string wav = write_wav(pcm, path + ".wav");
    std::vector<std::string> argv{"lame", "--quiet"};
    argv.insert(argv.end(), lame_options.begin(), lame_options.end());
    argv.push_back(wav);
    argv.push_back(path);
    RunResult r = run(argv);
    std::remove(wav.c_str());
    if (r.exit_code != 0) {
        std::fprintf(stderr, "lame failed (%d): %s\n", r.exit_code, r.err.c_str());
        return "";
    }
    return path;
}

double rms_dbfs(const int16_t* samples, size_t count) {
    if (count == 0) return -120.0;
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += (samples[i] / 32768.0) * (samples[i] / 32768.0);
    double rms = std::sqrt(sum / count);
    return rms <= 1e-6 ? -120.0 : 20 * std::log10(rms);
}

double rms_dbfs(const std::vector<int16_t>& samples) { return rms_dbfs(samples.data(), samples.size()); }

int peak_abs(const int16_t* samples, size_t count) {
    int peak = 0;
    for (size_t i = 0; i < count; ++i) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    return peak;
}

}  // namespace testsupport
