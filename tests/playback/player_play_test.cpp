// The player playing generated MP3 files through a private PulseAudio server: what it reports,
// what reaches the sinks, and how it rides out bad files, a vanished folder and a dead server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

#include "i18n/i18n.h"
#include "playback/player.h"
#include "support/log_count.h"
#include "support/mp3_fixture.h"
#include "support/poll.h"
#include "support/pulse_server.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

const int kRate = 48000;  // the sinks' rate, so nothing is resampled

std::atomic<int64_t> g_fake_now{0};
int64_t fake_now() { return g_fake_now; }

int64_t local_moment(int year, int month, int day, int hour) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm));
}

// RMS in dBFS of the last `seconds` of sound in a stereo recording, leaving out its final tenth
// of a second; -120 when nothing was heard.
double settled_rms_db(const std::vector<short>& rec, double seconds) {
    size_t last = rec.size();
    while (last > 0 && std::abs(rec[last - 1]) < 64) --last;
    const size_t tail = static_cast<size_t>(0.1 * kRate) * 2;
    const size_t span = static_cast<size_t>(seconds * kRate) * 2;
    if (last < tail + span) return -120;
    return rms_dbfs(&rec[last - tail - span], span);
}

class PlayerPlay : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.up());
        server.export_env();
        i18n::set_language("en");
    }

    std::string music() const { return dir / "music"; }
    std::string tone(const std::string& name, double seconds, double freq = 440,
                     double peak_db = -12) const {
        dir.make_dir("music");
        std::string path = encode_mp3(sine(kRate, 2, seconds, freq, peak_db), music() + "/" + name);
        EXPECT_FALSE(path.empty());
        return path;
    }
    // Every file of the folder, by name, once around and again; playback hours off.
    void play(FilterSet rules = FilterSet()) {
        if (rules.root.empty()) rules.root = music();
        rules.win_files = false;
        player.set_shuffle(false);
        player.set_filters(rules);
        player.start();
    }
    FilterSet any_time() const {
        FilterSet rules;
        rules.win_play = false;
        return rules;
    }
    // Takes a fresh status into `seen` and tells whether `done` holds for it. A poll on it
    // leaves in `seen` the status that ended the poll, so that the checks after it judge that
    // moment and not a later one (a loaded machine may come back to the test thread late).
    template <typename Pred>
    bool seen_as(Pred done) {
        seen = player.status();
        return done(seen);
    }
    bool playing(const std::string& name, double from_s = 0) {
        return seen_as([&](const Player::Status& s) {
            return s.state == Player::Playing && s.name == name && s.position >= from_s;
        });
    }
    bool position_below(double s) {
        return seen_as([&](const Player::Status& st) { return st.position < s; });
    }
    // Polls until the round is over; false when it did not end or passed through an error.
    bool finished_without_error() {
        bool erred = false;
        const bool ended = poll_until([&] {
            const Player::State state = player.status().state;
            erred = erred || state == Player::Error;
            return state == Player::Finished;
        }, 30);
        return ended && !erred;
    }
    // Waits until the sink has played `seconds` more of sound into `rec` than it had so far.
    static bool more_sound(const MonitorRecorder& rec, double seconds) {
        const double from = heard_seconds(rec.so_far());
        return poll_until([&] { return heard_seconds(rec.so_far()) >= from + seconds; }, 10);
    }
    // Waits until the output has played on for `seconds` of the track.
    bool plays_on(double seconds) {
        const double from = player.status().position;
        return poll_until([&] { return player.status().position >= from + seconds; }, 10);
    }
    size_t streams() const {
        std::string out = server.pactl({"list", "short", "sink-inputs"}).out;
        return static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
    }
    std::string stream_line() const { return server.pactl({"list", "short", "sink-inputs"}).out; }

    TempDir dir;
    PulseServer server;
    Player player;
    Player::Status seen;
};

