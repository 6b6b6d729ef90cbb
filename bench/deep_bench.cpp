// deep_bench: the goals of deep frames, measured as ratios and times in one run.
//
//   deep_bench [--only brute|copy|shallow] [--threads N] [--isa sse2|avx2|avx512]
//
// brute:   a 32-pixel frame at radius 1e-50, 10,000 passes, near a small copy
//          of the set: the deep path against every pass in MPFR, each pixel
//          evaluated, and the renderer with its block scheme on one thread.
// copy:    a 1000-pixel frame at radius 1e-100, 100,000 passes, around a small
//          copy: seconds, and the share of passes the bilinear steps skipped.
// shallow: radius 1e-10 on the boundary, 600 pixels, 10,000 passes: the deep
//          path against the explorer's own (--view) render of the same frame.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/escape_batch.h"
#include "render/frame_render.h"
#include "tests/support/count_canvas.h"
#include "tests/support/deep_reference.h"

namespace {

class NullCanvas final : public FrameCanvas {
public:
    void plotXY(int, int, int) override {}
    bool userHalt() override { return false; }
};

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

FrameSpec nearCopy(int k, int digits, double shift, int size, std::int32_t maxIters)
{
    const Nucleus copy = nucleusNearI(k);
    FrameSpec p = deepFrame();
    deepOf(p).radius = "1e-" + std::to_string(digits);
    deepOf(p).re = shift == 0.0 ? copy.re : offsetDecimal(copy.re, shift, -digits, digits + 30);
    deepOf(p).im = shift == 0.0 ? copy.im : offsetDecimal(copy.im, 0.7 * shift, -digits, digits + 30);
    p.width = p.height = size;
    p.maxIters = maxIters;
    std::printf("  copy of period %d, radius about 1e%.1f\n", copy.period, copy.sizeLog10);
    return p;
}

void brute()
{
    std::printf("brute: 32 x 32 pixels, radius 1e-50, 10000 passes, one thread\n");
    const FrameSpec p = nearCopy(17, 50, 0.0, 32, 10000);
    // The best of five: the first run also pays for the program's start.
    // Also the best of each part: the reference orbit with its bilinear
    // steps, and the pixels.
    double deep = 1e300, orbit = 1e300, pixels = 1e300;
    long long deepSum = 0;
    DeepCounters counters;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const DeepFrame frame(p);
        orbit = std::min(orbit, seconds(start));
        const auto pixelStart = std::chrono::steady_clock::now();
        deepSum = 0;
        for (int row = 0; row < p.height; ++row)
            for (int col = 0; col < p.width; ++col)
                deepSum += frame.count(col, row, counters);
        pixels = std::min(pixels, seconds(pixelStart));
        deep = std::min(deep, seconds(start));
    }
    // The renderer as kavrel-render runs it on one thread: the block scheme
    // (outlines first, uniform blocks filled) and lanes.
    double rendered = 1e300;
    std::uint64_t evaluations = 0;
    CountCanvas canvas(p.width);
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        evaluations = renderFrame(p, {0, 0, p.width, p.height}, canvas, 1).grid.evaluations;
        rendered = std::min(rendered, seconds(start));
    }
    const DeepFrame frame(p);
    const auto start = std::chrono::steady_clock::now();
    long long bruteSum = 0;
    int same = 0, sameRendered = 0;
    for (int row = 0; row < p.height; ++row)
        for (int col = 0; col < p.width; ++col) {
            const std::int32_t b = bruteForceCount(p, col, row);
            bruteSum += b;
            same += b == frame.count(col, row, counters) ? 1 : 0;
            sameRendered += b == canvas.at(col, row) ? 1 : 0;
        }
    const double mpfr = seconds(start);
    std::printf("  deep %.4f s (orbit and all pixels, best of 5), MPFR %.2f s: %.0fx; %d of %d counts equal; passes %llu and %llu\n",
                deep, mpfr, mpfr / deep, same, p.width * p.height, static_cast<unsigned long long>(deepSum),
                static_cast<unsigned long long>(bruteSum));
    std::printf("  best of 5: orbit and bilinear steps %.5f s (%zu points), pixels %.5f s\n", orbit,
                frame.orbit().size(), pixels);
    std::printf("  renderer, one thread: %.5f s (best of 5, %llu pixels evaluated): %.0fx; %d of %d counts equal\n",
                rendered, static_cast<unsigned long long>(evaluations), mpfr / rendered, sameRendered,
                p.width * p.height);
}

