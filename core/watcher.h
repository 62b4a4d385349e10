// Sees files come and go in a folder tree between the walks of the scanner, through inotify.
// Its owner's walk tells it each folder it opens (watch), so the watches cover exactly what the
// scanner reaches, links included; after a complete walk, sweep drops the folders it no longer
// reached. Events are gathered into batches: a batch is due a quarter second after its last event
// or a second after its first, whichever comes sooner, so a burst costs a few merges. A file
// being written is held back until it is closed, or until its size has stayed the same for 2 s.
//
// Thread: one owner thread calls everything except wake(), which any thread may call. The owner
// sleeps in wait(), which returns on an event, a wake() or its deadline.
// Failure: nothing throws. Where the watches cannot see, take_notes() says so once (no inotify,
// a folder on a network file system, the watch limit); the owner's walks stay the only source
// there. A folder that cannot be watched for another reason is left to the walks silently.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/fileio.h"
#include "core/filters.h"
#include "core/scanner.h"

namespace watcher {

using Clock = std::chrono::steady_clock;

enum class Blind { NoInotify, NetworkFs, WatchLimit };

struct Note {
    Blind why;
    std::string folder;  // where it began; "" for NoInotify
    std::string detail;  // the reason (NoInotify), the file system (NetworkFs), the limit (WatchLimit)
};

// One due batch. A walk, when asked for, supersedes the file lists.
struct Changes {
    std::vector<MediaFile> arrived;  // complete files the rules take, new or changed
    std::vector<std::string> gone;   // paths deleted, moved away, or no longer taken
    bool walk = false;               // a folder came or went, or events were lost
    bool empty() const { return arrived.empty() && gone.empty() && !walk; }
};

// The system calls behind the watches; tests replace them to make notification fail.
struct Kernel {
    int (*init)(int flags) = nullptr;                          // null: inotify_init1
    int (*add_watch)(int fd, const char* path, uint32_t mask) = nullptr;  // null: inotify_add_watch
};

class Watcher {
public:
    Watcher();
    ~Watcher();
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Opens the inotify instance (a note when it cannot be); close() drops it with its watches.
    void open(const Kernel& kernel);
    void close();

    // A walk under `rules` begins; the batch gathered so far is left to it.
    void begin(const FilterSet& rules);
    // A folder the walk opened, before it reads the entries.
    void watch(const std::string& folder);
    // After a complete walk: the folders it did not reach are no longer watched.
    void sweep();
    // The tree went away: no watches until the next walk sets them up.
    void clear();

    void wait(Clock::time_point deadline);
    void wake();

    // Reads the events that are there; returns the batch when it is due at `now`, else nothing.
    Changes take(Clock::time_point now);
    // When take() has something to do without a new event; Clock::time_point::max() for never.
    Clock::time_point next_due() const;
    // Drops from a walk's result the files still being written: those seen growing, and in
    // folders new since the last walk those last written under 2 s ago. They join later.
    void hold_back(std::vector<MediaFile>& found, Clock::time_point now);
    std::vector<Note> take_notes();

    size_t watches() const { return folders_.size(); }

private:
    struct Folder {
        std::string path;
        unsigned walk = 0;  // the last walk that reached it
    };
    struct Growing {
        int64_t size = -1;
        Clock::time_point changed;  // last event or size change
    };

    void read_events(Clock::time_point now);
    void on_event(int wd, uint32_t mask, const char* name, Clock::time_point now);
    void on_created(const std::string& path, bool taken, Clock::time_point now);
    void look_at(const std::string& path, bool exists, Clock::time_point now);
    Changes flush();

    Kernel kernel_;
    fileio::Fd fd_;    // the inotify instance
    fileio::Fd wake_;  // an eventfd: wake() makes wait() return
    FilterSet rules_;
    unsigned walk_ = 0;
    bool swept_ = false;          // a walk has completed since open()
    bool limit_reached_ = false;  // in this walk; the next walk tries again
    bool told_limit_ = false;
    std::unordered_map<int, Folder> folders_;  // by watch descriptor
    std::unordered_set<std::string> fresh_;    // folders first watched in this walk
    std::unordered_set<uint64_t> told_network_;  // file systems already told
    std::unordered_map<std::string, Growing> growing_;  // being written, by path
    std::unordered_map<std::string, bool> batch_;  // path -> still there (look at it) or gone
    bool batch_walk_ = false;
    Clock::time_point batch_first_, batch_last_;
    std::vector<Note> notes_;
};

}  // namespace watcher
