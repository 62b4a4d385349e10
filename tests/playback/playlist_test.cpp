#include "playback/playlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <thread>

namespace {

MediaFile file(const std::string& name, const std::string& folder = "/m") {
    MediaFile f;
    f.name = name;
    f.path = folder + "/" + name;
    f.size = 1000;
    return f;
}

std::vector<MediaFile> files(std::initializer_list<const char*> names) {
    std::vector<MediaFile> v;
    for (const char* n : names) v.push_back(file(n));
    return v;
}

// Names handed out by `count` calls of next; "-" for a false result.
std::vector<std::string> take(Playlist& p, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        MediaFile f;
        names.push_back(p.next(&f) ? f.name : "-");
    }
    return names;
}

using Names = std::vector<std::string>;

void in_name_order(Playlist& p, std::vector<MediaFile> pool, bool loop) {
    p.set_shuffle(false);
    p.set_loop(loop);
    p.refresh(std::move(pool));
}

TEST(Playlist, EmptyPoolHasNothingToPlay) {
    Playlist p;
    EXPECT_FALSE(p.next(nullptr));
    EXPECT_FALSE(p.finished());
    EXPECT_EQ(0u, p.size());
    EXPECT_EQ(0u, p.remaining_in_round());
    EXPECT_TRUE(p.shuffle_on());
}

TEST(Playlist, NameOrderOnceThroughAndAgain) {
    Playlist once;
    in_name_order(once, files({"c.mp3", "a.mp3", "b.mp3"}), false);
    EXPECT_EQ((Names{"a.mp3", "b.mp3", "c.mp3", "-", "-"}), take(once, 5));
    EXPECT_TRUE(once.finished());
    EXPECT_EQ(0u, once.remaining_in_round());
    once.restart();
    EXPECT_FALSE(once.finished());
    EXPECT_EQ((Names{"a.mp3"}), take(once, 1));

    Playlist looping;
    in_name_order(looping, files({"c.mp3", "a.mp3", "b.mp3"}), true);
    EXPECT_EQ((Names{"a.mp3", "b.mp3", "c.mp3", "a.mp3", "b.mp3"}), take(looping, 5));
    EXPECT_FALSE(looping.finished());

    Playlist reopened;
    in_name_order(reopened, files({"a.mp3"}), false);
    take(reopened, 2);
    ASSERT_TRUE(reopened.finished());
    reopened.set_loop(true);
    EXPECT_FALSE(reopened.finished());
    EXPECT_EQ((Names{"a.mp3"}), take(reopened, 1));
}

TEST(Playlist, NameOrderComparesUnsignedBytes) {
    std::vector<MediaFile> pool = files({"b.mp3", "B.mp3", "a.mp3", "10.mp3", "2.mp3", "\xc3\xa4.mp3", "z.mp3"});
    pool.push_back(file("x.mp3", "/m/sub"));
    pool.push_back(file("x.mp3", "/m/a"));
    Playlist p;
    in_name_order(p, pool, false);
    Names got = take(p, 9);
    EXPECT_EQ((Names{"10.mp3", "2.mp3", "B.mp3", "a.mp3", "b.mp3", "x.mp3", "x.mp3", "z.mp3", "\xc3\xa4.mp3"}), got);

    Playlist paths;
    in_name_order(paths, {file("x.mp3", "/m/sub"), file("x.mp3", "/m/a")}, false);
    MediaFile f;
    ASSERT_TRUE(paths.next(&f));
    EXPECT_EQ("/m/a/x.mp3", f.path);
}

TEST(Playlist, ShuffledRoundsHoldEveryFileOnceAndNeverRepeatAcrossTheSeam) {
    Playlist two;
    two.refresh(files({"a.mp3", "b.mp3"}));
    std::string last;
    for (int round = 0; round < 50; ++round) {
        Names r = take(two, 2);
        EXPECT_NE(r[0], r[1]);
        EXPECT_NE(last, r[0]) << "round " << round;
        last = r[1];
    }

    Playlist many;
    std::vector<MediaFile> pool;
    for (int i = 0; i < 10; ++i) pool.push_back(file(std::to_string(i) + ".mp3"));
    many.refresh(pool);
    std::set<Names> orders;
    last.clear();
    for (int round = 0; round < 40; ++round) {
        Names r = take(many, 10);
        EXPECT_EQ(10u, std::set<std::string>(r.begin(), r.end()).size()) << "every file once";
        EXPECT_NE(last, r[0]);
        last = r.back();
        orders.insert(r);
    }
    EXPECT_GT(orders.size(), 30u) << "rounds are drawn anew";

    Playlist one;
    one.refresh(files({"a.mp3"}));
    EXPECT_EQ((Names{"a.mp3", "a.mp3", "a.mp3"}), take(one, 3));
}

TEST(Playlist, ShuffleIsUniformOverFirstPositions) {
    // Rounds drawn by refresh, which the repeat guard does not touch: each of four files
    // should open a round a quarter of the time.
    Playlist p;
    const std::vector<MediaFile> pool = files({"a.mp3", "b.mp3", "c.mp3", "d.mp3"});
    std::map<std::string, int> first;
    const int rounds = 40000;
    for (int i = 0; i < rounds; ++i) {
        p.refresh(pool);
        MediaFile f;
        ASSERT_TRUE(p.next(&f));
        ++first[f.name];
        p.refresh({});  // nothing played stays in the round
    }
    ASSERT_EQ(4u, first.size());
    for (const auto& [name, count] : first) EXPECT_NEAR(0.25, double(count) / rounds, 0.015) << name;
}

