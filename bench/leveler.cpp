// Level matching plus the output meter, the per-sample work between decoder and output.
//
//   bench_leveler <signal> <seconds> [off]
//       runs <seconds> of 44100 Hz stereo through Leveler and the meter's loop in blocks of a
//       tenth of a second and prints ns_per_frame=N; <signal> is "noise" or a file of at least
//       10 s of raw s16le stereo, looped; "off" switches level matching off
//
// Instructions per frame come from bench_leveler.sh, which runs this under callgrind twice.
#include "playback/leveler.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "playback/sample_kernels.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = kRate / 10;

// Ten seconds of signal, looped: white noise at -6 dBFS, or raw s16le stereo from `path`
// (the music-like signal of bench_decode).
std::vector<short> load_signal(const std::string& path) {
    std::vector<short> pcm(static_cast<size_t>(2) * 10 * kRate);
    if (path == "noise") {
        std::mt19937 gen(1);
        std::uniform_int_distribution<int> white(-16422, 16422);
        for (short& s : pcm) s = static_cast<short>(white(gen));
        return pcm;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    const size_t got = file ? std::fread(pcm.data(), sizeof(short), pcm.size(), file) : 0;
    if (file) std::fclose(file);
    if (got != pcm.size()) pcm.clear();
    return pcm;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kind = argc == 3 || argc == 4 ? argv[1] : "";
    const std::vector<short> signal = load_signal(kind);
    if (signal.empty()) {
        std::fprintf(stderr, "usage: bench_leveler noise|<file.raw> <seconds> [off]\n");
        return 2;
    }
    const long frames = static_cast<long>(std::atof(argv[2]) * kRate);
    std::vector<short> block(2 * kBlock);
    Leveler leveler;
    Leveler::Config config;
    config.on = !(argc == 4 && std::string(argv[3]) == "off");
    leveler.configure(config);
    leveler.prepare(kRate, 2);
    leveler.new_track();
    sample_kernels::Stats meter[2];
    int64_t checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (long done = 0; done < frames; done += kBlock) {
        const size_t from = static_cast<size_t>(done % (signal.size() / 2 / kBlock * kBlock)) * 2;
        std::copy(signal.begin() + from, signal.begin() + from + block.size(), block.begin());
        leveler.process(block.data(), kBlock, 0.8f);
        sample_kernels::measure_stereo(block.data(), kBlock, meter);
        checksum += meter[0].sumsq + meter[1].peak;
    }
    const double ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %ld frames, gain %.1f dB, out %.1f dBFS, checksum %lld\n", kind.c_str(),
                frames, leveler.gain_db, leveler.out_db, static_cast<long long>(checksum));
    std::printf("ns_per_frame=%.2f\n", frames > 0 ? ns / frames : 0.0);
    return 0;
}
