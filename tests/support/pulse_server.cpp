#include "support/pulse_server.h"

#include "support/child.h"
#include "support/poll.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;
const char kSystemAlsaConfig[] = "/usr/share/alsa/alsa.conf";

off_t file_size(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

std::string last_line(const std::string& text) {
    size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos) return "(no output)";
    const size_t newline = text.rfind('\n', end);
    const size_t begin = newline == std::string::npos ? 0 : newline + 1;
    return text.substr(begin, end + 1 - begin);
}

bool on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t stop = dirs.find(':', start);
        if (stop == std::string::npos) stop = dirs.size();
        if (access((dirs.substr(start, stop - start) + "/" + program).c_str(), X_OK) == 0) return true;
        start = stop + 1;
    }
    return false;
}

std::string null_sink_arguments(const NullSink& sink) {
    return "sink_name=" + sink.name +
           " format=s16le rate=48000 channels=2"
           " sink_properties='device.description=\"" + sink.description + "\"'";
}

}  // namespace

PulseServer::PulseServer() : PulseServer(PulseServerOptions{}) {}

PulseServer::PulseServer(PulseServerOptions options)
    : options_(std::move(options)),
      pipewire_(std::getenv("QM_TEST_SOUND_SERVER") &&
                std::string(std::getenv("QM_TEST_SOUND_SERVER")) == "pipewire"),
      socket_(pipewire_ ? dir_ / "runtime/pulse/native" : dir_ / "native") {
    dir_.make_dir("runtime");
    dir_.make_dir("state");
    write_alsa_config();
    if (pipewire_ && !start_pipewire_daemons()) return;
    if (!start() && pipewire_)
        skip_reason_ = "pipewire-pulse did not start: " + last_line(read_file(dir_ / "server.log"));
}

PulseServer::~PulseServer() {
    thaw();
    if (pid_ > 0) end_child(pid_, SIGTERM, std::chrono::milliseconds(3000));
    for (auto it = daemons_.rbegin(); it != daemons_.rend(); ++it)
        end_child(*it, SIGTERM, std::chrono::milliseconds(3000));
}

bool PulseServer::start() {
    if (pid_ > 0 && !exited(pid_)) return true;
    pid_ = -1;
    if (!skip_reason_.empty()) return false;
    pid_ = spawn_server();
    if (pid_ < 0) return false;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        if (exited(pid_)) break;
        if (pactl({"info"}).exit_code == 0) {
            if (pipewire_ && !load_sinks()) break;
            if (options_.default_sink.empty()) return true;
            // PipeWire keeps the choice where its session manager publishes it, which may not be
            // there yet, so it is made again until it shows.
            if (poll_until([&] {
                    pactl({"set-default-sink", options_.default_sink});
                    return pactl({"get-default-sink"}).out == options_.default_sink + "\n";
                }, 10))
                return true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill();
    return false;
}

pid_t PulseServer::spawn_server() {
    if (pipewire_)
        return spawn({"pipewire-pulse"}, daemon_env(), dir_ / "server.log", dir_ / "server.log");
    std::vector<std::string> argv{
        "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
        "--realtime=no", "--high-priority=no", "--no-cpu-limit", "--log-target=stderr",
        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_};
    for (const NullSink& sink : options_.sinks) argv.push_back("--load=module-null-sink " + null_sink_arguments(sink));
    EnvChanges env{{"HOME", dir_.path()},
                   {"PULSE_RUNTIME_PATH", dir_ / "runtime"},
                   {"PULSE_STATE_PATH", dir_ / "state"},
                   {"XDG_RUNTIME_DIR", dir_ / "runtime"}};
    return spawn(argv, env, dir_ / "server.log", dir_ / "server.log");
}

// pactl hands the words after the module's name to the server joined by blanks.
bool PulseServer::load_sinks() const {
    for (const NullSink& sink : options_.sinks)
        if (pactl({"load-module", "module-null-sink", null_sink_arguments(sink)}).exit_code != 0)
            return false;
    return true;
}

EnvChanges PulseServer::daemon_env() const {
    return {{"HOME", dir_.path()},
            {"XDG_RUNTIME_DIR", dir_ / "runtime"},
            {"PIPEWIRE_RUNTIME_DIR", dir_ / "runtime"},
            {"XDG_CONFIG_HOME", dir_ / "config"},
            {"XDG_STATE_HOME", dir_ / "state"},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (dir_ / "bus")}};
}

