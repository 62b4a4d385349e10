// The scan thread: keeps the pool in step with the folder. It scans at start, on request and
// every `rescan_minutes`, tries an unreachable folder again after a pause, and never empties
// the pool because of a folder it cannot reach.
#include <string>

#include "core/timeutil.h"
#include "i18n/i18n.h"
#include "playback/player.h"
#include "system/logger.h"
#include "system/paths.h"

void Player::scan_thread() {
    logger::info("Sucher gestartet");
    bool unreachable = false;  // logged once when the folder goes, once when it is back
    while (running_) {
        scan_woken_ = false;  // a wake-up before this turn asked for nothing the turn misses
        if (!rescan_req_.exchange(false)) {
            wait_scan(std::chrono::milliseconds(0), true);
            if (!running_) break;
            rescan_req_ = false;  // this scan serves whatever was asked meanwhile
        }
        if (!running_) break;
        FilterSet rules = filters();
        if (rules.root.empty()) {
            set_state(NoFiles, i18n::T("err_no_folder"));
            continue;
        }
        if (scanner::directory_exists(rules.root) && scan_once(rules)) {
            if (unreachable) logger::info("Ordner wieder erreichbar: " + paths::display(rules.root));
            unreachable = false;
            continue;
        }
        if (!unreachable) logger::warn("Ordner nicht erreichbar: " + paths::display(rules.root));
        unreachable = true;
        fail(Fault::Folder, std::string(i18n::T("err_no_dir")) + ": " + paths::display(rules.root));
        rescan_req_ = true;
        wait_scan(timing_.folder_retry, false);
    }
    logger::info("Sucher beendet");
}

// False when the folder went away during the walk: the scanner skips what it cannot open, so
// its result would be a fraction of the pool, or nothing, and would replace a good pool.
bool Player::scan_once(const FilterSet& rules) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.progress = scanner::Progress();
        if (status_.state == Stopped || status_.state == NoFiles || status_.state == Error) {
            status_.state = Scanning;
            status_.fault = Fault::None;
        }
    }
    // Never raised: a scan runs to its end, and stop() waits for it.
    std::atomic<bool> abort{false};
    std::vector<MediaFile> found = scanner::scan(rules, &abort, [this](const scanner::Progress& p) {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.progress = p;
    });
    if (!running_) return true;  // stopped meanwhile: the result is thrown away
    if (!scanner::directory_exists(rules.root)) return false;
    logger::info("Durchlauf fertig: " + std::to_string(found.size()) + " Treffer in " +
                 paths::display(rules.root));
    playlist_.refresh(std::move(found));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.last_scan = timeutil::now_unix();
    }
    if (playlist_.size() == 0) set_state(NoFiles, i18n::T("err_no_files"));
    wake_decode();
    return true;
}

// Returns when woken, when stopped, or when the limit has passed. With `follow_interval` the
// limit is the rescan interval as it stands at each check (none when it is below one minute),
// so a changed setting counts from the start of the wait.
void Player::wait_scan(std::chrono::milliseconds limit, bool follow_interval) {
    using clock = std::chrono::steady_clock;
    const auto begin = clock::now();
    std::unique_lock<std::mutex> lock(scan_mutex_);
    for (;;) {
        if (!running_ || scan_woken_.exchange(false)) return;
        clock::time_point deadline = clock::time_point::max();
        if (follow_interval) {
            int minutes = rescan_minutes_;
            if (minutes >= 1) deadline = begin + minutes * timing_.minute;
        } else {
            deadline = begin + limit;
        }
        auto now = clock::now();
        if (now >= deadline) return;
        // Slices of a second keep the wait timed and let a new interval take effect.
        scan_cv_.wait_until(lock, std::min(deadline, now + std::chrono::seconds(1)));
    }
}
