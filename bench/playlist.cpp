// Playlist speed on large pools.
//
//   bench_playlist [trials]
//
// 1. `next` at pools of 1,000 to 1,000,000 files, in name order and shuffled: the mean time of
//    a call inside a round, and of the call that begins a new round (it draws the new order).
//    Constant time means the first figure, in name order, stays flat as the pool grows a
//    thousandfold.
// 2. `refresh` of a 1,000,000-file pool half-way through a round, shuffled and in name order,
//    with a new scan in which 1 % of the files are gone and 1 % are new. Target: under 0.5 s
//    of CPU, worst of the trials.
// Exit status 0 when both targets are met, 1 otherwise.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/cpu_time.h"
#include "playback/playlist.h"

namespace {

constexpr size_t kBigPool = 1000000;
constexpr double kRefreshTarget = 0.5;  // seconds
// Walking memory in sequence, a call on a pool a thousand times larger does the same work; growth
// beyond this factor means it does work that depends on the pool.
constexpr double kFlatFactor = 3.0;

struct Times {
    double cpu = 0;   // this thread's CPU seconds
    double wall = 0;  // seconds
};

class Stopwatch {
public:
    Stopwatch() : cpu_(cpu_time::thread()), wall_(std::chrono::steady_clock::now()) {}
    Times read() const {
        const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall_;
        return {cpu_time::thread() - cpu_, wall.count()};
    }

private:
    double cpu_;
    std::chrono::steady_clock::time_point wall_;
};

// Files numbered first .. first + count - 1, a thousand to a folder, with names of a realistic
// length (beyond the short-string buffer), made in the order the scanner would deliver them:
// in name order, or, as directory order is on common file systems, in a hash order that a
// fixed shuffle stands in for. Records and their strings lie in memory in that order.
std::vector<MediaFile> make_pool(size_t first, size_t count, bool name_order) {
    std::vector<size_t> numbers(count);
    std::iota(numbers.begin(), numbers.end(), first);
    if (!name_order) std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
    std::vector<MediaFile> pool(count);
    char name[64], folder[64];
    for (size_t i = 0; i < count; ++i) {
        const size_t k = numbers[i];
        std::snprintf(folder, sizeof folder, "/home/anna/Aufnahmen/Kanal %02zu/%04zu", k / 150000,
                      k / 1000);
        std::snprintf(name, sizeof name, "Aufnahme %07zu 2024-05-03.mp3", k);
        pool[i].name = name;
        pool[i].path = std::string(folder) + "/" + name;
        pool[i].size = 4096 + static_cast<int64_t>(k % 977) * 1024;
        pool[i].time = 1714730400 + static_cast<int64_t>(k);
    }
    return pool;
}

struct NextCost {
    double in_round_ns = 0;     // mean per call inside a round
    double round_start_us = 0;  // mean per call that begins a round
    long round_starts = 0;
};

// Calls next as the decode thread does, into a fresh record each time; timed in stretches
// between round boundaries so that the two kinds of call are told apart.
NextCost time_next(std::vector<MediaFile> pool, bool shuffle, long calls) {
    Playlist list;
    list.set_shuffle(shuffle);
    list.refresh(std::move(pool));
    NextCost cost;
    long timed = 0;
    double in_round = 0, starts = 0;
    while (timed < calls) {
        const long left = static_cast<long>(list.remaining_in_round());
        if (left == 0) {
            Stopwatch watch;
            MediaFile file;
            list.next(&file);
            starts += watch.read().cpu;
            ++cost.round_starts;
            continue;
        }
        const long stretch = std::min(left, calls - timed);
        Stopwatch watch;
        for (long i = 0; i < stretch; ++i) {
            MediaFile file;
            list.next(&file);
        }
        in_round += watch.read().cpu;
        timed += stretch;
    }
    cost.in_round_ns = in_round / static_cast<double>(timed) * 1e9;
    if (cost.round_starts > 0) cost.round_start_us = starts / cost.round_starts * 1e6;
    return cost;
}

// One refresh of the new scan into a round of the old pool that is half played.
Times time_refresh(const std::vector<MediaFile>& old_pool, const std::vector<MediaFile>& new_pool,
                   bool shuffle) {
    Playlist list;
    list.set_shuffle(shuffle);
    list.refresh(old_pool);
    for (size_t i = 0; i < old_pool.size() / 2; ++i) list.next(nullptr);
    std::vector<MediaFile> scan = new_pool;  // the scan thread hands its result over
    Stopwatch watch;
    list.refresh(std::move(scan));
    Times took = watch.read();
    if (list.round_position() == 0 || list.size() != new_pool.size()) {
        std::fprintf(stderr, "refresh lost the round\n");
        std::exit(2);
    }
    return took;
}

}  // namespace

int main(int argc, char** argv) {
    const int trials = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const long calls = 2 * static_cast<long>(kBigPool);  // two rounds at the largest pool

    // In name order over a pool delivered in name order, the calls walk memory in sequence, so
    // their time is their own work; shuffled, each call also waits for memory at random places,
    // which costs more the further the pool outgrows the caches.
    double smallest_ns = 0, largest_ns = 0;
    std::printf("next, %ld calls per pool (ns per call in a round; us per call that begins a "
                "round):\n", calls);
    for (size_t n = 1000; n <= kBigPool; n *= 10) {
        const NextCost ordered = time_next(make_pool(0, n, true), false, calls);
        const NextCost shuffled = time_next(make_pool(0, n, false), true, calls);
        std::printf("  pool %7zu: name order %4.0f ns, %8.1f us; shuffled %4.0f ns, %8.1f us\n", n,
                    ordered.in_round_ns, ordered.round_start_us, shuffled.in_round_ns,
                    shuffled.round_start_us);
        if (n == 1000) smallest_ns = ordered.in_round_ns;
        largest_ns = ordered.in_round_ns;
    }
    const double growth = largest_ns / smallest_ns;
    const bool flat = growth <= kFlatFactor;
    std::printf("next in name order at 1,000,000 against 1,000: x%.2f (constant if at most x%.1f): "
                "%s\n", growth, kFlatFactor, flat ? "met" : "missed");
    bool met = flat;

    const std::vector<MediaFile> old_scan = make_pool(0, kBigPool, false);
    const std::vector<MediaFile> new_scan = make_pool(kBigPool / 100, kBigPool, false);
    for (bool shuffle : {true, false}) {
        double worst_cpu = 0, worst_wall = 0;
        for (int t = 0; t < trials; ++t) {
            Times took = time_refresh(old_scan, new_scan, shuffle);
            worst_cpu = std::max(worst_cpu, took.cpu);
            worst_wall = std::max(worst_wall, took.wall);
        }
        const bool fast = worst_cpu < kRefreshTarget;
        std::printf("refresh of 1,000,000 files half-way through a %s round: %.3f s CPU, %.3f s "
                    "wall (worst of %d; target < %.1f s): %s\n",
                    shuffle ? "shuffled" : "name-order", worst_cpu, worst_wall, trials,
                    kRefreshTarget, fast ? "met" : "missed");
        met = met && fast;
    }
    return met ? 0 : 1;
}
