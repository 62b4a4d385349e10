// Synthesised test audio: PCM signals of known level, written as WAV or raw, and encoded to MP3
// with the `lame` command. Every MP3 a test uses is made this way, in the test run.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Interleaved signed 16-bit PCM.
struct Pcm {
    int rate = 44100;
    int channels = 2;
    std::vector<int16_t> samples;

    int64_t frames() const { return channels > 0 ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

// Levels are peak amplitudes in dBFS: 0 dBFS is 32767, so a sine's RMS lies 3.01 dB lower,
// a square's RMS at the level itself. Every channel carries the same signal.
Pcm sine(int rate, int channels, double seconds, double freq_hz, double peak_dbfs);
Pcm square(int rate, int channels, double seconds, double freq_hz, double peak_dbfs);
Pcm noise(int rate, int channels, double seconds, double peak_dbfs, uint32_t seed = 1);
Pcm silence(int rate, int channels, double seconds);
// Left from `left`, right from `right` (both mono, equally long and of one rate).
Pcm stereo(const Pcm& left, const Pcm& right);
// Appends `more`, which must have the same rate and channel count.
void append(Pcm& pcm, const Pcm& more);

// Both return `path`.
std::string write_wav(const Pcm& pcm, const std::string& path);
std::string write_raw(const Pcm& pcm, const std::string& path);  // little-endian, no header

// Encodes through a WAV beside `path`; `lame_options` come before the file names, e.g.
// {"-t"} (no Info frame), {"-m", "m"}, {"-V", "4"}, {"--id3v2-only", "--tt", "Title"}.
// Returns `path`, or "" when lame fails (its message on stderr of the test).
std::string encode_mp3(const Pcm& pcm, const std::string& path,
                       const std::vector<std::string>& lame_options = {});

// Measures over `count` interleaved samples; dBFS relative to 32768, floor -120.
double rms_dbfs(const int16_t* samples, size_t count);
double rms_dbfs(const std::vector<int16_t>& samples);
int peak_abs(const int16_t* samples, size_t count);

}  // namespace testsupport
