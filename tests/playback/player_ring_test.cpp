#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <thread>
#include <vector>

#include "playback/pcm_ring.h"

namespace {

TEST(PcmRing, OneSlotStaysEmptySoFullAndEmptyDiffer) {
    PcmRing ring;
    ring.reset(5, 2);
    EXPECT_EQ(ring.buffered(), 0u);
    EXPECT_EQ(ring.free_frames(), 4u);
    std::vector<short> in(20, 7);
    EXPECT_EQ(ring.push(in.data(), 10), 4u);
    EXPECT_EQ(ring.buffered(), 4u);
    EXPECT_EQ(ring.free_frames(), 0u);
    EXPECT_EQ(ring.push(in.data(), 1), 0u);

    std::vector<short> out(20, 0);
    EXPECT_EQ(ring.pop(out.data(), 10), 4u);
    EXPECT_EQ(ring.pop(out.data(), 10), 0u);
    EXPECT_EQ(ring.free_frames(), 4u);
}

// Random pushes and pops of random sizes against a plain queue: every frame comes out once, in
// order, also across the wrap of the storage.
TEST(PcmRing, MatchesAQueueAcrossWraps) {
    PcmRing ring;
    ring.reset(7, 2);
    std::deque<short> model;
    std::mt19937 rng(42);
    short next = 1;
    for (int op = 0; op < 5000; ++op) {
        size_t n = rng() % 9;
        std::vector<short> buf(n * 2);
        if (rng() % 2) {
            for (size_t i = 0; i < n; ++i) buf[2 * i] = next, buf[2 * i + 1] = short(-next), ++next;
            size_t pushed = ring.push(buf.data(), n);
            ASSERT_EQ(pushed, std::min(n, 6 - model.size() / 2));
            model.insert(model.end(), buf.begin(), buf.begin() + pushed * 2);
            next = short(next - (n - pushed));
        } else {
            size_t popped = ring.pop(buf.data(), n);
            ASSERT_EQ(popped, std::min(n, model.size() / 2));
            for (size_t i = 0; i < popped * 2; ++i) {
                ASSERT_EQ(buf[i], model.front()) << "op " << op;
                model.pop_front();
            }
        }
        ASSERT_EQ(ring.buffered(), model.size() / 2);
        ASSERT_EQ(ring.free_frames(), 6 - model.size() / 2);
    }
}

TEST(PcmRing, DropBufferedEmptiesWithoutLosingLaterFrames) {
    PcmRing ring;
    ring.reset(9, 1);
    short a[4] = {1, 2, 3, 4};
    ring.push(a, 4);
    ring.drop_buffered();
    EXPECT_EQ(ring.buffered(), 0u);
    short b[6] = {5, 6, 7, 8, 9, 10};
    EXPECT_EQ(ring.push(b, 6), 6u);  // wraps the storage
    short out[8] = {};
    ASSERT_EQ(ring.pop(out, 8), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], b[i]);
}

// The counts tell the player which frame leaves: they never wrap, a drop counts as consumed,
// and a reset empties the ring without starting them again.
TEST(PcmRing, CountsRunOnAcrossWrapsDropsAndResets) {
    PcmRing ring;
    ring.reset(4, 1);
    short in[3] = {1, 2, 3}, out[3];
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(ring.push(in, 3), 3u);
        ASSERT_EQ(ring.pop(out, 2), 2u);
        ring.drop_buffered();
    }
    EXPECT_EQ(ring.pushed(), 15u);
    EXPECT_EQ(ring.consumed(), 15u);
    ring.push(in, 2);
    ring.reset(6, 1);
    EXPECT_EQ(ring.pushed(), 17u);
    EXPECT_EQ(ring.consumed(), 17u);
    EXPECT_EQ(ring.free_frames(), 5u);
}

TEST(PcmRing, ResetKeepsAtLeastOneSlotAndTwoChannels) {
    PcmRing ring;
    ring.reset(0, 0);
    EXPECT_EQ(ring.frames(), 1u);
    EXPECT_EQ(ring.channels(), 2);
    short s[2] = {1, 1};
    EXPECT_EQ(ring.push(s, 1), 0u);
}

// One producer and one consumer thread, as the decode and output threads use it: the consumer
// sees the exact sequence the producer wrote (run under ThreadSanitizer as well).
TEST(PcmRing, SingleProducerSingleConsumerKeepsTheSequence) {
    PcmRing ring;
    ring.reset(2 * 441 + 1, 2);
    const int total = 200000;
    std::thread producer([&] {
        std::vector<short> block(2 * 97);
        int value = 0;
        while (value < total) {
            int n = std::min(97, total - value);
            for (int i = 0; i < n; ++i) {
                block[2 * i] = short(value + i);
                block[2 * i + 1] = short(~(value + i));
            }
            size_t done = 0;
            while (done < size_t(n)) {
                done += ring.push(block.data() + 2 * done, n - done);
                if (done < size_t(n)) std::this_thread::yield();
            }
            value += n;
        }
    });
    std::vector<short> out(2 * 160);
    int expect = 0;
    int first_wrong = -1;
    while (expect < total) {
        size_t got = ring.pop(out.data(), 160);
        for (size_t i = 0; i < got; ++i, ++expect) {
            bool right = out[2 * i] == short(expect) && out[2 * i + 1] == short(~expect);
            if (!right && first_wrong < 0) first_wrong = expect;
        }
        if (got == 0) std::this_thread::yield();
    }
    producer.join();
    EXPECT_EQ(first_wrong, -1);
    EXPECT_EQ(ring.buffered(), 0u);
}

}  // namespace