TEST_F(PlayerPlay, PlaysATrackAndMetersWhatLeaves) {
    tone("a.mp3", 4);
    Leveler::Config plain;
    plain.on = false;
    player.set_leveler(plain);
    player.set_device("pulse:first");
    MonitorRecorder rec(server, "first");
    ASSERT_TRUE(rec.recording());
    play(any_time());
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 1.5); }, 8));

    Player::Status s = player.status();
    EXPECT_EQ(s.path, music() + "/a.mp3");
    EXPECT_NEAR(s.duration, 4.0, 0.3);
    EXPECT_EQ(s.pool_size, 1u);
    EXPECT_EQ(s.round_pos, 1u);
    EXPECT_EQ(s.device, "Erste Senke");
    EXPECT_EQ(s.wait_seconds, 0);
    EXPECT_NEAR(s.in_db, -15.0, 1.0);  // a sine's RMS lies 3 dB under its peak

    player.take_levels();
    ASSERT_TRUE(plays_on(0.3));
    Player::Levels l = player.take_levels();
    EXPECT_TRUE(l.fresh);
    EXPECT_NEAR(l.peak[0], 0.251, 0.02);
    EXPECT_NEAR(l.peak[1], 0.251, 0.02);
    EXPECT_NEAR(l.rms[0], 0.178, 0.015);
    EXPECT_NEAR(l.rms[1], 0.178, 0.015);

    ASSERT_TRUE(more_sound(rec, 0.5));
    EXPECT_NEAR(settled_rms_db(rec.stop(), 1.0), -15.0, 0.5);

    player.stop();  // the last track and device stay on show
    s = player.status();
    EXPECT_EQ(s.state, Player::Stopped);
    EXPECT_EQ(s.name, "a.mp3");
    EXPECT_EQ(s.path, music() + "/a.mp3");
    EXPECT_GT(s.position, 0.0);
    EXPECT_EQ(s.device, "Erste Senke");
    EXPECT_EQ(streams(), 0u);
}

// At 8000 Hz a tenth of a second is shorter than one MPEG frame; the track must play all the
// same, mono, on a sink of another rate.
TEST_F(PlayerPlay, PlaysLowSampleRatesInMono) {
    dir.make_dir("music");
    ASSERT_FALSE(encode_mp3(sine(8000, 1, 4, 440, -12), music() + "/low.mp3").empty());
    player.set_device("pulse:first");
    MonitorRecorder rec(server, "first");
    ASSERT_TRUE(rec.recording());
    play(any_time());
    EXPECT_TRUE(poll_until([&] { return playing("low.mp3", 1.5); }, 8)) << player.status().state;
    EXPECT_GT(settled_rms_db(rec.stop(), 0.5), -30.0);
}

TEST_F(PlayerPlay, SeekSkipPauseAndResume) {
    tone("a.mp3", 8);
    tone("b.mp3", 8, 880);
    player.set_device("pulse:first");
    play(any_time());
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 0.3); }, 8));

    player.seek(5);
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 4.5); }, 5));
    EXPECT_LT(seen.position, 6.5);
    player.seek(-3);
    EXPECT_TRUE(poll_until([&] { return position_below(1.0); }, 5));
    player.seek(4);
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 3.5); }, 5));
    player.seek_relative(-10);
    EXPECT_TRUE(poll_until([&] { return position_below(1.0); }, 5));
    EXPECT_EQ(seen.name, "a.mp3");

    player.skip();
    EXPECT_TRUE(poll_until([&] { return playing("b.mp3"); }, 5));
    EXPECT_LT(seen.position, 1.0);

    ASSERT_TRUE(poll_until([&] { return playing("b.mp3", 1.0); }, 5));
    player.set_paused(true);
    ASSERT_TRUE(poll_until([&] { return player.status().state == Player::Paused; }, 5));
    EXPECT_TRUE(poll_until([&] { return streams() == 0; }, 5)) << "output left open while paused";
    const double at = player.status().position;
    player.set_paused(false);
    EXPECT_TRUE(poll_until([&] { return playing("b.mp3") && streams() == 1; }, 5));
    // What the ring held at the pause (two seconds) is not heard: the position jumps ahead.
    EXPECT_TRUE(poll_until([&] { return !position_below(at + 1.5); }, 5));
    EXPECT_LT(seen.position, at + 3.0);
}

