// The scan thread: keeps the pool in step with the folder. It scans at start, on request and
// every `rescan_minutes`, tries an unreachable folder again after a pause, and never empties
// the pool because of a folder it cannot reach. Between scans it waits on the folder's watches
// and merges what they report; a walk sets the watches for every folder it opens, so they follow
// the tree as the scanner sees it.
#include <algorithm>
#include <string>

#include "core/timeutil.h"
#include "i18n/i18n.h"
#include "playback/player.h"
#include "system/logger.h"
#include "system/paths.h"

void Player::scan_thread() {
    logger::info("Sucher gestartet");
    watcher_.open(timing_.watch);
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
        watcher_.clear();  // set up again by the walk that finds the folder back
        const std::string folder = i18n::isolate(paths::display(rules.root), i18n::Order::Own);
        fail(Fault::Folder, i18n::T("err_no_dir") + (": " + folder));
        rescan_req_ = true;
        wait_scan(timing_.folder_retry, false);
    }
    watcher_.close();
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
    watcher_.begin(rules);
    std::vector<MediaFile> found = scanner::scan(
        rules, &abort,
        [this](const scanner::Progress& p) {
            std::lock_guard<std::mutex> lock(mutex_);
            status_.progress = p;
        },
        [this](const std::string& folder) { watcher_.watch(folder); });
    if (!running_) return true;  // stopped meanwhile: the result is thrown away
    if (!scanner::directory_exists(rules.root)) return false;
    watcher_.sweep();
    watcher_.hold_back(found, std::chrono::steady_clock::now());
    log_notes();
    logger::info("Durchlauf fertig: " + std::to_string(found.size()) + " Treffer in " +
                 paths::display(rules.root));
    playlist_.refresh(std::move(found));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.last_scan = timeutil::now_unix();
        if (status_.fault == Fault::Folder) status_.fault = Fault::None;
    }
    if (playlist_.size() == 0) set_state(NoFiles, i18n::T("err_no_files"));
    wake_decode();
    return true;
}

// Returns when woken, when stopped, when the limit has passed, or when the watches ask for a
// walk; merges what they report meanwhile. With `follow_interval` the limit is the rescan
// interval as it stands at each check (none when it is below one minute), so a changed setting
// counts from the start of the wait.
void Player::wait_scan(std::chrono::milliseconds limit, bool follow_interval) {
    using clock = std::chrono::steady_clock;
    const auto begin = clock::now();
    for (;;) {
        if (!running_ || scan_woken_.exchange(false)) return;
        auto now = clock::now();
        watcher::Changes changes = watcher_.take(now);
        log_notes();
        if (changes.walk) return;
        if (!changes.empty()) merge_changes(changes);
        clock::time_point deadline = clock::time_point::max();
        if (follow_interval) {
            int minutes = rescan_minutes_;
            if (minutes >= 1) deadline = begin + minutes * timing_.minute;
        } else {
            deadline = begin + limit;
        }
        now = clock::now();
        if (now >= deadline) return;
        // Slices keep the wait timed and let a new interval take effect.
        watcher_.wait(std::min({deadline, watcher_.next_due(), now + kIntervalSeen}));
    }
}

// The pool is not walked again: the changes go into the round as a rescan's result would.
void Player::merge_changes(watcher::Changes& changes) {
    const size_t arrived = changes.arrived.size();
    playlist_.amend(std::move(changes.arrived), changes.gone);
    const size_t pool = playlist_.size();
    logger::info("Aenderungen im Ordner: " + std::to_string(arrived) + " neu oder geaendert, " +
                 std::to_string(changes.gone.size()) + " weg, " + std::to_string(pool) +
                 " im Vorrat");
    if (pool == 0) set_state(NoFiles, i18n::T("err_no_files"));
    wake_decode();
}

void Player::log_notes() {
    for (const watcher::Note& n : watcher_.take_notes()) {
        switch (n.why) {
        case watcher::Blind::NoInotify:
            logger::warn("Keine Ueberwachung des Ordners moeglich (" + n.detail +
                         "): neue Dateien erst beim naechsten Durchlauf");
            break;
        case watcher::Blind::NetworkFs:
            logger::warn("Netzlaufwerk (" + n.detail +
                         ") ohne Ueberwachung: neue Dateien erst beim naechsten Durchlauf in " +
                         paths::display(n.folder));
            break;
        case watcher::Blind::WatchLimit:
            logger::warn("Grenze der Ueberwachungen erreicht (fs.inotify.max_user_watches = " +
                         n.detail + "): neue Dateien erst beim naechsten Durchlauf ab " +
                         paths::display(n.folder));
            break;
        }
    }
}
