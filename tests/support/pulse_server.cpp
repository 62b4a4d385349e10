#include "support/pulse_server.h"

#include "support/child.h"

#include <signal.h>
#include <sys/stat.h>

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

std::string null_sink_module(const NullSink& sink) {
    return "module-null-sink sink_name=" + sink.name +
           " format=s16le rate=48000 channels=2"
           " sink_properties='device.description=\"" + sink.description + "\"'";
}

}  // namespace

PulseServer::PulseServer() : PulseServer(PulseServerOptions{}) {}

PulseServer::PulseServer(PulseServerOptions options)
    : options_(std::move(options)), socket_(dir_ / "native") {
    dir_.make_dir("runtime");
    dir_.make_dir("state");
    write_alsa_config();
    start();
}

PulseServer::~PulseServer() {
    thaw();
    if (pid_ > 0) end_child(pid_, SIGTERM, std::chrono::milliseconds(3000));
}

bool PulseServer::start() {
    if (pid_ > 0 && !exited(pid_)) return true;
    pid_ = -1;
    std::vector<std::string> argv{
        "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
        "--realtime=no", "--high-priority=no", "--no-cpu-limit", "--log-target=stderr",
        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket_};
    for (const NullSink& sink : options_.sinks) argv.push_back("--load=" + null_sink_module(sink));
    EnvChanges env{{"HOME", dir_.path()},
                   {"PULSE_RUNTIME_PATH", dir_ / "runtime"},
                   {"PULSE_STATE_PATH", dir_ / "state"},
                   {"XDG_RUNTIME_DIR", dir_ / "runtime"}};
    pid_ = spawn(argv, env, dir_ / "server.log", dir_ / "server.log");
    if (pid_ < 0) return false;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        if (exited(pid_)) break;
        if (pactl({"info"}).exit_code == 0) {
            if (!options_.default_sink.empty()) pactl({"set-default-sink", options_.default_sink});
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill();
    return false;
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

std::vector<short> MonitorRecorder::stop() {
    if (pid_ > 0) end_child(pid_, SIGINT, std::chrono::milliseconds(2000));
    pid_ = -1;
    std::string bytes = read_file(dir_ / "monitor.raw");
    std::vector<short> samples(bytes.size() / sizeof(short));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(short));
    return samples;
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
