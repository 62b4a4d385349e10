#include "support/sink_level.h"

#include "support/mp3_fixture.h"
#include "support/poll.h"

namespace testsupport {

std::vector<short> record(const PulseServer& server, double seconds, const std::string& sink) {
    MonitorRecorder rec(server, sink);
    const size_t samples = static_cast<size_t>(seconds * 48000) * 2;
    poll_until([&] { return !rec.recording() || rec.so_far().size() >= samples; }, seconds + 10);
    return rec.stop();
}

double level_over(const PulseServer& server, double seconds, const std::string& sink) {
    return rms_dbfs(record(server, seconds, sink));
}

bool turns_silent(const PulseServer& server, const std::string& sink) {
    return poll_until([&] { return level_over(server, 0.5, sink) < -60; }, 15);
}

bool turns_audible(const PulseServer& server, const std::string& sink) {
    return poll_until([&] { return level_over(server, 0.5, sink) > -30; }, 15);
}

}  // namespace testsupport
