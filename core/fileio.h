// Opening files so that a named pipe, a device or a folder found where a file is expected can
// neither hold the program up nor be taken for the file: such an open fails like that of a file
// that is not there. No state; any thread. open_regular is async-signal-safe.
#pragma once
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>

namespace fileio {

// Opens `path` with `flags` (an access mode and creation flags) plus O_NONBLOCK, O_NOCTTY and
// O_CLOEXEC, so that a pipe without a partner or a device cannot block the open; anything but a
// regular file is then closed again and refused with EINVAL. The descriptor returned blocks as
// usual. -1 with errno on failure. `st`, when given, receives the status of the open file.
int open_regular(const char* path, int flags, mode_t mode = 0, struct stat* st = nullptr);

// An owned descriptor, closed with the object.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // False when the last buffered bytes could not be written.
    bool close();
    // Closes the descriptor held and takes `fd`.
    void reset(int fd) {
        close();
        fd_ = fd;
    }

private:
    int fd_;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// open_regular behind a stdio stream of `stdio_mode` ("rb", "a", ...); null on failure.
File open_stream(const std::string& path, int flags, mode_t mode, const char* stdio_mode);

// The whole content of a regular file; false when it cannot be opened or read to its end.
bool read_file(const std::string& path, std::string* out);

}  // namespace fileio
