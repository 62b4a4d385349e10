// The PCM ring between the decode thread (the only producer) and the output thread (the only
// consumer). No lock: each side copies the samples first and then publishes its own index
// (release); it reads the other side's index before copying (acquire). One frame slot stays
// empty so that "full" and "empty" differ. `reset` is called only while no consumer runs.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <vector>

class PcmRing {
public:
    // Sizes the ring for `frames` frames of `channels` samples, all silent and none buffered.
    void reset(size_t frames, int channels) {
        frames_ = frames < 1 ? 1 : frames;
        channels_ = channels < 1 ? 2 : channels;
        samples_.assign(frames_ * channels_, 0);
        read_pos_.store(0, std::memory_order_relaxed);
        write_pos_.store(0, std::memory_order_release);
    }

    size_t frames() const { return frames_; }
    int channels() const { return channels_; }

    size_t buffered() const {
        size_t w = write_pos_.load(std::memory_order_acquire);
        size_t r = read_pos_.load(std::memory_order_acquire);
        return (w + frames_ - r) % frames_;
    }
    size_t free_frames() const {
        size_t w = write_pos_.load(std::memory_order_acquire);
        size_t r = read_pos_.load(std::memory_order_acquire);
        return (r + frames_ - 1 - w) % frames_;
    }

    // Producer: copies as many of `frames` frames as there is room for; returns how many.
    size_t push(const short* pcm, size_t frames) {
        size_t w = write_pos_.load(std::memory_order_relaxed);
        size_t r = read_pos_.load(std::memory_order_acquire);
        size_t n = std::min(frames, (r + frames_ - 1 - w) % frames_);
        copy_in(w, pcm, n);
        write_pos_.store((w + n) % frames_, std::memory_order_release);
        return n;
    }

    // Consumer: copies up to `frames` frames into `out`; returns how many.
    size_t pop(short* out, size_t frames) {
        size_t r = read_pos_.load(std::memory_order_relaxed);
        size_t w = write_pos_.load(std::memory_order_acquire);
        size_t n = std::min(frames, (w + frames_ - r) % frames_);
        copy_out(r, out, n);
        read_pos_.store((r + n) % frames_, std::memory_order_release);
        return n;
    }

    // Consumer: drops everything buffered so far.
    void drop_buffered() {
        read_pos_.store(write_pos_.load(std::memory_order_acquire), std::memory_order_release);
    }

private:
    // At most two memcpy calls each: up to the end of the storage, then from its start.
    void copy_in(size_t at, const short* pcm, size_t n) {
        if (n == 0) return;
        size_t first = std::min(n, frames_ - at);
        std::memcpy(&samples_[at * channels_], pcm, first * channels_ * sizeof(short));
        if (n > first)
            std::memcpy(samples_.data(), pcm + first * channels_,
                        (n - first) * channels_ * sizeof(short));
    }
    void copy_out(size_t at, short* out, size_t n) const {
        if (n == 0) return;
        size_t first = std::min(n, frames_ - at);
        std::memcpy(out, &samples_[at * channels_], first * channels_ * sizeof(short));
        if (n > first)
            std::memcpy(out + first * channels_, samples_.data(),
                        (n - first) * channels_ * sizeof(short));
    }

    std::vector<short> samples_ = std::vector<short>(2, 0);
    size_t frames_ = 1;
    int channels_ = 2;
    std::atomic<size_t> read_pos_{0};   // advanced by the consumer only
    std::atomic<size_t> write_pos_{0};  // advanced by the producer only
};