// The bus first (the session manager asks it for its name), then the graph, which must listen
// before the session manager and pipewire-pulse connect to it.
bool PulseServer::start_pipewire_daemons() {
    for (const char* program : {"dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse", "pactl"}) {
        if (!on_path(program)) {
            skip_reason_ = std::string(program) + " is not installed";
            return false;
        }
    }
    const std::string log = dir_ / "server.log";
    struct Step {
        std::vector<std::string> argv;
        std::string socket;  // "" when nothing is waited for
    };
    const Step steps[] = {
        {{"dbus-daemon", "--session", "--nofork", "--nopidfile",
          "--address=unix:path=" + (dir_ / "bus")}, dir_ / "bus"},
        {{"pipewire"}, dir_ / "runtime/pipewire-0"},
        {{"wireplumber"}, ""},
    };
    for (const Step& step : steps) {
        const pid_t pid = spawn(step.argv, daemon_env(), log, log);
        bool died = pid < 0;
        if (!died && !step.socket.empty())
            poll_until([&] { return (died = exited(pid)) || file_size(step.socket) >= 0; }, 10);
        if (!died) daemons_.push_back(pid);
        if (!died && (step.socket.empty() || file_size(step.socket) >= 0)) continue;
        skip_reason_ = step.argv[0] + " did not start: " + last_line(read_file(log));
        return false;
    }
    return true;
}

void PulseServer::kill() {
    if (pid_ <= 0) return;
    thaw();
    end_child(pid_, SIGKILL, std::chrono::milliseconds(3000));
    pid_ = -1;
}

void PulseServer::freeze() {
    if (pid_ > 0) ::kill(pid_, SIGSTOP);
}

void PulseServer::thaw() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
}

EnvChanges PulseServer::env() const {
    return {{"PULSE_SERVER", address()},
            {"ALSA_CONFIG_PATH", std::string(kSystemAlsaConfig) + ":" + (dir_ / "asound.conf")}};
}

void PulseServer::export_env() const {
    for (const auto& [name, value] : env()) setenv(name.c_str(), value.c_str(), 1);
}

RunResult PulseServer::pactl(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{"pactl", "--server=" + address()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, {}, {}, 10);
}

void PulseServer::write_alsa_config() const {
    const std::string server = "server \"" + address() + "\"";
    std::ofstream conf(dir_ / "asound.conf");
    conf << "pcm.!default { type pulse " << server
         << " hint { show on description \"Privater Tonserver\nueber das Pulse-Plugin\" } }\n"
         << "ctl.!default { type pulse " << server << " }\n"
         << "pcm.qm_capture { type file slave.pcm { type pulse " << server << " }"
         << " file \"" << capture_path() << "\" format \"raw\""
         << " hint { show on description \"Mitschnitt\" } }\n"
         << options_.extra_alsa_config << "\n";
}

MonitorRecorder::MonitorRecorder(const PulseServer& server, const std::string& sink) {
    const std::string out = dir_ / "monitor.raw";
    pid_ = spawn({"parec", "--server=" + server.address(), "--device=" + sink + ".monitor",
                  "--format=s16le", "--rate=48000", "--channels=2", "--raw",
                  "--latency-msec=10"},
                 {}, out, "/dev/null");
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (pid_ > 0 && Clock::now() < deadline && !exited(pid_)) {
        if (file_size(out) > 0) {
            recording_ = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

MonitorRecorder::~MonitorRecorder() {
    if (pid_ > 0) end_child(pid_, SIGKILL, std::chrono::milliseconds(1000));
}

std::vector<short> MonitorRecorder::so_far() const {
    std::string bytes = read_file(dir_ / "monitor.raw");
    std::vector<short> samples(bytes.size() / sizeof(short));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(short));
    return samples;
}

std::vector<short> MonitorRecorder::stop() {
    if (pid_ > 0) end_child(pid_, SIGINT, std::chrono::milliseconds(2000));
    pid_ = -1;
    return so_far();
}

double heard_seconds(const std::vector<short>& recording) {
    size_t loud = 0;
    for (size_t i = 0; i + 1 < recording.size(); i += 2)
        if (std::abs(recording[i]) > 256) ++loud;
    return static_cast<double>(loud) / 48000;
}

}  // namespace testsupport

// libpulse hands data between its threads and the server through a lock-free ring in shared
// memory and its own atomics, none of which ThreadSanitizer sees; without these suppressions every
// test program that plays through this server would report races inside those libraries.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulse.so\n"
           "race:libpulsecommon\n"
           "race:libpulse-simple.so\n"
           "race:libasound_module_pcm_pulse.so\n";
}
