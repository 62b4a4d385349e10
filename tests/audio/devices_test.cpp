#include <gtest/gtest.h>

#include <chrono>

#include "audio/audio_out.h"
#include "audio/device_names.h"
#include "support/pulse_server.h"

using testsupport::PulseServer;
using testsupport::PulseServerOptions;

namespace {

// ALSA entries the list must leave out, next to ones it must show.
PulseServerOptions with_alsa_decoys() {
    PulseServerOptions o;
    o.extra_alsa_config =
        "pcm.dmix_decoy { type null hint { show on description \"d\" } }\n"
        "pcm.dsnoop_decoy { type null hint { show on description \"d\" } }\n"
        "pcm.surround_decoy { type null hint { show on description \"d\" } }\n"
        "pcm.qm_two_lines { type null hint { show on description \"Erste Zeile\nZweite\" } }\n";
    return o;
}

const AudioOut::Device* find(const std::vector<AudioOut::Device>& list, const std::string& id) {
    for (const auto& d : list)
        if (d.id == id) return &d;
    return nullptr;
}

class DeviceList : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new PulseServer(with_alsa_decoys());
        server->export_env();
    }
    static void TearDownTestSuite() { delete server; }
    void SetUp() override {
        if (!server->skip_reason().empty()) GTEST_SKIP() << server->skip_reason();
        ASSERT_TRUE(server->start());
        server->export_env();
    }
    static PulseServer* server;
};
PulseServer* DeviceList::server = nullptr;

TEST_F(DeviceList, ServerSinksInServerOrderWithItsDefault) {
    auto list = AudioOut::devices();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].id, "pulse:first");
    EXPECT_EQ(list[0].name, "Erste Senke");
    EXPECT_FALSE(list[0].is_default);
    EXPECT_EQ(list[1].id, "pulse:second");
    EXPECT_EQ(list[1].name, "second");  // empty description: listed by its sink name
    EXPECT_TRUE(list[1].is_default);

    EXPECT_EQ(device_names::server_name_for("default"), "second");
    EXPECT_EQ(device_names::server_name_for("pulse:first"), "Erste Senke");
    EXPECT_EQ(device_names::server_name_for("qm_capture"), "");

    // A new default on the server shows in the next query and in the cache.
    ASSERT_EQ(server->pactl({"set-default-sink", "first"}).exit_code, 0);
    list = AudioOut::devices();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_TRUE(list[0].is_default);
    EXPECT_FALSE(list[1].is_default);
    EXPECT_EQ(device_names::server_name_for("default"), "Erste Senke");
    server->pactl({"set-default-sink", "second"});
}

TEST_F(DeviceList, WithoutServerAlsaHintsAreFilteredAndCacheKept) {
    AudioOut::devices();  // fills the cache from the server
    server->kill();
    auto t0 = std::chrono::steady_clock::now();
    auto list = AudioOut::devices();
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(took, 2.5);

    const AudioOut::Device* def = find(list, "default");
    ASSERT_NE(def, nullptr);
    EXPECT_TRUE(def->is_default);
    EXPECT_EQ(def->name, "Privater Tonserver");
    const AudioOut::Device* two = find(list, "qm_two_lines");
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->name, "Erste Zeile");
    EXPECT_FALSE(two->is_default);
    ASSERT_NE(find(list, "qm_capture"), nullptr);
    for (const auto& d : list) {
        EXPECT_NE(d.id, "null");
        for (const char* prefix : {"hw:", "dmix", "dsnoop", "surround", "hdmi:", "pulse:"})
            EXPECT_NE(d.id.rfind(prefix, 0), 0u) << d.id;
    }
    // The ALSA listing leaves what the last server query cached.
    EXPECT_EQ(device_names::server_name_for("pulse:first"), "Erste Senke");
    EXPECT_EQ(device_names::server_name_for("default"), "second");
}

TEST_F(DeviceList, HungServerCostsAboutTwoSecondsThenAlsa) {
    server->freeze();
    auto t0 = std::chrono::steady_clock::now();
    auto list = AudioOut::devices();
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    server->thaw();
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 3.5);  // the limit, releasing the query and listing ALSA
    EXPECT_NE(find(list, "default"), nullptr);
    EXPECT_EQ(find(list, "pulse:first"), nullptr);
}

TEST_F(DeviceList, SinkListChangesReplaceTheCache) {
    auto r = server->pactl({"load-module", "module-null-sink", "sink_name=third",
                            "sink_properties=device.description=Dritte"});
    ASSERT_EQ(r.exit_code, 0);
    auto list = AudioOut::devices();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(device_names::server_name_for("pulse:third"), "Dritte");
    server->pactl({"unload-module", r.out.substr(0, r.out.find('\n'))});
    EXPECT_EQ(AudioOut::devices().size(), 2u);
    EXPECT_EQ(device_names::server_name_for("pulse:third"), "");
}

}  // namespace
