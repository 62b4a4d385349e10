// What the fuzz programs share: the input cut into fields, a private folder for readers that
// take a file, and a check that stops the run naming the property it broke, so that libFuzzer
// keeps the input as a finding.
#pragma once
#include <ftw.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define FUZZ_CHECK(cond, what)                                                 \
    do {                                                                       \
        if (!(cond)) {                                                         \
            std::fprintf(stderr, "property broken: %s (%s)\n", what, #cond);   \
            std::abort();                                                      \
        }                                                                      \
    } while (0)

namespace fuzz {

// The input split at NUL bytes into at most `count` fields; the last one keeps any further NULs.
inline std::vector<std::string> fields(const uint8_t* data, size_t size, size_t count) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && out.size() < count)
            out.emplace_back();
        else
            out.back() += static_cast<char>(data[i]);
    }
    return out;
}

inline int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

// A fresh folder of this process, made once and removed with what is in it when the run ends.
inline const std::string& scratch_dir() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/quavermill-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) std::abort();
        std::atexit([] { nftw(scratch_dir().c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); });
        return std::string(made);
    }();
    return dir;
}

inline void write_file(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace fuzz
