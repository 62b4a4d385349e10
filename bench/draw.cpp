// Drawing speed of one repaint of the window, with no display: a 940 × 744 image surface
// cleared, then 60 text calls of mixed sizes, weights and alignments, 40 rounded rectangles
// (filled and stroked) and a level meter, drawn 500 times.
//
//   bench_draw [frames]
//
// Prints the median frame time and the text calls per second (from the median time a frame
// spends in its text calls). No target yet: the panel drawn with these primitives sets it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "bench/image_surface.h"
#include "gui/gfx.h"
#include "gui/meter.h"
#include "gui/theme.h"

namespace {

constexpr int kWidth = 940, kHeight = 744;
constexpr int kTexts = 60, kRects = 40;

// Texts of the kind the panel shows: labels, values, a file name, other scripts.
const char* const kStrings[] = {
    "Wiedergabe", "Ordner", "Zeitfenster 06:00 – 20:00", "Größe der Dateien",
    "Aufnahme_2024-05-01_07-30-12.mp3", "-12.5 dB", "Mo Di Mi Do Fr Sa So", "Start",
    "Воспроизведение", "音楽を再生", "Lautstärke 80 %", "nächste Aufnahme in 00:14:32",
};
const float kSizes[] = {11, 12.35f, 13, 14.3f, 15.6f, 18, 22};

using Clock = std::chrono::steady_clock;
double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// One repaint; returns the seconds spent in text calls.
double frame(int n, meter::State& levels) {
    const theme::Palette& c = theme::colors();
    gfx::clear(c[0]);
    for (int i = 0; i < kRects; ++i) {
        const gfx::Rect r = {20.0f + (i % 8) * 112, 20.0f + (i / 8) * 140, 100, 30.0f + i % 3 * 10};
        if (i % 2)
            gfx::stroke_round_rect(r, 6, c[3], 1);
        else
            gfx::fill_round_rect(r, 6, c[i % 4 ? 2 : 1]);
    }
    double in_text = 0;
    for (int i = 0; i < kTexts; ++i) {
        const gfx::Rect r = {20.0f + (i % 6) * 150, 30.0f + (i / 6) * 60, 140, 24};
        const auto align = static_cast<gfx::Align>(i % 3);
        const Clock::time_point start = Clock::now();
        gfx::text(r, kStrings[(i + n) % std::size(kStrings)], kSizes[i % std::size(kSizes)],
                  c[4 + i % 2], align, i % 4 == 0, i % 2 == 0);
        in_text += seconds_since(start);
    }
    const float peak[2] = {0.5f + 0.4f * (n % 7) / 7, 0.3f}, rms[2] = {0.2f, 0.1f};
    meter::update(levels, peak, rms, true, 0.1f);
    meter::draw({20, 640, 400, 90}, levels, 1, "Ausgang");
    return in_text;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 500;
    if (frames < 1) {
        std::fprintf(stderr, "usage: bench_draw [frames]\n");
        return 2;
    }
    bench::ImageSurface canvas("bench_draw", kWidth, kHeight);
    if (!canvas.ok()) return 2;
    meter::State levels;
    frame(0, levels);  // fonts found and loaded once, as on the first repaint of a run

    std::vector<double> times, text_times;
    for (int n = 0; n < frames; ++n) {
        const Clock::time_point start = Clock::now();
        text_times.push_back(frame(n, levels));
        canvas.flush();
        times.push_back(seconds_since(start));
    }
    if (!canvas.drawn_cleanly()) return 2;
    std::sort(times.begin(), times.end());
    std::sort(text_times.begin(), text_times.end());
    const double median = times[(times.size() - 1) / 2];
    const double text_median = text_times[(text_times.size() - 1) / 2];
    std::printf("%d frames of %dx%d: median %.2f ms, fastest %.2f ms, slowest %.2f ms\n", frames,
                kWidth, kHeight, median * 1e3, times.front() * 1e3, times.back() * 1e3);
    std::printf("text: %.0f calls/s (%d per frame, %.0f %% of the median frame)\n",
                kTexts / text_median, kTexts, 100 * text_median / median);
    return 0;
}
