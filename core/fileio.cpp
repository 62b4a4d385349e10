#include "core/fileio.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace fileio {

int open_regular(const char* path, int flags, mode_t mode, struct stat* st) {
    int fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    struct stat own;
    struct stat* status = st ? st : &own;
    int fl = fstat(fd, status) == 0 && S_ISREG(status->st_mode) ? fcntl(fd, F_GETFL) : -1;
    if (fl < 0 || fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool Fd::close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
}

File open_stream(const std::string& path, int flags, mode_t mode, const char* stdio_mode) {
    int fd = open_regular(path.c_str(), flags, mode);
    if (fd < 0) return nullptr;
    File f(fdopen(fd, stdio_mode));
    if (!f) ::close(fd);
    return f;
}

bool read_file(const std::string& path, std::string* out) {
    out->clear();
    struct stat st;
    Fd fd(open_regular(path.c_str(), O_RDONLY, 0, &st));
    if (!fd.ok()) return false;
    out->reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            out->clear();
            return false;
        }
        if (n == 0) return true;
        out->append(buf, static_cast<size_t>(n));
    }
}

}  // namespace fileio
