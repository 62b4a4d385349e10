// Decode and level speed, the way the decode thread works a track.
//
//   bench_decode pcm <seconds>   writes synthesised music-like raw s16le 44100 Hz stereo to
//                                stdout, for lame to encode
//   bench_decode <file.mp3>      decodes the file through Mp3Stream and Leveler in blocks of a
//                                tenth of a second and prints the CPU time it took; the last
//                                line is realtime_factor=N (seconds of audio per CPU second)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "bench/cpu_time.h"
#include "playback/leveler.h"
#include "playback/mp3.h"

namespace {

constexpr int kRate = 44100;
constexpr int kFrameRoom = 1152;  // the most frames one MPEG frame yields

// A steady tone would let the encoder spend few bits on it, and a quiet one would leave the
// leveler's limiter idle; a chord whose loudness wanders over some 30 dB, over a noise floor,
// keeps both the Huffman decoder and every part of the leveler busy.
int write_pcm(double seconds) {
    const double partials[] = {110.0, 164.8, 220.0, 277.2, 329.6, 440.0, 659.3, 1318.5, 2637.0};
    std::mt19937 gen(1);
    std::normal_distribution<double> noise(0.0, 300.0);
    const long frames = static_cast<long>(seconds * kRate);
    std::vector<int16_t> block(2 * 4410);
    for (long done = 0; done < frames;) {
        const long n = std::min<long>(4410, frames - done);
        for (long i = 0; i < n; ++i) {
            const double t = static_cast<double>(done + i) / kRate;
            // Loudness from about -34 to -4 dBFS, cycling every 40 s.
            const double level = std::pow(10.0, (-19.0 + 15.0 * std::sin(2 * M_PI * t / 40)) / 20);
            double left = 0, right = 0;
            for (size_t p = 0; p < sizeof partials / sizeof partials[0]; ++p) {
                const double v = std::sin(2 * M_PI * partials[p] * t + p) / (p + 1);
                left += v;
                right += p % 2 ? -v : v;
            }
            auto sample = [](double x) {
                return static_cast<int16_t>(std::lround(std::max(-32768.0, std::min(32767.0, x))));
            };
            block[2 * i] = sample(left * level * 12000 + noise(gen));
            block[2 * i + 1] = sample(right * level * 12000 + noise(gen));
        }
        if (std::fwrite(block.data(), sizeof(int16_t) * 2, n, stdout) != static_cast<size_t>(n))
            return 2;
        done += n;
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}

int decode(const std::string& path) {
    const double start = cpu_time::process();
    Mp3Stream stream;
    if (!stream.open(path)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 2;
    }
    // The player levels under its status lock; an uncontended lock per block is part of its cost.
    std::mutex status_lock;
    Leveler leveler;
    leveler.prepare(stream.hz, stream.channels);
    leveler.new_track();
    const int n = std::max(stream.hz / 10, kFrameRoom);
    std::vector<int16_t> block(static_cast<size_t>(n + kFrameRoom) * stream.channels);
    int64_t frames = 0;
    double levelling = 0;
    for (int got; (got = stream.read(block.data(), n)) > 0;) {
        frames += got;
        const double before = cpu_time::thread();
        {
            std::lock_guard<std::mutex> hold(status_lock);
            leveler.process(block.data(), got, 0.8f);
        }
        levelling += cpu_time::thread() - before;
    }
    const double cpu = cpu_time::process() - start;
    const double audio = static_cast<double>(frames) / stream.hz;
    std::printf("decoded %.1f s of audio (%d Hz, %d channels, %lld frames) in %.3f s of CPU, "
                "%.3f s of it levelling\n",
                audio, stream.hz, stream.channels, static_cast<long long>(frames), cpu, levelling);
    std::printf("levels at the end: in %.1f dBFS, out %.1f dBFS, gain %.1f dB\n", leveler.in_db,
                leveler.out_db, leveler.gain_db);
    if (cpu <= 0 || frames == 0) return 2;
    std::printf("realtime_factor=%.1f\n", audio / cpu);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "pcm") return write_pcm(std::atof(argv[2]));
    if (argc == 2) return decode(argv[1]);
    std::fprintf(stderr, "usage: bench_decode pcm <seconds> | bench_decode <file.mp3>\n");
    return 2;
}
