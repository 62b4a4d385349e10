#include "core/watcher.h"

#include <linux/magic.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/fileio.h"

namespace watcher {

namespace {

// Links made by another program show only as a creation; folders coming and going ask for a walk.
constexpr uint32_t kMask = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB |
                           IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

constexpr auto kQuiet = std::chrono::milliseconds(250);   // a batch is due this long after its last event
constexpr auto kLongest = std::chrono::milliseconds(1000);  // and at the latest this long after its first
constexpr auto kSettled = std::chrono::seconds(2);  // unchanged size of a file written without a close

// File systems whose changes made elsewhere never reach the watches.
struct NetworkFs {
    int64_t type;
    const char* name;
};
constexpr NetworkFs kNetwork[] = {
    {NFS_SUPER_MAGIC, "nfs"},   {SMB_SUPER_MAGIC, "smb"},      {CIFS_SUPER_MAGIC, "cifs"},
    {SMB2_SUPER_MAGIC, "smb3"}, {FUSE_SUPER_MAGIC, "fuse"},    {CEPH_SUPER_MAGIC, "ceph"},
    {V9FS_MAGIC, "9p"},         {AFS_SUPER_MAGIC, "afs"},      {AFS_FS_MAGIC, "afs"},
};

const char* network_fs(const struct statfs& fs) {
    for (const NetworkFs& n : kNetwork)
        if (static_cast<int64_t>(fs.f_type) == n.type) return n.name;
    return nullptr;
}

std::string watch_limit() {
    std::string text;
    if (!fileio::read_file("/proc/sys/fs/inotify/max_user_watches", &text)) return "?";
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return text;
}

}  // namespace

Watcher::Watcher() : wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

Watcher::~Watcher() = default;

void Watcher::open(const Kernel& kernel) {
    close();
    kernel_ = kernel;
    const int fd = (kernel.init ? kernel.init : inotify_init1)(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        notes_.push_back({Blind::NoInotify, "", std::strerror(errno)});
        return;
    }
    fd_.reset(fd);
    swept_ = false;
    told_limit_ = false;
    told_network_.clear();
}

void Watcher::close() {
    clear();
    growing_.clear();
    fd_.close();
}

void Watcher::begin(const FilterSet& rules) {
    rules_ = rules;
    ++walk_;
    limit_reached_ = false;
    fresh_.clear();
    batch_.clear();
    batch_walk_ = false;
}

void Watcher::watch(const std::string& folder) {
    if (!fd_.ok() || limit_reached_) return;
    struct statfs fs;
    if (statfs(folder.c_str(), &fs) == 0) {
        if (const char* name = network_fs(fs)) {
            uint64_t id = 0;
            std::memcpy(&id, &fs.f_fsid, std::min(sizeof id, sizeof fs.f_fsid));
            if (told_network_.insert(id).second) notes_.push_back({Blind::NetworkFs, folder, name});
            return;
        }
    }
    const int wd = (kernel_.add_watch ? kernel_.add_watch : inotify_add_watch)(fd_.get(),
                                                                               folder.c_str(), kMask);
    if (wd < 0) {
        if (errno != ENOSPC) return;
        // The rest of this walk would fail the same way; the next walk tries again.
        limit_reached_ = true;
        if (!told_limit_) notes_.push_back({Blind::WatchLimit, folder, watch_limit()});
        told_limit_ = true;
        return;
    }
    // A folder reached twice (through a link) keeps the path it was first reached under, as in
    // the scanner's result.
    auto found = folders_.find(wd);
    if (found == folders_.end()) {
        if (swept_) fresh_.insert(folder);
        found = folders_.emplace(wd, Folder()).first;
    }
    Folder& f = found->second;
    if (f.walk == walk_) return;
    f.path = folder;
    f.walk = walk_;
}

void Watcher::sweep() {
    swept_ = true;
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it->second.walk == walk_) {
            ++it;
            continue;
        }
        inotify_rm_watch(fd_.get(), it->first);
        it = folders_.erase(it);
    }
}

void Watcher::clear() {
    for (const auto& f : folders_) inotify_rm_watch(fd_.get(), f.first);
    folders_.clear();
    batch_.clear();
    batch_walk_ = false;
}

void Watcher::wait(Clock::time_point deadline) {
    pollfd fds[2] = {{wake_.get(), POLLIN, 0}, {fd_.get(), POLLIN, 0}};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    // Without the wake descriptor (no file descriptors left) a wake-up is seen within 50 ms.
    const long limit = wake_.ok() ? 60000 : 50;
    const int ms = static_cast<int>(std::max(0L, std::min<long>(left.count(), limit)));
    if (poll(fds, fd_.ok() ? 2 : 1, ms) > 0 && (fds[0].revents & POLLIN)) {
        uint64_t count;
        const ssize_t drained = read(wake_.get(), &count, sizeof count);
        (void)drained;  // a failed read leaves the count for the next wait, which returns at once
    }
}

void Watcher::wake() {
    const uint64_t one = 1;
    const ssize_t written = write(wake_.get(), &one, sizeof one);
    (void)written;  // fails only when the count is already huge: the waiter is woken anyway
}

Changes Watcher::take(Clock::time_point now) {
    read_events(now);
    for (auto it = growing_.begin(); it != growing_.end();) {
        struct stat st;
        if (now - it->second.changed < kSettled) {
            ++it;
        } else if (stat(it->first.c_str(), &st) != 0) {
            it = growing_.erase(it);
        } else if (st.st_size != it->second.size) {
            it->second = {static_cast<int64_t>(st.st_size), now};
            ++it;
        } else {
            look_at(it->first, true, now);
            it = growing_.erase(it);
        }
    }
    if ((batch_.empty() && !batch_walk_) || now < std::min(batch_last_ + kQuiet, batch_first_ + kLongest))
        return {};
    return flush();
}

