// The PCM ring between the decode thread (the only producer) and the output thread (the only
// consumer). No lock: each side copies the samples first and then publishes its own index
// (release); it reads the other side's index before copying (acquire). The indices are counts
// of frames ever pushed and ever consumed (dropped ones included), never wrapped, so that they
// also tell which frame of a stream leaves now; a slot is the count modulo the size. One frame
// slot stays empty so that "full" and "empty" differ. `reset` is called only while no consumer
// runs; it keeps the counts going.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class PcmRing {
public:
    // Sizes the ring for `frames` frames of `channels` samples, all silent and none buffered.
    void reset(size_t frames, int channels) {
        frames_ = frames < 1 ? 1 : frames;
        channels_ = channels < 1 ? 2 : channels;
        samples_.assign(frames_ * channels_, 0);
        read_pos_.store(write_pos_.load(std::memory_order_relaxed), std::memory_order_release);
    }

    size_t frames() const { return frames_; }
    int channels() const { return channels_; }

    // Exact on the producer's and the consumer's threads; elsewhere a moment's estimate.
    size_t buffered() const { return held(); }
    size_t free_frames() const { return frames_ - 1 - held(); }
    // Frames ever pushed, and ever consumed or dropped: any thread.
    uint64_t pushed() const { return write_pos_.load(std::memory_order_acquire); }
    uint64_t consumed() const { return read_pos_.load(std::memory_order_acquire); }

    // Producer: copies as many of `frames` frames as there is room for; returns how many.
    size_t push(const short* pcm, size_t frames) {
        uint64_t w = write_pos_.load(std::memory_order_relaxed);
        uint64_t r = read_pos_.load(std::memory_order_acquire);
        size_t n = std::min(frames, frames_ - 1 - static_cast<size_t>(w - r));
        copy_in(static_cast<size_t>(w % frames_), pcm, n);
        write_pos_.store(w + n, std::memory_order_release);
        return n;
    }

    // Consumer: copies up to `frames` frames into `out`; returns how many.
    size_t pop(short* out, size_t frames) {
        uint64_t r = read_pos_.load(std::memory_order_relaxed);
        uint64_t w = write_pos_.load(std::memory_order_acquire);
        size_t n = std::min(frames, static_cast<size_t>(w - r));
        copy_out(static_cast<size_t>(r % frames_), out, n);
        read_pos_.store(r + n, std::memory_order_release);
        return n;
    }

    // Consumer: drops everything buffered so far.
    void drop_buffered() {
        read_pos_.store(write_pos_.load(std::memory_order_acquire), std::memory_order_release);
    }

private:
    // The two counts are read one after the other, so on a third thread the consumer's may
    // have passed the producer's read before it; the bound keeps that within the ring.
    size_t held() const {
        uint64_t w = write_pos_.load(std::memory_order_acquire);
        uint64_t r = read_pos_.load(std::memory_order_acquire);
        return w > r ? std::min(static_cast<size_t>(w - r), frames_ - 1) : 0;
    }

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
    std::atomic<uint64_t> read_pos_{0};   // advanced by the consumer only
    std::atomic<uint64_t> write_pos_{0};  // advanced by the producer only
};
