#include "system/logger.h"

#include <fcntl.h>

#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>

#include "core/fileio.h"

namespace logger {

namespace {

constexpr size_t kTailLines = 500;

std::mutex g_mutex;
std::string g_path;
fileio::File g_file;
std::deque<std::string> g_tail;

std::string clock_prefix() {
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return buf;
}

void write_line(const char* tag, const std::string& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::string line = clock_prefix() + " " + tag + " " + text;
    g_tail.push_back(line);
    if (g_tail.size() > kTailLines) g_tail.pop_front();
    if (g_file) {
        // Flushed per line so the file is complete up to a crash.
        std::fwrite(line.data(), 1, line.size(), g_file.get());
        std::fputc('\n', g_file.get());
        std::fflush(g_file.get());
    }
}

}  // namespace

void init(const std::string& dir, const std::string& name) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_file) return;
    g_path = dir + "/" + name + ".log";
    // Appending: when another start empties the file, the next line goes to its new end
    // instead of the old offset, which would leave a hole of zero bytes before it.
    g_file = fileio::open_stream(g_path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0666, "a");
}

void shutdown() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_file.reset();
}

std::string file_path() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_path;
}

void info(const std::string& text) { write_line("INFO ", text); }
void warn(const std::string& text) { write_line("WARN ", text); }
void error(const std::string& text) { write_line("FEHLER", text); }

std::vector<std::string> tail(size_t n) {
    std::lock_guard<std::mutex> lock(g_mutex);
    size_t count = n < g_tail.size() ? n : g_tail.size();
    return std::vector<std::string>(g_tail.end() - static_cast<std::ptrdiff_t>(count), g_tail.end());
}

}  // namespace logger
