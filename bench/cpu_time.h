// CPU time as the benchmark harnesses measure it: user plus system seconds.
#pragma once
#include <sys/resource.h>
#include <time.h>

namespace cpu_time {

inline double seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

// Of one getrusage or wait4 record.
inline double of(const rusage& use) { return seconds(use.ru_utime) + seconds(use.ru_stime); }

// Of this process so far, all threads.
inline double process() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return of(use);
}

// Of the calling thread so far; finer than getrusage's microseconds of ticks.
inline double thread() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

}  // namespace cpu_time
