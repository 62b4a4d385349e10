#include "playback/playlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
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

TEST(Playlist, NameOrderHoldsForNamesSharingLongBeginnings) {
    // Names of a few bytes, among them zero and 0xff, of lengths around the eight-byte steps,
    // many equal to each other: the order must still be that of the whole strings.
    std::mt19937 gen(3);
    const std::string alphabet("aA\xff", 3);
    const std::string zero(1, '\0');
    std::vector<MediaFile> pool;
    for (int i = 0; i < 3000; ++i) {
        std::string name = i % 2 ? "Aufnahme " : "";
        const size_t length = gen() % 19;
        for (size_t k = 0; k < length; ++k) name += (gen() % 5 == 0) ? zero : alphabet.substr(gen() % 3, 1);
        pool.push_back(file(name, "/m/" + std::to_string(gen() % 4)));
    }
    Playlist p;
    in_name_order(p, pool, false);
    auto unsigned_less = [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        });
    };
    std::vector<MediaFile> expected = pool;
    std::sort(expected.begin(), expected.end(), [&](const MediaFile& a, const MediaFile& b) {
        if (a.name != b.name) return unsigned_less(a.name, b.name);
        return unsigned_less(a.path, b.path);
    });
    for (size_t i = 0; i < expected.size(); ++i) {
        MediaFile f;
        ASSERT_TRUE(p.next(&f));
        ASSERT_EQ(expected[i].path, f.path) << "entry " << i;
    }
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

