#include "playback/mp3.h"

#include <fcntl.h>
#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

#include "core/fileio.h"

namespace {

// Room the caller must leave for one more decoded frame: the most samples per channel that a
// Layer I-III frame yields at its own rate.
constexpr int kFrameRoom = 1152;
// Decoder calls allowed to yield no samples before open gives up (Info frames, the encoder
// delay trimmed by gapless decoding, MPEG-2 frames of 576 samples all within that delay).
constexpr int kProbeCalls = 64;
// Bytes of non-MP3 data the decoder skips looking for a frame, at the start and in mid-file.
// Tags are skipped by their declared size and do not count. Keeps open fast on large files
// that are not MP3 at all.
constexpr long kResyncLimit = 1 << 20;
// Frames decoded unheard after a seek to refill the bit reservoir. It reaches back up to 511
// bytes, which spans five of the smallest MPEG-1 frames and more of the smallest MPEG-2 ones;
// with too few, low-bitrate VBR files resume with a gap of silence.
constexpr long kSeekPreframes = 16;
// Places a seek tries, each a step earlier, before it gives the stream up.
constexpr int kSeekLandings = 4;

void init_library_once() {
#if MPG123_API_VERSION < 46  // older libraries need it before the first handle
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
#endif
}

// A read error ends the data like the end of the file does.
mpg123_ssize_t read_file(void* handle, void* buf, size_t count) {
    return static_cast<mpg123_ssize_t>(std::fread(buf, 1, count, static_cast<std::FILE*>(handle)));
}

off_t seek_file(void* handle, off_t offset, int whence) {
    auto* f = static_cast<std::FILE*>(handle);
    if (fseeko(f, offset, whence) != 0) return -1;
    return ftello(f);
}

int64_t measure_size(std::FILE* f) {
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    int64_t size = ftello(f);
    if (fseeko(f, 0, SEEK_SET) != 0) return -1;
    return size;
}

// Signed 16-bit at every rate the library knows, mono or stereo, so it never resamples or
// remixes: the output format is the file's own.
bool configure_decoder(mpg123_handle* h) {
    if (mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_FUZZY | MPG123_SKIP_ID3V2, 0) !=
            MPG123_OK ||
        mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0) != MPG123_OK ||
        mpg123_param(h, MPG123_RESYNC_LIMIT, kResyncLimit, 0) != MPG123_OK ||
        mpg123_param(h, MPG123_PREFRAMES, kSeekPreframes, 0) != MPG123_OK ||
        mpg123_format_none(h) != MPG123_OK)
        return false;
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
        if (mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK)
            return false;
    return true;
}

// Without an Info frame the library estimates the length from the file size; leading tags and
// junk are no audio, so it is given the size from the first frame on.
void count_audio_bytes_only(mpg123_handle* h, int64_t file_size) {
    off_t* offsets = nullptr;
    off_t step = 0;
    size_t fill = 0;
    if (mpg123_index(h, &offsets, &step, &fill) == MPG123_OK && fill > 0 && offsets[0] > 0 &&
        offsets[0] < file_size)
        mpg123_set_filesize(h, static_cast<off_t>(file_size - offsets[0]));
}

bool current_format(mpg123_handle* h, int* hz, int* channels) {
    long rate = 0;
    int ch = 0, encoding = 0;
    if (mpg123_getformat(h, &rate, &ch, &encoding) != MPG123_OK || rate <= 0 || ch < 1) return false;
    *hz = static_cast<int>(rate);
    *channels = ch;
    return true;
}

}  // namespace

void Mp3Stream::DecoderCloser::operator()(mpg123_handle_struct* h) const {
    mpg123_close(h);
    mpg123_delete(h);
}

Mp3Stream::~Mp3Stream() { close(); }

void Mp3Stream::close() {
    dec_.reset();
    fp_.reset();
    pending_ = nullptr;
    pending_bytes_ = 0;
    hz = 0;
    channels = 0;
    done = false;
    frames_out = 0;
    file_size = 0;
    duration = 0;
}

bool Mp3Stream::open(const std::string& path) {
    close();
    fp_ = fileio::open_stream(path, O_RDONLY, 0, "rb");  // a pipe or a device fails here
    if (!fp_) return false;
    file_size = measure_size(fp_.get());
    init_library_once();
    if (file_size <= 0 || !start_decoder()) {
        close();
        return false;
    }
    off_t length = mpg123_length(dec_.get());  // Info frame count, else size and bitrate
    duration = length > 0 ? static_cast<double>(length) / hz : 0;
    return true;
}

