// Waiting for a condition that another thread brings about, with a limit instead of a fixed sleep.
#pragma once
#include <chrono>
#include <thread>

namespace testsupport {

// Tests `done` every 10 ms until it holds (true) or `seconds` have passed (false).
template <typename Pred>
bool poll_until(Pred done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace testsupport
