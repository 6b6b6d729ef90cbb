// Escape-time evaluation and whole-frame renders, single thread.
#include <benchmark/benchmark.h>

#include <vector>

#include "engine/block_render.h"
#include "engine/escape_time.h"
#include "engine/palette.h"
#include "engine/plane_evaluator.h"
#include "engine/view.h"

namespace {

class NullCanvas final : public FrameCanvas {
public:
    void plotXY(int x, int y, int clrIdx) override { benchmark::DoNotOptimize(x + y + clrIdx); }
    bool userHalt() override { return false; }
};

// The start-up view of a frame `side` pixels square, under function `func`
// (5: the power 2.5).
FrameSpec defaultView(short frame, int side, int func)
{
    FrameSpec f;
    f.FuncSwitch = frame;
    f.func = {static_cast<std::int16_t>(func), func == 5 ? 2.5 : 2.0, 0.0};
    f.c = juliaOfDoubles(0.0, 0.63);
    f.width = f.height = side;
    return f;
}

// Evaluates a 100 x 100 grid of the default Mandelbrot view per round.
void BM_EscapeTime(benchmark::State& state)
{
    const int func = static_cast<int>(state.range(0));
    const FrameSpec frame = defaultView(kMandelbrot, 100, func);
    const PlaneEvaluator view(frame);
    std::uint64_t passes = 0;
    for (auto _ : state) {
        for (int row = 0; row < 100; ++row)
            for (int col = 0; col < 100; ++col) {
                const double z0[2] = {0, 0}, c[2] = {planeRe(view, col), planeIm(view, row)};
                const Escape e = EscapeTime(z0, c, 142, frame.func);
                passes += static_cast<std::uint64_t>(e.passes);
                benchmark::DoNotOptimize(e);
            }
    }
    state.counters["iterations/s"] = benchmark::Counter(static_cast<double>(passes), benchmark::Counter::kIsRate);
    const char* names[] = {"z^2 + c", "z^3 + c", "z^5 + c", "z^10 + c", "z^2.5 + c"};
    state.SetLabel(names[func - 1]);
}
BENCHMARK(BM_EscapeTime)->DenseRange(1, 5)->Unit(benchmark::kMillisecond);

// doGrid over the whole default view of a frame at 600 pixels.
void BM_doGrid(benchmark::State& state)
{
    const auto frame = static_cast<short>(state.range(0));
    const PlaneEvaluator view(defaultView(frame, 600, 1));
    const std::atomic<std::int32_t> limit{autoIters(view.Xpxl)};
    NullCanvas canvas;
    RenderStats stats;
    for (auto _ : state) {
        GridJob job{view, limit, canvas};
        doGrid({0, 0, 600, 600}, job);
        stats = job.stats;
    }
    state.counters["evaluations"] = static_cast<double>(stats.evaluations);
    state.SetLabel(frame == kMandelbrot ? "Mandelbrot" : "Julia");
}
BENCHMARK(BM_doGrid)->Arg(kMandelbrot)->Arg(kJulia)->Unit(benchmark::kMillisecond);

// The same frames evaluated pixel by pixel: what the block scheme saves.
void BM_bruteForce(benchmark::State& state)
{
    const auto frame = static_cast<short>(state.range(0));
    const PlaneEvaluator view(defaultView(frame, 600, 1));
    const std::atomic<std::int32_t> limit{autoIters(view.Xpxl)};
    NullCanvas canvas;
    for (auto _ : state) {
        GridJob job{view, limit, canvas};
        DoRect({0, 0, 600, 600}, job, 0);
    }
    state.counters["evaluations"] = 600.0 * 600.0;
    state.SetLabel(frame == kMandelbrot ? "Mandelbrot" : "Julia");
}
BENCHMARK(BM_bruteForce)->Arg(kMandelbrot)->Arg(kJulia)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    loadColors();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