// Ten seconds at the sink against the decoder's own samples: none lost, none repeated, none
// changed (level matching off, full volume: the limiter's look-ahead only delays them). The
// position follows the sound to the end, also through the last two seconds the ring holds.
TEST_F(PlayerPlay, TheSinkGetsEveryDecodedSampleOnceAndThePositionFollows) {
    dir.make_dir("music");
    const std::string path = encode_mp3(noise(kRate, 2, 11, -20), music() + "/n.mp3");
    std::vector<short> decoded;
    {
        Mp3Stream stream;
        ASSERT_TRUE(stream.open(path));
        std::vector<short> block(4410 * 2);
        for (int got; (got = stream.read(block.data(), 4410)) > 0;)
            decoded.insert(decoded.end(), block.begin(), block.begin() + got * 2);
    }
    Leveler::Config plain;
    plain.on = false;
    player.set_leveler(plain);
    player.set_loop(false);
    player.set_device("pulse:first");
    MonitorRecorder rec(server, "first");
    ASSERT_TRUE(rec.recording());
    play(any_time());
    double last = 0;
    bool forward = true;
    ASSERT_TRUE(poll_until([&] {
        const Player::Status s = player.status();
        forward = forward && s.position >= last;
        last = s.position;
        return s.state == Player::Finished;
    }, 30));
    EXPECT_TRUE(forward) << "the position went back";
    const double end = static_cast<double>(decoded.size() / 2) / kRate;
    EXPECT_GT(last, end - 0.4);
    EXPECT_LT(last, end + 0.05);

    const std::vector<short> heard = rec.stop();
    // The monitor misses the stream's first milliseconds: find where the recording joins.
    const size_t first = std::find_if(heard.begin(), heard.end(), [](short v) { return v != 0; }) -
                         heard.begin();
    const size_t span = 10 * kRate * 2, probe = 64;
    ASSERT_GT(heard.size(), first + span);
    auto joins = std::search(decoded.begin(), decoded.begin() + kRate, heard.begin() + first,
                             heard.begin() + first + probe);
    ASSERT_NE(joins, decoded.begin() + kRate) << "the recording's start is not in the track";
    const size_t at = joins - decoded.begin();
    ASSERT_GE(decoded.size(), at + span);
    auto differs = std::mismatch(heard.begin() + first, heard.begin() + first + span,
                                 decoded.begin() + at);
    EXPECT_EQ(differs.first, heard.begin() + first + span)
        << "differs " << (differs.first - heard.begin() - first) / 2.0 / kRate << " s in";
}

TEST_F(PlayerPlay, ChangingTheDeviceWhilePlaying) {
    tone("a.mp3", 10);
    player.set_device("pulse:first");
    play(any_time());
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 0.3); }, 8));
    EXPECT_EQ(player.status().device, "Erste Senke");
    const std::string before = stream_line();
    player.set_device("pulse:first");  // the same id reopens nothing
    // Long enough for feed steps, which take up a changed device, to have come round.
    const std::chrono::duration<double> feed_steps = 2 * Player::kFeedPause;
    ASSERT_TRUE(plays_on(feed_steps.count()));
    EXPECT_EQ(stream_line(), before);

    MonitorRecorder rec(server, "second");
    ASSERT_TRUE(rec.recording());
    player.set_device("pulse:second");
    EXPECT_TRUE(poll_until([&] { return player.status().device == "second"; }, 5));
    EXPECT_TRUE(more_sound(rec, 1.5));
    EXPECT_NEAR(settled_rms_db(rec.stop(), 0.5), -15.0, 1.5);
    EXPECT_EQ(player.status().state, Player::Playing);
}

// The server moves the stream of a sink that goes away; choosing a sink that is gone falls
// back to the system's default device.
TEST_F(PlayerPlay, AVanishedSinkFallsBackToTheDefault) {
    tone("a.mp3", 10);
    player.set_device("pulse:first");
    play(any_time());
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 0.3); }, 8));
    std::string modules = server.pactl({"list", "short", "modules"}).out;
    size_t at = modules.find("sink_name=first");
    ASSERT_NE(at, std::string::npos);
    size_t line = modules.rfind('\n', at);
    std::string index = modules.substr(line == std::string::npos ? 0 : line + 1);
    index = index.substr(0, index.find('\t'));
    MonitorRecorder rec(server, "second");
    ASSERT_TRUE(rec.recording());
    ASSERT_EQ(server.pactl({"unload-module", index}).exit_code, 0);

    const size_t warned = log_count("Gewaehltes Ausgabegeraet nicht da (pulse:first)");
    player.set_device("pulse:first");  // the same id: nothing to reopen
    player.set_device("pulse:gone");
    // Through ALSA "default", which the test configuration routes to the default sink.
    EXPECT_TRUE(poll_until([&] { return player.status().device == "second"; }, 5));
    EXPECT_TRUE(more_sound(rec, 1.0));
    EXPECT_EQ(player.status().state, Player::Playing);
    EXPECT_NEAR(settled_rms_db(rec.stop(), 0.5), -15.0, 1.5);
    EXPECT_EQ(log_count("Gewaehltes Ausgabegeraet nicht da (pulse:first)"), warned);
    EXPECT_GE(log_count("Tonserver kennt die Senke nicht (mehr): gone"), 1u);
}