void copy(int threads)
{
    std::printf("copy: 1000 x 1000 pixels, radius 1e-100, 100000 passes, %d threads\n", threads);
    const FrameSpec p = nearCopy(52, 100, 0.0, 1000, 100000);
    NullCanvas canvas;
    const auto start = std::chrono::steady_clock::now();
    const FrameRender s = renderFrame(p, {0, 0, p.width, p.height}, canvas, threads);
    const double t = seconds(start);
    std::printf("  %.2f s; %llu evaluations, %llu passes, %llu skipped by bilinear steps (%.1f%%), precision %ld bits, "
                "%llu pixels recounted\n",
                t, static_cast<unsigned long long>(s.grid.evaluations),
                static_cast<unsigned long long>(s.grid.iterations), static_cast<unsigned long long>(s.grid.approximated),
                100.0 * static_cast<double>(s.grid.approximated) / static_cast<double>(s.grid.iterations), s.precisionBits,
                static_cast<unsigned long long>(s.recounted));
}

void shallow(int threads)
{
    std::printf("shallow: 600 x 600 pixels, radius 1e-10, 10000 passes, %d threads\n", threads);
    FrameSpec p = deepFrame();
    p.maxIters = 10000;
    std::tie(deepOf(p).re, deepOf(p).im) = levelCurvePoint(p, 2.0, 16);
    deepOf(p).radius = "1e-10";
    p.width = p.height = 600;
    const double cre = std::stod(deepOf(p).re), cim = std::stod(deepOf(p).im), r = 1e-10;
    FrameSpec view = p;
    view.view = PlaneView{cre - r, cre + r, cim - r, cim + r};
    NullCanvas canvas;
    auto start = std::chrono::steady_clock::now();
    const RenderStats v = renderFrame(view, {0, 0, p.width, p.height}, canvas, threads).grid;
    const double tv = seconds(start);
    start = std::chrono::steady_clock::now();
    const FrameRender d = renderFrame(p, {0, 0, p.width, p.height}, canvas, threads);
    const double td = seconds(start);
    std::printf("  --view %.3f s (%llu passes), deep %.3f s (%llu passes, %llu pixels recounted): %.1fx\n", tv,
                static_cast<unsigned long long>(v.iterations), td, static_cast<unsigned long long>(d.grid.iterations),
                static_cast<unsigned long long>(d.recounted), td / tv);
}

} // namespace

int main(int argc, char** argv)
{
    const char* only = nullptr;
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--only") == 0)
            only = argv[i + 1];
        else if (std::strcmp(argv[i], "--threads") == 0)
            threads = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--isa") == 0) {
            // The kernels of both contenders: sse2, avx2 or avx512.
            bool known = false;
            for (const EscapeIsa isa : batchedIsas())
                if (std::strcmp(argv[i + 1], isaName(isa)) == 0)
                    known = setEscapeIsa(isa);
            if (!known) {
                std::fprintf(stderr, "deep_bench: no instruction set '%s' here\n", argv[i + 1]);
                return 2;
            }
        }
    }
    const auto wanted = [&](const char* name) { return only == nullptr || std::strcmp(only, name) == 0; };
    if (wanted("brute"))
        brute();
    if (wanted("copy"))
        copy(threads);
    if (wanted("shallow"))
        shallow(threads);
    return 0;
}
