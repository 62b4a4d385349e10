// Benchmark harness for new recordings joining a large pool while it plays.
//
//   bench_watch make <dir> <file.mp3>       a pool of 100,000 links to one real file, 100 in
//                                           each of 1,000 folders
//   bench_watch join <dir> <file.mp3> <sink> plays the pool on "pulse:<sink>", then copies
//                                           1,000 files into its folders, one every 50 ms, and
//                                           reports when each joined the pool (median and
//                                           maximum; target 2 s) and the player's CPU time
//                                           meanwhile over as long a stretch of playing without
//                                           changes (target: at most 5 % of one core more)
//   bench_watch memory <dir>                the memory that watches of the pool's 1,000 folders
//                                           take: the program's heap and the kernel's slab
//                                           (target: under 2 MB together)
//
// Exit status 0 when the targets are met, 1 when not, 2 when it could not measure.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/cpu_time.h"
#include "bench/pool_player.h"
#include "core/fileio.h"
#include "core/watcher.h"
#include "playback/player.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFolders = 1000, kPerFolder = 100, kCopies = 1000;
constexpr auto kEvery = std::chrono::milliseconds(50);

std::string folder(const std::string& dir, int d) { return dir + "/d" + std::to_string(d); }

int make_pool(const std::string& dir, const std::string& file) {
    for (int d = 0; d < kFolders; ++d) {
        mkdir(folder(dir, d).c_str(), 0755);
        for (int i = 0; i < kPerFolder; ++i) {
            const std::string link = folder(dir, d) + "/take" + std::to_string(i) + ".mp3";
            if (symlink(file.c_str(), link.c_str()) != 0) {
                std::perror(link.c_str());
                return 2;
            }
        }
    }
    return 0;
}

// The player's CPU seconds over `stretch` while the main thread watches the pool every 5 ms;
// `joined` gets the moment the pool first held more than `base` + k files, for each k.
double play_and_watch(Player& player, Clock::duration stretch, size_t base,
                      std::vector<Clock::time_point>* joined) {
    const double cpu0 = cpu_time::process();
    const auto end = Clock::now() + stretch;
    while (Clock::now() < end) {
        const size_t pool = player.status().pool_size;
        if (joined)
            while (joined->size() < kCopies && pool > base + joined->size()) joined->push_back(Clock::now());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cpu_time::process() - cpu0;
}

int join_while_playing(const std::string& dir, const std::string& file, const std::string& sink) {
    std::string bytes;
    if (!fileio::read_file(file, &bytes)) return 2;
    Player player;
    pool_player::start(player, dir, sink);
    const size_t base = static_cast<size_t>(kFolders) * kPerFolder;
    const auto give_up = Clock::now() + std::chrono::minutes(3);
    while (!(player.status().state == Player::Playing && player.status().pool_size == base)) {
        if (Clock::now() > give_up) {
            std::fprintf(stderr, "the pool never played\n");
            return 2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const auto stretch = kCopies * kEvery + std::chrono::seconds(3);
    const double quiet = play_and_watch(player, stretch, base, nullptr);

    std::vector<Clock::time_point> closed(kCopies);
    std::atomic<double> copier_cpu{0};
    std::thread copier([&] {
        const auto begin = Clock::now();
        for (int i = 0; i < kCopies; ++i) {
            std::this_thread::sleep_until(begin + i * kEvery);
            const std::string path = folder(dir, i * 7 % kFolders) + "/new" + std::to_string(i) + ".mp3";
            std::ofstream(path, std::ios::binary) << bytes;
            closed[i] = Clock::now();
        }
        copier_cpu = cpu_time::thread();
    });
    std::vector<Clock::time_point> joined;
    const double busy = play_and_watch(player, stretch, base, &joined) - copier_cpu;
    copier.join();
    player.stop();
    if (joined.size() < kCopies) {
        std::printf("only %zu of %d copies joined\n", joined.size(), kCopies);
        return 1;
    }
    std::vector<double> took;
    for (int i = 0; i < kCopies; ++i)
        took.push_back(std::chrono::duration<double>(joined[i] - closed[i]).count());
    std::sort(took.begin(), took.end());
    const double seconds = std::chrono::duration<double>(stretch).count();
    const double extra = (busy - quiet) / seconds * 100;
    std::printf("join of %d copies into a pool of %zu: median %.2f s, maximum %.2f s (target 2 s)\n",
                kCopies, base, took[kCopies / 2], took.back());
    std::printf("player CPU over %.0f s: %.2f s playing alone, %.2f s with the copies: "
                "%+.1f %% of one core (target <= 5 %%)\n", seconds, quiet, busy, extra);
    return took.back() <= 2.0 && extra <= 5.0 ? 0 : 1;
}

long slab_kb() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    long value = 0, total = 0;
    std::string unit;
    while (meminfo >> key >> value >> unit)
        if (key == "Slab:") total = value;
    return total;
}

// Slab is the whole system's, so the figure is the median of several rounds of watching.
int watch_memory(const std::string& dir) {
    std::vector<long> heap, slab;
    size_t watches = 0;
    for (int round = 0; round < 5; ++round) {
        const size_t heap0 = mallinfo2().uordblks;
        const long slab0 = slab_kb();
        {
            watcher::Watcher w;
            w.open({});
            FilterSet rules;
            rules.root = dir;
            w.begin(rules);
            w.watch(dir);
            for (int d = 0; d < kFolders; ++d) w.watch(folder(dir, d));
            w.sweep();
            watches = w.watches();
            heap.push_back(static_cast<long>(mallinfo2().uordblks - heap0));
            slab.push_back((slab_kb() - slab0) * 1024);
        }
    }
    std::sort(heap.begin(), heap.end());
    std::sort(slab.begin(), slab.end());
    const long h = heap[2], k = std::max(0L, slab[2]);
    std::printf("memory for %zu watches: %.2f MB heap + %.2f MB kernel slab = %.2f MB (target < 2 MB)\n",
                watches, h / 1048576.0, k / 1048576.0, (h + k) / 1048576.0);
    if (watches != kFolders + 1u) return 2;
    return h + k < 2 * 1048576 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 3 && a[0] == "make") return make_pool(a[1], a[2]);
    if (a.size() == 4 && a[0] == "join") return join_while_playing(a[1], a[2], a[3]);
    if (a.size() == 2 && a[0] == "memory") return watch_memory(a[1]);
    std::fprintf(stderr, "usage: bench_watch make <dir> <file> | join <dir> <file> <sink> | memory <dir>\n");
    return 2;
}