Clock::time_point Watcher::next_due() const {
    Clock::time_point due = Clock::time_point::max();
    if (!batch_.empty() || batch_walk_) due = std::min(batch_last_ + kQuiet, batch_first_ + kLongest);
    for (const auto& g : growing_) due = std::min(due, g.second.changed + kSettled);
    return due;
}

// A folder that appeared since the last walk was not watched while its files were written, so
// a file written less than 2 s ago may still be growing: it waits as if its last write had been
// seen. A folder that comes into reach with old files costs a status read per file, once.
void Watcher::hold_back(std::vector<MediaFile>& found, Clock::time_point now) {
    read_events(now);  // the writes made during the walk
    if (growing_.empty() && fresh_.empty()) return;
    timespec wall;
    clock_gettime(CLOCK_REALTIME, &wall);
    auto still_written = [&](const MediaFile& f) {
        if (growing_.count(f.path) > 0) return true;
        const size_t slash = f.path.rfind('/');
        if (fresh_.empty() || fresh_.count(f.path.substr(0, std::max<size_t>(slash, 1))) == 0)
            return false;
        struct stat st;
        if (stat(f.path.c_str(), &st) != 0) return false;
        const auto age = std::chrono::seconds(wall.tv_sec - st.st_mtim.tv_sec) +
                         std::chrono::nanoseconds(wall.tv_nsec - st.st_mtim.tv_nsec);
        if (age >= kSettled) return false;
        growing_[f.path] = Growing{static_cast<int64_t>(st.st_size),
                                   now - std::chrono::duration_cast<Clock::duration>(age)};
        return true;
    };
    found.erase(std::remove_if(found.begin(), found.end(), still_written), found.end());
}

std::vector<Note> Watcher::take_notes() { return std::move(notes_); }

void Watcher::read_events(Clock::time_point now) {
    if (!fd_.ok()) return;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = read(fd_.get(), buffer, sizeof buffer);
        if (n <= 0) return;  // EAGAIN: all read
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            on_event(e->wd, e->mask, e->len > 0 ? e->name : "", now);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
}

void Watcher::on_event(int wd, uint32_t mask, const char* name, Clock::time_point now) {
    if (mask & IN_Q_OVERFLOW) return look_at("", false, now);  // events lost: walk again
    if (mask & IN_IGNORED) {
        folders_.erase(wd);
        return;
    }
    const auto folder = folders_.find(wd);
    if (folder == folders_.end()) return;
    if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) return look_at("", false, now);
    if (*name == '\0') return;
    if (mask & IN_ISDIR) {
        if (rules_.recursive && (mask & (IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM)))
            look_at("", false, now);
        return;
    }
    const std::string& dir = folder->second.path;
    const bool taken = filters::name_matches(name, rules_.patterns);
    // Under a name no pattern takes, only a link to a folder matters.
    if (!taken && !((mask & IN_CREATE) && rules_.recursive)) return;
    std::string path = dir + "/" + name;
    if (mask & (IN_DELETE | IN_MOVED_FROM)) {
        growing_.erase(path);
        look_at(path, false, now);
    } else if (mask & IN_CREATE) {
        on_created(path, taken, now);
    } else if (mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) {
        growing_.erase(path);
        look_at(path, true, now);
    } else if (mask & IN_MODIFY) {
        auto g = growing_.find(path);
        struct stat st;
        if (g != growing_.end())
            g->second.changed = now;
        else if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            growing_.emplace(std::move(path), Growing{static_cast<int64_t>(st.st_size), now});
    } else if ((mask & IN_ATTRIB) && growing_.count(path) == 0) {
        look_at(path, true, now);  // a new time may change what the rules say
    }
}

// A new entry: a file being written (held back), a hard link to a finished one, or a link.
void Watcher::on_created(const std::string& path, bool taken, Clock::time_point now) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISLNK(st.st_mode)) {
        if (stat(path.c_str(), &st) != 0) return;  // a broken link
        if (S_ISDIR(st.st_mode)) {
            if (rules_.recursive) look_at("", false, now);
            return;
        }
    } else if (S_ISREG(st.st_mode) && st.st_nlink == 1) {
        if (taken) growing_[path] = Growing{static_cast<int64_t>(st.st_size), now};
        return;
    }
    if (taken && S_ISREG(st.st_mode)) look_at(path, true, now);
}

// Puts a path into the batch; the empty path asks for a walk.
void Watcher::look_at(const std::string& path, bool exists, Clock::time_point now) {
    if (batch_.empty() && !batch_walk_) batch_first_ = now;
    batch_last_ = now;
    if (path.empty())
        batch_walk_ = true;
    else
        batch_[path] = exists;
}

Changes Watcher::flush() {
    Changes c;
    c.walk = batch_walk_;
    if (!c.walk) {
        for (const auto& b : batch_) {
            const size_t slash = b.first.rfind('/');
            const std::string folder = slash == 0 ? "/" : b.first.substr(0, slash);
            MediaFile file;
            if (b.second && scanner::examine(rules_, folder, b.first.substr(slash + 1), &file))
                c.arrived.push_back(std::move(file));
            else
                c.gone.push_back(b.first);
        }
    }
    batch_.clear();
    batch_walk_ = false;
    return c;
}

}  // namespace watcher