TEST(Playlist, RefreshOfALargePoolFindsEveryPlayedFile) {
    // Enough files for the lookup to meet collisions; the new scan comes in another order, some
    // files are gone, some new, and one played path occurs twice, of which the later counts.
    std::vector<MediaFile> pool;
    for (int i = 0; i < 20000; ++i) pool.push_back(file(std::to_string(i) + ".mp3"));
    Playlist p;
    p.refresh(pool);
    std::set<std::string> played;
    std::string twice;
    for (int i = 0; i < 10000; ++i) {
        MediaFile f;
        ASSERT_TRUE(p.next(&f));
        played.insert(f.path);
        twice = f.path;
    }
    std::vector<MediaFile> scan;
    size_t still_played = 0;
    for (int i = 19999; i >= 0; --i) {
        if (i % 10 == 0 && pool[i].path != twice) continue;
        scan.push_back(pool[i]);
        still_played += played.count(pool[i].path);
    }
    for (int i = 0; i < 500; ++i) scan.push_back(file("new " + std::to_string(i) + ".mp3"));
    scan.push_back(pool[0]);
    scan.back().path = twice;
    scan.back().size = 2;
    p.refresh(scan);
    EXPECT_EQ(still_played, p.round_position());
    ASSERT_EQ(scan.size() - still_played, p.remaining_in_round());
    std::set<std::string> rest;
    for (size_t i = scan.size() - still_played; i > 0; --i) {
        MediaFile f;
        ASSERT_TRUE(p.next(&f));
        EXPECT_TRUE(rest.insert(f.path).second) << f.path;
        EXPECT_TRUE(f.path == twice ? f.size == 1000 : played.count(f.path) == 0) << f.path;
    }
    EXPECT_EQ(1u, rest.count(twice)) << "the earlier record of a path found twice is unplayed";
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

// Changes merged without a walk give the round that a refresh with the changed pool gives: in
// name order, the same names in the same order, played files first and never again.
TEST(Playlist, AmendedChangesMergeAsARefreshWould) {
    struct Case {
        const char* what;
        int played;
        std::vector<MediaFile> arrived;
        std::vector<std::string> gone;
    };
    MediaFile bigger = file("b.mp3");
    bigger.size = 5000;
    const std::vector<Case> cases = {
        {"new files", 2, files({"0.mp3", "bb.mp3", "z.mp3"}), {}},
        {"a played and an unplayed file go", 2, {}, {"/m/a.mp3", "/m/d.mp3"}},
        {"a played file is rewritten", 2, {bigger}, {}},
        {"gone and back in one batch", 1, {file("c.mp3")}, {"/m/c.mp3"}},
        {"unknown paths go", 1, {}, {"/m/none.mp3"}},
        {"everything goes", 3, {}, {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3", "/m/d.mp3", "/m/e.mp3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Playlist amended, refreshed;
        const std::vector<MediaFile> pool = files({"e.mp3", "a.mp3", "d.mp3", "b.mp3", "c.mp3"});
        for (Playlist* p : {&amended, &refreshed}) {
            in_name_order(*p, pool, false);
            take(*p, c.played);
        }
        amended.amend(c.arrived, c.gone);
        std::vector<MediaFile> changed;
        for (const MediaFile& f : pool)
            if (std::find(c.gone.begin(), c.gone.end(), f.path) == c.gone.end()) changed.push_back(f);
        for (const MediaFile& f : c.arrived) {
            auto same = [&](const MediaFile& g) { return g.path == f.path; };
            changed.erase(std::remove_if(changed.begin(), changed.end(), same), changed.end());
            changed.push_back(f);
        }
        refreshed.refresh(changed);
        EXPECT_EQ(refreshed.size(), amended.size());
        EXPECT_EQ(refreshed.round_position(), amended.round_position());
        EXPECT_EQ(refreshed.finished(), amended.finished());
        std::vector<MediaFile> a(8), r(8);
        for (size_t i = 0; i < a.size(); ++i) {
            ASSERT_EQ(refreshed.next(&r[i]), amended.next(&a[i])) << "entry " << i;
            EXPECT_EQ(r[i].path, a[i].path) << "entry " << i;
            EXPECT_EQ(r[i].size, a[i].size) << "entry " << i;
        }
    }
}

// Shuffled, a new file may land anywhere in the unplayed rest, and nothing played comes again.
TEST(Playlist, AmendedFilesJoinTheShuffledRestAnywhere) {
    std::map<int, int> at;
    for (int trial = 0; trial < 2000; ++trial) {
        Playlist p;
        p.set_loop(false);
        p.refresh(files({"a.mp3", "b.mp3", "c.mp3", "d.mp3"}));
        const Names played = take(p, 1);
        p.amend({file("new.mp3")}, {});
        const Names rest = take(p, 5);
        ASSERT_EQ("-", rest[4]);
        ASSERT_EQ(rest.end(), std::find(rest.begin(), rest.end(), played[0]));
        ++at[static_cast<int>(std::find(rest.begin(), rest.end(), "new.mp3") - rest.begin())];
    }
    ASSERT_EQ(4u, at.size());
    for (const auto& [place, count] : at) EXPECT_NEAR(0.25, count / 2000.0, 0.05) << place;
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
    std::atomic<bool> decoding{false};
    // The decoder is already calling when the others begin, so that a slow thread start on a
    // busy machine cannot leave the threads without overlap. Whether any of its calls finds a
    // file depends on the scheduling (with loop off it may use up every round at once), so only
    // the state afterwards is checked.
    std::thread decoder([&] {
        MediaFile f;
        while (!stop) {
            decoding = true;
            p.next(&f);
        }
    });
    while (!decoding) std::this_thread::yield();
    std::thread scanner([&] {
        for (int i = 0; i < 300; ++i) {
            std::vector<MediaFile> pool;
            for (int k = 0; k < 20 + i % 7; ++k) pool.push_back(file(std::to_string(k) + ".mp3"));
            p.refresh(std::move(pool));
        }
    });
    for (int i = 0; i < 300; ++i) {
        p.set_shuffle(i % 2 == 0);
        p.set_loop(i % 3 != 0);
        p.remaining_in_round();
    }
    scanner.join();
    stop = true;
    decoder.join();
    p.set_loop(true);
    EXPECT_EQ(25u, p.size());  // the last scan: 20 + 299 % 7 files
    EXPECT_EQ(p.size(), p.round_position() + p.remaining_in_round());
    EXPECT_TRUE(p.next(nullptr));
}

}  // namespace
