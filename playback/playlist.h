// The order in which the pool of found files plays: rounds of every file once, shuffled or in
// name order, merged with each new scan without repeating what already played in the round.
// Every public operation takes the lock for its whole run (refresh indexes the new pool before
// it), so the scan, decode and interface threads may call it at once; the lock is never held
// while calling out. Nothing fails.
#pragma once
#include <cstddef>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "core/scanner.h"

class Playlist {
public:
    Playlist();

    // Takes over a new scan result and merges it into the running round.
    void refresh(std::vector<MediaFile> pool);
    // Merges changes seen between scans as refresh merges the pool they make, without a new
    // walk: a record whose path is in the pool replaces it in place (played stays played), a new
    // one joins the unplayed rest at a random place (shuffled) or at its place in name order,
    // and gone paths leave the round. Costs one pass over the pool's paths under the lock.
    void amend(std::vector<MediaFile> arrived, const std::vector<std::string>& gone);
    // The next file into *out (if not null); false when there is nothing to play.
    bool next(MediaFile* out);
    // A new round at once, also after the pool was played through.
    void restart();
    // Rearranges only the unplayed rest of the round.
    void set_shuffle(bool on);
    // Switching on also clears finished.
    void set_loop(bool on);
    void clear();

    bool finished() const;
    size_t size() const;
    size_t round_position() const;
    size_t remaining_in_round() const;
    bool shuffle_on() const;

private:
    using Iter = std::vector<size_t>::iterator;
    void reorder_locked();
    void reshuffle_locked();
    void guard_repeat_locked();
    void arrange_locked(Iter first, Iter last);
    void drop_locked(const std::vector<bool>& drop, std::vector<MediaFile>& dropped);
    void join_locked(MediaFile file);

    mutable std::mutex lock_;
    std::vector<MediaFile> pool_;  // as the scanner delivered it
    std::vector<size_t> order_;    // the round: indices into pool_
    size_t position_ = 0;          // entries of order_ handed out in this round
    std::mt19937 gen_;
    std::string last_path_;        // the file handed out last
    bool shuffle_ = true;
    bool loop_ = true;
    bool finished_ = false;        // a round was used up with loop off
};
