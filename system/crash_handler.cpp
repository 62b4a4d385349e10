#include "system/crash_handler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/fileio.h"
#include "system/version.h"

namespace crash_handler {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGABRT, SIGFPE, SIGBUS, SIGILL, SIGTRAP};
constexpr int kMaxFrames = 48;

// Filled before any crash can be handled, only read inside the handler.
char g_report_path[1024];
char g_log_path[1024];

void copy_cut(char (&dst)[1024], const char* src) {
    std::snprintf(dst, sizeof dst, "%s", src);
}

// Everything below runs inside the signal handler: plain system calls, no allocation, no stdio.
void put(int fd, const char* text) {
    size_t len = std::strlen(text);
    while (len > 0) {
        ssize_t n = write(fd, text, len);
        if (n <= 0) return;
        text += n;
        len -= static_cast<size_t>(n);
    }
}

void put_env_line(int fd, const char* label, const char* var) {
    const char* value = getenv(var);
    if (!value || !*value) return;
    put(fd, label);
    put(fd, value);
    put(fd, "\n");
}

void put_number(int fd, long long value) {
    char buf[24];
    char* p = buf + sizeof buf;
    *--p = '\0';
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0) *--p = '-';
    put(fd, p);
}

const char* signal_name(int sig) {
    switch (sig) {
        case SIGILL: return "SIGILL (Illegal instruction)";
        case SIGTRAP: return "SIGTRAP (Trap - usually a fatal GLib/GTK error)";
        case SIGABRT: return "SIGABRT (Abort)";
        case SIGBUS: return "SIGBUS (Bus error)";
        case SIGFPE: return "SIGFPE (Floating point exception)";
        case SIGSEGV: return "SIGSEGV (Segmentation fault)";
        default: return "unknown signal";
    }
}

void write_report(int fd, int sig) {
    put(fd, "=== Quavermill crash report ===\nVersion: ");
    put(fd, version::kVersion);
    put(fd, " (Build ");
    put(fd, version::kBuild);
    put(fd, ")\n");
    put_env_line(fd, "Snap revision: ", "SNAP_REVISION");
    put(fd, "Signal: ");
    put(fd, signal_name(sig));
    put(fd, "\nTime (unix): ");
    put_number(fd, static_cast<long long>(time(nullptr)));
    put(fd, "\n");
    struct utsname sys;
    if (uname(&sys) == 0) {
        put(fd, "System: ");
        put(fd, sys.sysname);
        put(fd, " ");
        put(fd, sys.release);
        put(fd, " ");
        put(fd, sys.machine);
        put(fd, "\n");
    }
    put_env_line(fd, "Desktop: ", "XDG_CURRENT_DESKTOP");
    put_env_line(fd, "Session: ", "XDG_SESSION_TYPE");
    put(fd, "\nBacktrace:\n");
    void* frames[kMaxFrames];
    backtrace_symbols_fd(frames, backtrace(frames, kMaxFrames), fd);
    put(fd, "\nLog (written up to the crash):\n  ");
    put(fd, g_log_path[0] ? g_log_path : "(unknown)");
    put(fd, "\n=== end of report ===\n");
}

// The report may lie in /tmp, where anyone can plant a link or a file of their own under its
// name: it is not opened through a link, and only a file of this user is emptied and written.
void on_fatal_signal(int sig) {
    struct stat st;
    int fd = fileio::open_regular(g_report_path, O_WRONLY | O_CREAT | O_NOFOLLOW, 0600, &st);
    if (fd >= 0) {
        if (st.st_uid == geteuid() && fchmod(fd, 0600) == 0 && ftruncate(fd, 0) == 0)
            write_report(fd, sig);
        close(fd);
    }
    // The handler was reset on entry, so this ends the process the way the signal would have.
    raise(sig);
}

}  // namespace

void install() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (!dir || !*dir) dir = "/tmp";
    std::snprintf(g_report_path, sizeof g_report_path, "%s/%s_crash.txt", dir, version::kProduct);
    // backtrace loads its unwinder lazily; do that now, not inside the handler.
    void* warm[1];
    backtrace(warm, 1);
    struct sigaction action {};
    action.sa_handler = on_fatal_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int sig : kFatalSignals) sigaction(sig, &action, nullptr);
}

void set_log_path(const std::string& path) { copy_cut(g_log_path, path.c_str()); }

}  // namespace crash_handler
