#include "playback/playlist.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace {

// By name, then by path; bytes compare unsigned, so capitals come before small letters and
// digits are not read as numbers.
bool name_before(const MediaFile& a, const MediaFile& b) {
    int by_name = a.name.compare(b.name);
    return by_name != 0 ? by_name < 0 : a.path.compare(b.path) < 0;
}

}  // namespace

Playlist::Playlist() : gen_(std::random_device{}()) {}

void Playlist::arrange_locked(Iter first, Iter last) {
    if (shuffle_) {
        std::shuffle(first, last, gen_);
    } else {
        std::sort(first, last, [this](size_t a, size_t b) { return name_before(pool_[a], pool_[b]); });
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

// The old pool and the map are freed after the lock is released: a million records take longer
// to free than the merge takes, and the decode thread need not wait for that.
void Playlist::refresh(std::vector<MediaFile> pool) {
    std::vector<MediaFile> old;
    std::unordered_map<std::string_view, size_t> index;  // views into pool_
    std::lock_guard<std::mutex> hold(lock_);
    old.swap(pool_);
    std::vector<size_t> old_order;
    old_order.swap(order_);
    const size_t played = std::min(position_, old_order.size());
    pool_ = std::move(pool);
    position_ = 0;
    if (pool_.empty()) return;

    index.reserve(pool_.size());
    for (size_t i = 0; i < pool_.size(); ++i) index[pool_[i].path] = i;
    std::vector<bool> taken(pool_.size(), false);
    order_.reserve(pool_.size());
    for (size_t k = 0; k < played; ++k) {
        auto it = index.find(old[old_order[k]].path);
        if (it == index.end() || taken[it->second]) continue;
        taken[it->second] = true;
        order_.push_back(it->second);
    }
    position_ = order_.size();
    for (size_t i = 0; i < pool_.size(); ++i)
        if (!taken[i]) order_.push_back(i);
    arrange_locked(order_.begin() + static_cast<std::ptrdiff_t>(position_), order_.end());
    if (position_ < order_.size()) finished_ = false;
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
