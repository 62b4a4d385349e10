// What a sink of the test's sound server plays, judged from recordings of its monitor, for the
// tests that drive the built program and listen to the result. A recording lasts until it holds
// the time asked for: a fixed sleep gives less sound on a loaded machine.
#pragma once
#include <string>
#include <vector>

#include "support/pulse_server.h"

namespace testsupport {

// `seconds` of what `sink` plays, as MonitorRecorder records it; shorter only when the
// recorder fails or falls behind by more than 10 s.
std::vector<short> record(const PulseServer& server, double seconds,
                          const std::string& sink = "second");
// The level of such a recording in dBFS; -120 when silent.
double level_over(const PulseServer& server, double seconds, const std::string& sink = "second");
// Whether a half second of silence (under -60 dBFS), or of sound (over -30 dBFS), comes within
// a generous bound: a key or a click takes effect when the program gets to it, later on a loaded
// machine.
bool turns_silent(const PulseServer& server, const std::string& sink = "second");
bool turns_audible(const PulseServer& server, const std::string& sink = "second");

}  // namespace testsupport