TEST(Playlist, RestartDrawsAFreshShuffleWithoutTheLastFileFirst) {
    Playlist p;
    p.refresh(files({"a.mp3", "b.mp3", "c.mp3"}));
    for (int i = 0; i < 30; ++i) {
        MediaFile played;
        ASSERT_TRUE(p.next(&played));
        p.restart();
        EXPECT_EQ(0u, p.round_position());
        EXPECT_EQ(3u, p.remaining_in_round());
        MediaFile first;
        ASSERT_TRUE(p.next(&first));
        EXPECT_NE(played.path, first.path);
    }
}

TEST(Playlist, RefreshKeepsWhatPlayedAndMergesTheRest) {
    Playlist p;
    in_name_order(p, files({"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"}), true);
    EXPECT_EQ((Names{"a.mp3", "b.mp3"}), take(p, 2));
    p.refresh(files({"f.mp3", "e.mp3", "b.mp3", "a.mp3", "c.mp3"}));  // d gone, f new
    EXPECT_EQ(2u, p.round_position());
    EXPECT_EQ(3u, p.remaining_in_round());
    EXPECT_EQ((Names{"c.mp3", "e.mp3", "f.mp3", "a.mp3"}), take(p, 4));

    // A played file that disappeared drops out; the round goes on.
    Playlist q;
    in_name_order(q, files({"a.mp3", "b.mp3", "c.mp3"}), false);
    take(q, 2);
    q.refresh(files({"b.mp3", "c.mp3"}));
    EXPECT_EQ(1u, q.round_position());
    EXPECT_EQ((Names{"c.mp3", "-"}), take(q, 2));

    // Shuffled: the rest is drawn anew, the played part stays as it was.
    Playlist s;
    s.refresh(files({"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"}));
    Names first = take(s, 2);
    std::vector<MediaFile> grown = files({"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3", "f.mp3"});
    s.refresh(grown);
    Names rest = take(s, 4);
    std::set<std::string> all(first.begin(), first.end());
    all.insert(rest.begin(), rest.end());
    EXPECT_EQ(6u, all.size()) << "nothing repeats in the round";
}

TEST(Playlist, RefreshWithNewFilesReopensAFinishedPlaylist) {
    Playlist p;
    in_name_order(p, files({"a.mp3", "b.mp3"}), false);
    take(p, 3);
    ASSERT_TRUE(p.finished());
    p.refresh(files({"a.mp3", "b.mp3"}));
    EXPECT_TRUE(p.finished()) << "nothing new";
    p.refresh(files({"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_FALSE(p.finished());
    EXPECT_EQ((Names{"c.mp3", "-"}), take(p, 2));
    EXPECT_TRUE(p.finished());

    p.refresh({});
    EXPECT_EQ(0u, p.size());
    EXPECT_FALSE(p.next(nullptr));
    p.clear();
    EXPECT_FALSE(p.finished());
}

TEST(Playlist, SwitchingShuffleRearrangesOnlyTheUnplayedRest) {
    std::vector<MediaFile> pool;
    for (int i = 0; i < 12; ++i) pool.push_back(file(std::string(1, static_cast<char>('a' + i)) + ".mp3"));
    Playlist p;
    in_name_order(p, pool, false);
    Names played = take(p, 3);
    p.set_shuffle(true);
    EXPECT_TRUE(p.shuffle_on());
    EXPECT_EQ(3u, p.round_position());
    Names shuffled = take(p, 3);
    p.set_shuffle(false);
    Names sorted = take(p, 7);
    EXPECT_EQ((Names{"a.mp3", "b.mp3", "c.mp3"}), played);
    EXPECT_EQ("-", sorted.back());
    sorted.pop_back();
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
    std::set<std::string> all(played.begin(), played.end());
    all.insert(shuffled.begin(), shuffled.end());
    all.insert(sorted.begin(), sorted.end());
    EXPECT_EQ(12u, all.size()) << "the round still holds every file once";
}

TEST(Playlist, ThreadsMayCallAtOnce) {
    Playlist p;
    std::atomic<bool> stop{false};
    std::atomic<int> handed{0};
    std::thread scanner([&] {
        for (int i = 0; i < 300; ++i) {
            std::vector<MediaFile> pool;
            for (int k = 0; k < 20 + i % 7; ++k) pool.push_back(file(std::to_string(k) + ".mp3"));
            p.refresh(std::move(pool));
        }
    });
    std::thread decoder([&] {
        MediaFile f;
        while (!stop)
            if (p.next(&f)) ++handed;
    });
    for (int i = 0; i < 300; ++i) {
        p.set_shuffle(i % 2 == 0);
        p.set_loop(i % 3 != 0);
        p.remaining_in_round();
    }
    scanner.join();
    stop = true;
    decoder.join();
    EXPECT_GT(handed.load(), 0);
    p.set_loop(true);
    EXPECT_EQ(p.size(), p.round_position() + p.remaining_in_round());
}

}  // namespace
