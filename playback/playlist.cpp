#include "playback/playlist.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <numeric>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

// By name, then by path; bytes compare unsigned, so capitals come before small letters and
// digits are not read as numbers.
bool name_before(const MediaFile& a, const MediaFile& b) {
    int by_name = a.name.compare(b.name);
    return by_name != 0 ? by_name < 0 : a.path.compare(b.path) < 0;
}

// Eight bytes of s from offset as a big-endian number, zero past the end: numbers compare as
// the bytes do, and a string that ends early compares as the lesser or as equal, never greater.
uint64_t chunk(const std::string& s, size_t offset) {
    unsigned char bytes[8] = {};
    if (offset < s.size())
        std::memcpy(bytes, s.data() + offset, std::min<size_t>(8, s.size() - offset));
    uint64_t key = 0;
    for (unsigned char b : bytes) key = key << 8 | b;
    return key;
}

struct Keyed {
    uint64_t key;
    size_t index;
};

// How many leading bytes the names of these entries all share.
size_t shared_prefix(const std::vector<MediaFile>& pool, const Keyed* first, const Keyed* last) {
    if (first == last) return 0;
    const std::string& one = pool[first->index].name;
    size_t shared = one.size();
    for (const Keyed* e = first + 1; e != last && shared > 0; ++e) {
        const std::string& name = pool[e->index].name;
        const size_t n = std::min(shared, name.size());
        const char* differs = std::mismatch(one.data(), one.data() + n, name.data()).first;
        shared = static_cast<size_t>(differs - one.data());
    }
    return shared;
}

// Sorts entries whose names agree in their first `offset` bytes by the next eight, then each
// run of equal keys by the eight after: whole-string comparisons would each chase two pointers
// to scattered memory, which dominates a sort of a large pool. A run whose names end before
// `offset` (equal names, or names that differ only by zero bytes) takes the full comparison.
void sort_names(const std::vector<MediaFile>& pool, Keyed* first, Keyed* last, size_t offset) {
    for (Keyed* e = first; e != last; ++e) {
        const std::string& name = pool[e->index].name;
        if (name.size() < offset) {
            std::sort(first, last, [&pool](const Keyed& a, const Keyed& b) {
                return name_before(pool[a.index], pool[b.index]);
            });
            return;
        }
        e->key = chunk(name, offset);
    }
    std::sort(first, last, [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    for (Keyed* run = first; run != last;) {
        Keyed* end = run + 1;
        while (end != last && end->key == run->key) ++end;
        if (end - run > 1) sort_names(pool, run, end, offset + 8);
        run = end;
    }
}

// Sorts pool indices in name order. Names of recordings often share a long beginning, which
// the keys need not spend bytes on.
void sort_by_name(const std::vector<MediaFile>& pool, std::vector<size_t>::iterator first,
                  std::vector<size_t>::iterator last) {
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<size_t>(last - first));
    for (auto i = first; i != last; ++i) keyed.push_back({0, *i});
    Keyed* begin = keyed.data();
    Keyed* end = begin + keyed.size();
    sort_names(pool, begin, end, shared_prefix(pool, begin, end));
    for (const Keyed& e : keyed) *first++ = e.index;
}

// Open addressing over the paths of one pool, at most half full. A slot holds the index + 1
// (0 when free) under the upper half of the path's hash, so that a probe compares strings
// only when the hashes agree. Pools stay far below 2^32 records.
class PathIndex {
public:
    explicit PathIndex(const std::vector<MediaFile>& pool) {
        size_t capacity = 16;
        while (capacity < 2 * pool.size()) capacity *= 2;
        slots_.assign(capacity, 0);
        mask_ = capacity - 1;
        walk(pool.size(), [&](size_t i) { return &pool[i]; }, [&](size_t i, uint64_t h) {
            slots_[probe(pool, pool[i].path, h)] = (h & kTag) | (i + 1);  // a later equal path wins
        });
    }

    // Calls found(k, i) for k = 0 .. count - 1 in turn, with i the index in `pool` (the pool
    // this was built over) of the last record with the path of *record_of(k), or npos.
    // record_of(k) is called only before found(k, ...).
    template <class RecordOf, class Found>
    void find_each(const std::vector<MediaFile>& pool, size_t count, RecordOf record_of,
                   Found found) const {
        walk(count, record_of, [&](size_t k, uint64_t h) {
            const uint64_t slot = slots_[probe(pool, record_of(k)->path, h)];
            found(k, slot == 0 ? std::string::npos : static_cast<size_t>(slot & ~kTag) - 1);
        });
    }

private:
    static constexpr uint64_t kTag = 0xffffffff00000000u;

    // Calls step(k, hash of the path) for k = 0 .. count - 1 in turn. Records may lie anywhere
    // in memory, and so may their slots: the record is prefetched three stretches ahead, its
    // path's characters two, and its slot, once the hash is known, one, so that the misses of
    // consecutive records overlap instead of following one another.
    template <class RecordOf, class Step>
    void walk(size_t count, RecordOf record_of, Step step) const {
        constexpr size_t kStretch = 8;
        uint64_t hashes[kStretch];
        for (size_t k = 0; k < count + 3 * kStretch; ++k) {
            if (k >= 3 * kStretch) step(k - 3 * kStretch, hashes[k % kStretch]);
            if (k >= 2 * kStretch && k - 2 * kStretch < count) {
                const uint64_t h = std::hash<std::string_view>{}(record_of(k - 2 * kStretch)->path);
                hashes[k % kStretch] = h;
                __builtin_prefetch(&slots_[h & mask_]);
            }
            if (k >= kStretch && k - kStretch < count)
                __builtin_prefetch(record_of(k - kStretch)->path.data());
            if (k < count) __builtin_prefetch(record_of(k));
        }
    }

    // Where the slot of this path is, or the free slot where it belongs.
    size_t probe(const std::vector<MediaFile>& pool, std::string_view path, uint64_t h) const {
        for (size_t at = h & mask_;; at = (at + 1) & mask_) {
            const uint64_t slot = slots_[at];
            if (slot == 0) return at;
            if ((slot & kTag) == (h & kTag) && pool[(slot & ~kTag) - 1].path == path) return at;
        }
    }

    std::vector<uint64_t> slots_;
    size_t mask_ = 0;
};

}  // namespace