TEST_F(PlayerPlay, NewFilterRulesTakeEffectWhilePlaying) {
    tone("a.mp3", 6);
    tone("b.mp3", 6, 880);
    player.set_device("pulse:first");
    play(any_time());
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 0.2); }, 8));
    EXPECT_EQ(player.status().pool_size, 2u);
    FilterSet only_a = any_time();
    only_a.root = music();
    only_a.win_files = false;
    only_a.patterns = "a.mp3";
    player.set_filters(only_a);
    ASSERT_TRUE(poll_until([&] { return player.status().pool_size == 1; }, 5));
    const size_t started = log_count("spielt: ");
    player.skip();  // the round of one file is over: a new round begins with it again
    EXPECT_TRUE(poll_until([&] { return log_count("spielt: ") == started + 1; }, 5));
    EXPECT_TRUE(poll_until([&] { return playing("a.mp3"); }, 5));
}

// The window closes at 20:00 and opens at 06:00 by the player's clock, which the test sets.
TEST_F(PlayerPlay, WaitsOutsideThePlaybackWindowAndResumesWithTheNextTrack) {
    tone("a.mp3", 8);
    tone("b.mp3", 8, 880);
    g_fake_now = local_moment(2024, 5, 6, 12);  // a Monday
    Player::Timing timing;
    timing.now = fake_now;
    player.set_timing(timing);
    player.set_device("pulse:first");
    play();
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 0.3); }, 8));

    g_fake_now = local_moment(2024, 5, 6, 21);
    ASSERT_TRUE(poll_until([&] { return player.status().state == Player::Waiting; }, 5));
    EXPECT_EQ(player.status().wait_seconds, 9 * 3600);
    EXPECT_EQ(player.status().position, 0);
    EXPECT_TRUE(poll_until([&] { return streams() == 0; }, 5)) << "output left open";
    g_fake_now += 100;
    EXPECT_TRUE(poll_until([&] { return player.status().wait_seconds == 9 * 3600 - 100; }, 5));

    g_fake_now = local_moment(2024, 5, 7, 7);
    EXPECT_TRUE(poll_until([&] { return playing("b.mp3"); }, 8));
    EXPECT_LT(seen.position, 1.0);
}

// Unreadable, empty, cut-off and mixed-rate files each get their turn and the round goes on.
TEST_F(PlayerPlay, BadFilesAreSkippedAndTheRoundGoesOn) {
    dir.write_file("music/a_empty.mp3", 0);
    dir.write_text("music/b_text.mp3", std::string(4000, 'x'));
    dir.make_dir("music");
    encode_mp3(silence(kRate, 2, 0.05), music() + "/c_blip.mp3");
    std::string full = tone("full.tmp", 3);
    std::string cut = read_file(full);
    dir.write_text("music/d_cut.mp3", cut.substr(0, cut.size() / 3));
    std::string high = read_file(encode_mp3(sine(kRate, 2, 1, 440, -12), dir / "high.tmp"));
    std::string low = read_file(encode_mp3(sine(22050, 2, 1, 440, -12), dir / "low.tmp"));
    dir.write_text("music/e_mixed.mp3", high + low);
    tone("f_good.mp3", 1);

    FilterSet rules = any_time();
    rules.min_bytes = 0;
    player.set_loop(false);
    player.set_device("pulse:first");
    play(rules);
    ASSERT_TRUE(poll_until([&] { return player.status().state == Player::Finished; }, 30));
    EXPECT_EQ(log_count("nicht lesbar: " + music() + "/a_empty.mp3"), 1u);
    EXPECT_EQ(log_count("nicht lesbar: " + music() + "/b_text.mp3"), 1u);
    EXPECT_EQ(log_count("ohne Ton: " + music() + "/c_blip.mp3"), 1u);
    EXPECT_EQ(log_count("spielt: d_cut.mp3"), 1u);
    EXPECT_EQ(log_count("spielt: e_mixed.mp3"), 1u);
    EXPECT_EQ(log_count("spielt: f_good.mp3"), 1u);
    EXPECT_EQ(player.status().round_pos, 6u);
    EXPECT_EQ(player.status().message, "");
}

