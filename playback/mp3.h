// Turns one MP3 file into signed 16-bit interleaved PCM at the file's own rate and channel count.
// Used by one thread at a time (the decode thread, or the player after joining it). Never logs,
// never throws: every operation reports by its result and the caller logs. A change of sample
// rate or channel count in mid-file ends the stream; read errors count as the end of the file.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/fileio.h"

struct mpg123_handle_struct;

class Mp3Stream {
public:
    Mp3Stream() = default;
    ~Mp3Stream();
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    // Closes what was open. True when the file yields an audio frame within a bounded search
    // (tags are skipped whole, other leading data up to about a mebibyte); otherwise Closed.
    // Anything but a regular file (a pipe, a device, a folder) fails at once, like a missing one.
    bool open(const std::string& path);
    // Whole decoded frames into `out` (room for max_frames × channels samples) until fewer than
    // 1152 frames of room remain or the stream ends. 0 at the end, when closed, or with no room.
    int read(int16_t* out, int max_frames);
    // Jumps to `seconds`, clamped to [0, duration − 0.5 s], without decoding the way there.
    // False without a duration or when the jump fails.
    bool seek(double seconds);
    void close();

    // Read by the player directly.
    int hz = 0;              // rate of the first audio frame; 0 while closed
    int channels = 0;        // 1 or 2, set together with hz
    bool done = false;       // nothing more until the next open or seek
    int64_t frames_out = 0;  // frames delivered since open, or the frame a seek landed on
    int64_t file_size = 0;   // bytes, measured at open
    double duration = 0;     // estimated seconds; 0 = unknown

private:
    struct DecoderCloser {
        void operator()(mpg123_handle_struct* h) const;
    };
    bool start_decoder();
    bool decode_frame(bool adopt, int calls, const unsigned char** pcm, size_t* bytes);
    bool decode_first(bool keep_format);
    bool next_decoded(const unsigned char** pcm, size_t* bytes);

    // The decoder reads through the file, so it is declared after it and goes first.
    fileio::File fp_;
    std::unique_ptr<mpg123_handle_struct, DecoderCloser> dec_;
    // The frame that open or seek decoded to prove the file or the landing; the next read
    // delivers it. It lives in the decoder's buffer, valid until the next decoder call.
    const unsigned char* pending_ = nullptr;
    size_t pending_bytes_ = 0;
};