Playlist::Playlist() : gen_(std::random_device{}()) {}

void Playlist::arrange_locked(Iter first, Iter last) {
    if (shuffle_) {
        std::shuffle(first, last, gen_);
    } else {
        sort_by_name(pool_, first, last);
    }
}

void Playlist::reorder_locked() {
    order_.resize(pool_.size());
    std::iota(order_.begin(), order_.end(), size_t{0});
    arrange_locked(order_.begin(), order_.end());
}

// A new shuffled round never begins with the file that has just played.
void Playlist::guard_repeat_locked() {
    const size_t n = order_.size();
    if (!shuffle_ || n < 2 || last_path_.empty() || pool_[order_[0]].path != last_path_) return;
    std::swap(order_[0], order_[std::min(n / 2 + 1, n - 1)]);
}

void Playlist::reshuffle_locked() {
    reorder_locked();
    position_ = 0;
    guard_repeat_locked();
}

// The index over the new pool needs nothing of the playlist, so it is built before the lock;
// the old pool and the index are freed after it: a million records take longer to free than the
// merge takes, and the decode thread need not wait for that.
void Playlist::refresh(std::vector<MediaFile> pool) {
    const PathIndex index(pool);  // its indices stay valid when the vector moves into pool_
    std::vector<MediaFile> old;
    std::vector<size_t> old_order;
    std::lock_guard<std::mutex> hold(lock_);
    old.swap(pool_);
    const size_t played = std::min(position_, order_.size());
    pool_ = std::move(pool);
    position_ = 0;
    if (pool_.empty()) {
        old_order.swap(order_);
        return;
    }

    // The played entries become new indices in place; then the new round takes the old one's
    // storage (fresh memory is slow to touch the first time): each played entry that is still
    // in the pool moves to a place at or before its own.
    index.find_each(pool_, played, [&](size_t k) { return &old[order_[k]]; },
                    [&](size_t k, size_t i) { order_[k] = i; });
    std::vector<bool> taken(pool_.size(), false);
    size_t kept = 0;
    for (size_t k = 0; k < played; ++k) {
        const size_t i = order_[k];
        if (i == std::string::npos || taken[i]) continue;
        taken[i] = true;
        order_[kept++] = i;
    }
    order_.resize(kept);
    order_.reserve(pool_.size());
    position_ = kept;
    for (size_t i = 0; i < pool_.size(); ++i)
        if (!taken[i]) order_.push_back(i);
    arrange_locked(order_.begin() + static_cast<std::ptrdiff_t>(position_), order_.end());
    if (position_ < order_.size()) finished_ = false;
}