// Only a track that plays starts the count of unusable tracks again: 20 broken files, a good
// one and 20 more broken ones never make an error, 44 in a row would.
TEST_F(PlayerPlay, APlayableTrackStartsTheCountOfUnusableOnesAgain) {
    for (int i = 10; i < 30; ++i) {
        dir.write_text("music/a" + std::to_string(i) + ".mp3", std::string(4000, 'x'));
        dir.write_text("music/c" + std::to_string(i) + ".mp3", std::string(4000, 'x'));
    }
    tone("b_good.mp3", 1);
    player.set_loop(false);
    player.set_device("pulse:first");
    play(any_time());
    EXPECT_TRUE(finished_without_error());
    EXPECT_EQ(log_count("nicht lesbar: " + music()), 40u);
    EXPECT_EQ(log_count("spielt: b_good.mp3"), 1u);
}

TEST_F(PlayerPlay, AFolderThatGoesAwayAndComesBack) {
    tone("a.mp3", 1.5);
    Player::Timing timing;
    timing.folder_retry = std::chrono::milliseconds(500);
    player.set_timing(timing);
    player.set_device("pulse:first");
    play(any_time());
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3"); }, 8));

    ASSERT_EQ(std::rename(music().c_str(), (dir / "away").c_str()), 0);
    player.rescan();
    const std::string why = "Folder not reachable: " + music();
    EXPECT_TRUE(poll_until([&] {
        Player::Status s = player.status();
        return s.state == Player::Error && s.message == why;
    }, 8));
    EXPECT_EQ(player.status().pool_size, 1u);

    ASSERT_EQ(std::rename((dir / "away").c_str(), music().c_str()), 0);
    // The folder is tried again twice a second here, so well within the usual 15 s.
    EXPECT_TRUE(poll_until([&] { return playing("a.mp3"); }, 15)) << "did not resume by itself";
}

// An archive job moves most recordings away while one plays: the entries that vanished are
// passed over without counting as unusable, a rescan brings the pool up to date, and what is
// left plays on.
TEST_F(PlayerPlay, RecordingsDeletedDuringPlayAreNotUnusable) {
    for (int i = 0; i < 10; ++i) tone("a" + std::to_string(i) + ".mp3", i == 0 ? 2 : 0.5);
    player.set_loop(false);
    player.set_device("pulse:first");
    play(any_time());
    ASSERT_TRUE(poll_until([&] { return playing("a0.mp3"); }, 8));
    for (int i = 1; i < 9; ++i) std::remove((music() + "/a" + std::to_string(i) + ".mp3").c_str());

    EXPECT_TRUE(finished_without_error());
    EXPECT_EQ(log_count("nicht lesbar: " + music()), 0u);
    EXPECT_EQ(log_count("spielt: a9.mp3"), 1u);
    EXPECT_EQ(player.status().pool_size, 2u);
}

// A press on the progress bar or a skip while stopped must not carry into the next start.
TEST_F(PlayerPlay, RequestsWhileStoppedDoNotCarryIntoTheNextStart) {
    tone("a.mp3", 8);
    tone("b.mp3", 8);
    player.set_device("pulse:first");
    player.seek(5);
    player.skip();
    play(any_time());
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 0.2); }, 8));
    EXPECT_LT(seen.position, 2.0);
    EXPECT_EQ(seen.round_pos, 1u);
}

TEST_F(PlayerPlay, ASoundServerThatDiesAndReturns) {
    tone("a.mp3", 20);
    player.set_device("pulse:first");
    play(any_time());
    ASSERT_TRUE(poll_until([&] { return playing("a.mp3", 0.3); }, 8));

    server.kill();
    EXPECT_TRUE(poll_until([&] { return player.status().state == Player::Error; }, 5));
    EXPECT_NE(player.status().message, "");
    ASSERT_TRUE(server.start());
    EXPECT_TRUE(poll_until([&] { return playing("a.mp3") && streams() == 1; }, 15))
        << "did not resume by itself";
}

}  // namespace
