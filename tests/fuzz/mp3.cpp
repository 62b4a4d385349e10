// The MP3 stream over arbitrary bytes, as libmpg123 hands them over: frame headers, format
// changes, Info frames and seeks. Each file is decoded twice into buffers pre-filled with two
// different values: the stream must write nothing beyond what it reports, report nothing it did
// not write (both passes agree), keep its format and count its frames.
#include <algorithm>

#include "fuzz/fuzz_check.h"
#include "playback/mp3.h"

namespace {

constexpr int kRoom = 4096;       // frames of room per read
constexpr int kMaxReads = 20000;  // far more than a fuzz input holds

struct Pass {
    bool opened = false;
    bool sought = false;
    int hz = 0, channels = 0;
    std::vector<int16_t> pcm;
};

void drain(Mp3Stream& s, int16_t canary, Pass& p) {
    std::vector<int16_t> buf((kRoom + 8) * 2);
    for (int r = 0; r < kMaxReads; ++r) {
        std::fill(buf.begin(), buf.end(), canary);
        const int64_t before = s.frames_out;
        const int n = s.read(buf.data(), kRoom);
        FUZZ_CHECK(n >= 0 && n <= kRoom, "a read stays within its room");
        FUZZ_CHECK(s.frames_out == before + n, "the frame count follows what was delivered");
        FUZZ_CHECK(s.hz == p.hz && s.channels == p.channels, "the format never changes");
        const size_t used = static_cast<size_t>(n) * p.channels;
        for (size_t i = used; i < buf.size(); ++i)
            FUZZ_CHECK(buf[i] == canary, "nothing written beyond what was reported");
        p.pcm.insert(p.pcm.end(), buf.begin(), buf.begin() + static_cast<long>(used));
        if (n == 0) {
            FUZZ_CHECK(s.read(buf.data(), kRoom) == 0, "the end stays the end");
            return;
        }
    }
    FUZZ_CHECK(false, "the stream ends");
}

Pass decode(const std::string& path, int16_t canary, double seek_to) {
    Pass p;
    Mp3Stream s;
    p.opened = s.open(path);
    if (!p.opened) return p;
    p.hz = s.hz;
    p.channels = s.channels;
    FUZZ_CHECK(p.channels == 1 || p.channels == 2, "mono or stereo");
    FUZZ_CHECK(p.hz >= 8000 && p.hz <= 48000, "a rate of MPEG audio");
    FUZZ_CHECK(s.duration >= 0, "a length or none");
    drain(s, canary, p);
    if (s.duration > 0) {
        p.sought = s.seek(seek_to * s.duration);
        if (p.sought) {
            FUZZ_CHECK(s.frames_out >= 0 && !s.done, "a seek lands on a frame to play");
            drain(s, canary, p);
        }
    }
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::scratch_dir() + "/input.mp3";
    fuzz::write_file(path, data, size);
    const double seek_to = size > 0 ? data[size - 1] / 255.0 : 0;
    const Pass a = decode(path, 0x5A5A, seek_to);
    const Pass b = decode(path, -0x2B2C, seek_to);
    FUZZ_CHECK(a.opened == b.opened && a.sought == b.sought && a.pcm == b.pcm,
               "every sample reported was written (both passes agree)");
    return 0;
}
