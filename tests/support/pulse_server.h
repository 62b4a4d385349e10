// A private PulseAudio server for tests, so that no test depends on (or disturbs) a sound server
// of the machine. Each instance lives in a fresh temporary folder with its own runtime and state
// directories and one unix socket, carries null sinks (s16le, 48000 Hz, stereo) and writes an ALSA
// configuration in which "default" reaches this server through the pulse plugin and the PCM
// "qm_capture" plays into it while copying the raw bytes to capture_path().
//
//   testsupport::PulseServer server;            // started; ASSERT_TRUE(server.up())
//   server.export_env();                        // this process now uses it (no output running!)
//   run_quavermill({"--devices"}, home, server.env());   // or hand it to a child
//   testsupport::MonitorRecorder rec(server, "first");   // parec on first.monitor
//   ... play ...;  std::vector<short> pcm = rec.stop();
//   server.kill();  server.start();             // a crash of the server and its return
//
// With the default options the sinks are "first" (description "Erste Senke") and "second" (empty
// description), and "second" is the default sink. The server is stopped with the object. Tests
// that kill their server use an instance of their own, so parallel test processes never meet.
// Create and destroy it on one thread that outlives it (the test's main thread): the server and
// parec are killed when the thread that started them ends, so a crashed test leaves nothing.
//
// With QM_TEST_SOUND_SERVER=pipewire in the environment the same object runs what a Debian 12
// desktop runs instead: pipewire and wireplumber on a private session bus (dbus-daemon) and
// runtime folder, and pipewire-pulse as "the server" that start, kill and freeze act on; its null
// sinks are loaded through pactl after every start, as they go with the process. When that stack
// cannot start on the machine, skip_reason() says why and the test skips.
//
// Two habits of null sinks worth knowing: while nothing records a sink it may take up to 2 s to
// begin consuming a new stream (a MonitorRecorder on it makes it keep time), and its monitor
// misses the first few milliseconds of a stream that joins (let a signal start after a short
// lead of silence).
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace testsupport {

struct NullSink {
    std::string name;
    std::string description;  // "" gives the sink an empty description
};

struct PulseServerOptions {
    std::vector<NullSink> sinks{{"first", "Erste Senke"}, {"second", ""}};
    std::string default_sink = "second";
    std::string extra_alsa_config;  // appended to the ALSA configuration
};

class PulseServer {
public:
    PulseServer();
    explicit PulseServer(PulseServerOptions options);
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Starts the server (again, after kill) and waits up to 10 s until it answers.
    bool start();
    // Ends the server at once with SIGKILL, as a crash would; the socket then refuses clients.
    void kill();
    // Stops and resumes the server process (SIGSTOP/SIGCONT): it then accepts connections but
    // never answers, like a hung server.
    void freeze();
    void thaw();
    bool up() const { return pid_ > 0; }
    // Not empty when the chosen server's programs cannot run here at all (test: GTEST_SKIP).
    const std::string& skip_reason() const { return skip_reason_; }
    bool pipewire() const { return pipewire_; }

    std::string address() const { return "unix:" + socket_; }  // the PULSE_SERVER value
    std::string capture_path() const { return dir_ / "capture.raw"; }
    // PULSE_SERVER and ALSA_CONFIG_PATH for a child process.
    EnvChanges env() const;
    // Sets the same variables in this process (only while no audio thread of it runs).
    void export_env() const;
    // Runs pactl against this server.
    RunResult pactl(const std::vector<std::string>& args) const;

private:
    void write_alsa_config() const;
    pid_t spawn_server();
    bool start_pipewire_daemons();
    bool load_sinks() const;
    EnvChanges daemon_env() const;

    PulseServerOptions options_;
    TempDir dir_;
    bool pipewire_;
    std::string socket_;
    pid_t pid_ = -1;
    std::vector<pid_t> daemons_;  // dbus-daemon, pipewire, wireplumber: started in this order
    std::string skip_reason_;
};

// Records the monitor of one sink of `server` with parec as raw s16le, 48000 Hz, stereo.
class MonitorRecorder {
public:
    MonitorRecorder(const PulseServer& server, const std::string& sink);
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    // Whether parec connected (its first bytes arrived within 5 s of construction).
    bool recording() const { return recording_; }
    // The interleaved samples that have arrived so far; the recording goes on.
    std::vector<short> so_far() const;
    // Ends the recording and returns the interleaved samples.
    std::vector<short> stop();

private:
    TempDir dir_;
    pid_t pid_ = -1;
    bool recording_ = false;
};

// Seconds of sound in a recording of MonitorRecorder: frames whose left sample is above silence.
double heard_seconds(const std::vector<short>& recording);

}  // namespace testsupport