// A fresh decoder on the file from its start, proven by its first audio frame, which gives the
// format and is kept for the first read so that nothing is decoded twice.
bool Mp3Stream::start_decoder() {
    pending_ = nullptr;
    dec_.reset(mpg123_new(nullptr, nullptr));
    if (!dec_ || fseeko(fp_.get(), 0, SEEK_SET) != 0 || !configure_decoder(dec_.get()) ||
        mpg123_replace_reader_handle(dec_.get(), read_file, seek_file, nullptr) != MPG123_OK ||
        mpg123_open_handle(dec_.get(), fp_.get()) != MPG123_OK ||
        !current_format(dec_.get(), &hz, &channels) || !decode_first(false))
        return false;
    count_audio_bytes_only(dec_.get(), file_size);
    return true;
}

// Decodes up to the next frame with samples, within `calls` decoder calls. A change of format
// fails unless `adopt` makes it the stream's format; a joined file of the same format plays on.
bool Mp3Stream::decode_frame(bool adopt, int calls, const unsigned char** pcm, size_t* bytes) {
    for (int call = 0; call < calls; ++call) {
        off_t frame = 0;
        unsigned char* data = nullptr;
        size_t size = 0;
        int rc = mpg123_decode_frame(dec_.get(), &frame, &data, &size);
        if (rc == MPG123_NEW_FORMAT) {
            int new_hz = 0, new_channels = 0;
            if (!current_format(dec_.get(), &new_hz, &new_channels) ||
                (!adopt && (new_hz != hz || new_channels != channels)))
                return false;
            hz = new_hz;
            channels = new_channels;
            continue;
        }
        if (rc != MPG123_OK) return false;
        if (size > 0) {
            *pcm = data;
            *bytes = size;
            return true;
        }
    }
    return false;
}

// Decodes up to the first frame with samples and keeps it as pending_. With keep_format, a
// frame of another format fails instead of setting hz and channels.
bool Mp3Stream::decode_first(bool keep_format) {
    return decode_frame(!keep_format, kProbeCalls, &pending_, &pending_bytes_);
}

// The next decoded frame with samples in the stream's format; false at the end, on an error or
// where the format changes.
bool Mp3Stream::next_decoded(const unsigned char** pcm, size_t* bytes) {
    if (pending_) {
        *pcm = pending_;
        *bytes = pending_bytes_;
        pending_ = nullptr;
        return true;
    }
    return decode_frame(false, std::numeric_limits<int>::max(), pcm, bytes);
}

int Mp3Stream::read(int16_t* out, int max_frames) {
    if (!dec_ || done || max_frames <= 0) return 0;
    const size_t frame_bytes = sizeof(int16_t) * static_cast<size_t>(channels);
    int written = 0;
    while (max_frames - written >= kFrameRoom) {
        const unsigned char* pcm = nullptr;
        size_t bytes = 0;
        if (!next_decoded(&pcm, &bytes)) {
            done = true;
            break;
        }
        // At the file's own rate no frame exceeds kFrameRoom; the bound guards the caller's buffer.
        int frames = static_cast<int>(std::min<size_t>(bytes / frame_bytes, max_frames - written));
        std::memcpy(out + static_cast<size_t>(written) * channels, pcm, frames * frame_bytes);
        written += frames;
        frames_out += frames;
    }
    return written;
}

bool Mp3Stream::seek(double seconds) {
    if (!dec_ || duration <= 0 || file_size <= 0) return false;
    double t = seconds > 0 ? std::min(seconds, duration - 0.5) : 0;
    off_t target = t > 0 ? static_cast<off_t>(t * hz) : 0;
    // Fuzzy: a jump by the Info frame's table or the mean frame size, never a walk to the target.
    // The jump lands inside a frame, where audio data can pass for a header of another kind:
    // the decoder then counts the position by that header, or takes the stream for one of
    // another rate and decodes noise to its end. So a landing counts once a frame of the
    // stream's format has been decoded there, and the position is read after it. A decoder
    // misled once stays so; another place is tried with a fresh one, a little earlier. The Info
    // frame's table holds a byte offset per hundredth of the length, so that is the step.
    const int first_hz = hz, first_channels = channels;
    const off_t step = std::max<off_t>(kFrameRoom, static_cast<off_t>(duration * hz / 100));
    for (int landing = 0; landing < kSeekLandings; ++landing) {
        if (landing > 0 && (!start_decoder() || hz != first_hz || channels != first_channels)) break;
        pending_ = nullptr;
        const off_t place = std::max<off_t>(0, target - landing * step);
        if (mpg123_seek(dec_.get(), place, SEEK_SET) < 0 || !decode_first(true)) continue;
        off_t landed = mpg123_tell(dec_.get());
        frames_out = landed > 0 ? landed : 0;
        done = false;
        return true;
    }
    pending_ = nullptr;
    done = true;
    return false;
}