void Playlist::amend(std::vector<MediaFile> arrived, const std::vector<std::string>& gone) {
    if (arrived.empty() && gone.empty()) return;
    constexpr size_t kGone = std::string::npos;
    // What each changed path becomes: a record of `arrived`, or gone. A later mention wins.
    std::unordered_map<std::string_view, size_t> change;
    for (const std::string& path : gone) change[path] = kGone;
    for (size_t k = 0; k < arrived.size(); ++k) change[arrived[k].path] = k;
    std::vector<bool> in_pool(arrived.size(), false);
    std::vector<MediaFile> dropped;  // freed after the lock
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<bool> drop;
    for (size_t i = 0; i < pool_.size(); ++i) {
        const auto it = change.find(pool_[i].path);
        if (it == change.end()) continue;
        if (it->second == kGone) {
            drop.resize(pool_.size(), false);
            drop[i] = true;
        } else {
            pool_[i] = arrived[it->second];
            in_pool[it->second] = true;
        }
    }
    if (!drop.empty()) drop_locked(drop, dropped);
    for (size_t k = 0; k < arrived.size(); ++k)
        if (!in_pool[k] && change[arrived[k].path] == k) join_locked(std::move(arrived[k]));
    if (position_ < order_.size()) finished_ = false;
}

// Takes the marked records out of the pool and the round; the played part keeps its order.
void Playlist::drop_locked(const std::vector<bool>& drop, std::vector<MediaFile>& dropped) {
    std::vector<size_t> moved_to(pool_.size(), std::string::npos);
    size_t kept = 0;
    for (size_t i = 0; i < pool_.size(); ++i) {
        if (drop[i]) {
            dropped.push_back(std::move(pool_[i]));
            continue;
        }
        if (kept != i) pool_[kept] = std::move(pool_[i]);
        moved_to[i] = kept++;
    }
    pool_.resize(kept);
    const size_t played = std::min(position_, order_.size());
    size_t out = 0;
    position_ = 0;
    for (size_t k = 0; k < order_.size(); ++k) {
        const size_t i = moved_to[order_[k]];
        if (i == std::string::npos) continue;
        if (k < played) ++position_;
        order_[out++] = i;
    }
    order_.resize(out);
}

// A record new to the pool joins the unplayed rest: at a uniformly random place, which keeps a
// shuffled rest uniformly shuffled, or at its place in name order.
void Playlist::join_locked(MediaFile file) {
    const size_t i = pool_.size();
    pool_.push_back(std::move(file));
    const auto rest = order_.begin() + static_cast<std::ptrdiff_t>(std::min(position_, order_.size()));
    if (shuffle_) {
        const size_t from = static_cast<size_t>(rest - order_.begin());
        order_.push_back(i);
        std::uniform_int_distribution<size_t> place(from, order_.size() - 1);
        std::swap(order_[place(gen_)], order_.back());
    } else {
        const auto at = std::upper_bound(rest, order_.end(), i, [this](size_t a, size_t b) {
            return name_before(pool_[a], pool_[b]);
        });
        order_.insert(at, i);
    }
}

bool Playlist::next(MediaFile* out) {
    std::lock_guard<std::mutex> hold(lock_);
    if (pool_.empty()) return false;
    if (position_ >= order_.size()) {
        if (!loop_) {
            finished_ = true;
            return false;
        }
        reshuffle_locked();
    }
    if (order_.empty()) return false;
    const MediaFile& file = pool_[order_[position_++]];
    last_path_ = file.path;
    if (out) *out = file;
    return true;
}

void Playlist::restart() {
    std::lock_guard<std::mutex> hold(lock_);
    finished_ = false;
    reshuffle_locked();
}

void Playlist::set_shuffle(bool on) {
    std::lock_guard<std::mutex> hold(lock_);
    if (on == shuffle_) return;
    shuffle_ = on;
    if (position_ < order_.size())
        arrange_locked(order_.begin() + static_cast<std::ptrdiff_t>(position_), order_.end());
}

void Playlist::set_loop(bool on) {
    std::lock_guard<std::mutex> hold(lock_);
    loop_ = on;
    if (on) finished_ = false;
}

void Playlist::clear() {
    std::lock_guard<std::mutex> hold(lock_);
    pool_.clear();
    order_.clear();
    position_ = 0;
    finished_ = false;
}

bool Playlist::finished() const {
    std::lock_guard<std::mutex> hold(lock_);
    return finished_;
}

size_t Playlist::size() const {
    std::lock_guard<std::mutex> hold(lock_);
    return pool_.size();
}

size_t Playlist::round_position() const {
    std::lock_guard<std::mutex> hold(lock_);
    return position_;
}

size_t Playlist::remaining_in_round() const {
    std::lock_guard<std::mutex> hold(lock_);
    return position_ < order_.size() ? order_.size() - position_ : 0;
}

bool Playlist::shuffle_on() const {
    std::lock_guard<std::mutex> hold(lock_);
    return shuffle_;
}
