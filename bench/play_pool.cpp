// Benchmark harness for playing from a large pool.
//
//   bench_play_pool tone <file.raw> <seconds>       a steady 440 Hz sine at -20 dBFS RMS, raw
//                                                   s16le 48000 Hz stereo, for lame to encode
//   bench_play_pool make <dir> <file.mp3> <count>   a pool of <count> links to one real file,
//                                                   1000 per subfolder
//   bench_play_pool rescan <dir> <sink>             plays the pool on "pulse:<sink>", rescans it
//                                                   while playing and reports the longest silence
//                                                   recorded from the sink's monitor meanwhile
//   bench_play_pool cpu <program> [args...]         runs the program with its output discarded
//                                                   and prints its user + system CPU seconds to
//                                                   the microsecond (time(1) gives hundredths,
//                                                   too coarse for the tenth of a second mpg123
//                                                   needs for 20 s)
//
// The rescan run ends with status 0 when the output had no gap (no ring underrun) during the
// rescan, 1 when it had one, 2 when it could not measure.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/cpu_time.h"
#include "bench/pool_player.h"
#include "playback/player.h"

namespace {

using Clock = std::chrono::steady_clock;
const int kRate = 48000;

int write_tone(const std::string& path, double seconds) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 2;
    const double amplitude = 32767 * std::pow(10, -17 / 20.0);
    const long frames = static_cast<long>(seconds * kRate);
    for (long i = 0; i < frames; ++i) {
        const double phase = 2 * M_PI * 440.0 * i / kRate;
        short v = static_cast<short>(std::lround(amplitude * std::sin(phase)));
        short frame[2] = {v, v};
        std::fwrite(frame, sizeof frame, 1, f);
    }
    return std::fclose(f) == 0 ? 0 : 2;
}

int make_pool(const std::string& dir, const std::string& file, long count) {
    for (long i = 0; i < count; ++i) {
        const std::string sub = dir + "/d" + std::to_string(i / 1000);
        if (i % 1000 == 0) mkdir(sub.c_str(), 0755);
        const std::string link = sub + "/take" + std::to_string(i) + ".mp3";
        if (symlink(file.c_str(), link.c_str()) != 0) {
            std::perror(link.c_str());
            return 2;
        }
    }
    return 0;
}

// The sink's monitor as it is recorded, frame by frame (left channel kept).
class Recorder {
public:
    explicit Recorder(const std::string& sink) {
        const std::string cmd = "parec --raw --format=s16le --rate=48000 --channels=2 -d " +
                                sink + ".monitor 2>/dev/null";
        pipe_ = popen(cmd.c_str(), "r");
        if (pipe_) reader_ = std::thread([this] { read_all(); });
    }
    ~Recorder() {
        if (!pipe_) return;
        done_ = true;
        reader_.join();
        pclose(pipe_);
    }
    bool ok() const { return pipe_ != nullptr; }
    size_t frames() {
        std::lock_guard<std::mutex> lock(mutex_);
        return left_.size();
    }
    // Longest run of near-silent frames in [from, to).
    size_t longest_silence(size_t from, size_t to) {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t run = 0, longest = 0;
        for (size_t i = from; i < to && i < left_.size(); ++i) {
            run = std::abs(left_[i]) < 100 ? run + 1 : 0;
            if (run > longest) longest = run;
        }
        return longest;
    }

private:
    void read_all() {
        short frame[2 * 480];
        while (!done_) {
            size_t n = std::fread(frame, sizeof(short) * 2, 480, pipe_);
            if (n == 0) break;
            std::lock_guard<std::mutex> lock(mutex_);
            for (size_t i = 0; i < n; ++i) left_.push_back(frame[2 * i]);
        }
    }

    FILE* pipe_ = nullptr;
    std::thread reader_;
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    std::vector<short> left_;
};

bool wait_for(Player& player, bool (*done)(const Player::Status&), double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (done(player.status())) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

int rescan_while_playing(const std::string& dir, const std::string& sink) {
    Recorder rec(sink);
    if (!rec.ok()) return 2;
    Player player;
    pool_player::start(player, dir, sink);
    auto playing = [](const Player::Status& s) { return s.state == Player::Playing; };
    if (!wait_for(player, playing, 120)) {
        std::fprintf(stderr, "never started playing\n");
        return 2;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));  // past the start of the track
    const size_t from = rec.frames();
    const int64_t scans_before = player.status().last_scan;
    const auto begin = Clock::now();
    player.rescan();
    // The first scan ended seconds ago, so the end of this one shows as a new last_scan.
    const auto give_up = begin + std::chrono::minutes(2);
    while (player.status().last_scan == scans_before && Clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double took = std::chrono::duration<double>(Clock::now() - begin).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const size_t to = rec.frames();
    const Player::Status s = player.status();
    player.stop();
    const double gap_ms = rec.longest_silence(from, to) * 1000.0 / kRate;
    std::printf("rescan of %zu files while playing: %.2f s, longest silence %.1f ms "
                "(%zu frames recorded)\n", s.pool_size, took, gap_ms, to - from);
    if (to - from < static_cast<size_t>(took * kRate)) return 2;  // the recording fell behind
    return gap_ms < 5.0 ? 0 : 1;
}

int cpu_seconds(char** argv) {
    const pid_t pid = fork();
    if (pid < 0) return 2;
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage use{};
    if (wait4(pid, &status, 0, &use) != pid) return 2;
    std::printf("%.4f\n", cpu_time::of(use));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 3 && a[0] == "tone") return write_tone(a[1], std::atof(a[2].c_str()));
    if (a.size() == 4 && a[0] == "make") return make_pool(a[1], a[2], std::atol(a[3].c_str()));
    if (a.size() == 3 && a[0] == "rescan") return rescan_while_playing(a[1], a[2]);
    if (a.size() >= 2 && a[0] == "cpu") return cpu_seconds(argv + 2);
    std::fprintf(stderr, "usage: bench_play_pool tone <file> <seconds> | "
                         "make <dir> <file> <count> | rescan <dir> <sink> | cpu <program> [args...]\n");
    return 2;
}
