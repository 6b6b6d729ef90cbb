// Ratios of the batched evaluation and the parallel renderer against the
// scalar ones, each measured in one run: the machine is shared, so absolute
// times wander between runs while the ratios hold. Within each line the
// contenders take turns, and each keeps its best time.
//
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench/frame_vs_brute.h"
#include "engine/block_render.h"
#include "engine/escape_batch.h"
#include "engine/palette.h"
#include "engine/plane_evaluator.h"
#include "engine/view.h"
#include "render/grid_pool.h"

namespace {

struct View {
    const char* name;
    double xmin, xmax, ymin, ymax;
    int iters;  // 0: the automatic limit
};

const View kViews[] = {
    {"default square, 142 iterations", -2, 2, -2, 2, 142},
    {"default square, 1000 iterations", -2, 2, -2, 2, 1000},
    {"-0.75,-0.74,0.1,0.11, 2000 iterations", -0.75, -0.74, 0.1, 0.11, 2000},
};

int gSide = 1000;
int gRounds = 3;
std::string gOnly;

double seconds(const std::function<void()>& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs the contenders in turns, gRounds times, and returns each one's best time.
std::vector<double> bestTimes(const std::vector<std::function<void()>>& contenders)
{
    std::vector<double> best(contenders.size(), 1e300);
    for (int round = 0; round < gRounds; ++round)
        for (std::size_t i = 0; i < contenders.size(); ++i)
            best[i] = std::min(best[i], seconds(contenders[i]));
    return best;
}

// The Mandelbrot point of pixel (col, row) of a view.
EscapePoint viewPoint(const View& v, int col, int row)
{
    const double xpxl = (v.xmax - v.xmin) / gSide, ypxl = (v.ymax - v.ymin) / gSide;
    return {0.0, 0.0, col * xpxl + v.xmin, v.ymax - row * ypxl, v.iters};
}

// Feeds a view's points a row at a time and adds up the passes of the
// finished ones, forgetting them as it goes.
class ViewFeeder final : public EscapeFeeder {
public:
    explicit ViewFeeder(const View& v) : view_(v) {}
    bool refill(EscapeRun& run) override
    {
        for (; taken_ < run.size() && run.isDone(taken_); ++taken_)
            passes += static_cast<std::uint64_t>(run.result(taken_).passes);
        run.forget(taken_);
        if (row_ < gSide) {
            for (int col = 0; col < gSide; ++col)
                run.add(viewPoint(view_, col, row_));
            ++row_;
        }
        return true;
    }
    std::uint64_t passes = 0;

private:
    const View& view_;
    int row_ = 0;
    std::size_t taken_ = 0;
};

std::uint64_t scalarPasses(const View& v, const IterFunc& func)
{
    std::uint64_t passes = 0;
    for (int row = 0; row < gSide; ++row)
        for (int col = 0; col < gSide; ++col) {
            const EscapePoint p = viewPoint(v, col, row);
            const double z0[2] = {p.zr, p.zi}, c[2] = {p.cr, p.ci};
            passes += static_cast<std::uint64_t>(EscapeTime(z0, c, p.maxIters, func).passes);
        }
    return passes;
}

std::uint64_t kernelPasses(EscapeKernel kernel, const View& v)
{
    EscapeRun run;
    ViewFeeder feeder(v);
    kernel(run, feeder);
    feeder.refill(run);
    return feeder.passes;
}

// Useful iterations per second per core: the passes EscapeTime makes.
void kernelLines()
{
    const char* powers[] = {"z^2", "z^3", "z^5", "z^10"};
    for (int func = 1; func <= 4; ++func) {
        const IterFunc power{static_cast<std::int16_t>(func)};
        for (const View& v : kViews) {
            const std::uint64_t passes = scalarPasses(v, power);
            std::vector<std::function<void()>> contenders{[&] { scalarPasses(v, power); }};
            for (EscapeIsa isa : batchedIsas())
                contenders.push_back([&, isa] {
                    if (kernelPasses(escapeKernel(isa, func), v) != passes)
                        std::fprintf(stderr, "%s gave other passes than the scalar reference\n", isaName(isa));
                });
            const std::vector<double> t = bestTimes(contenders);
            std::printf("kernel %-4s %-40s scalar %5.2f G/s", powers[func - 1], v.name, passes / t[0] / 1e9);
            for (std::size_t i = 1; i < t.size(); ++i)
                std::printf("  %s %5.2f G/s %5.2fx", isaName(batchedIsas()[i - 1]), passes / t[i] / 1e9, t[0] / t[i]);
            std::printf("\n");
            std::fflush(stdout);
        }
    }
}

class NullCanvas final : public FrameCanvas {
public:
    void plotXY(int, int, int) override {}
    bool userHalt() override { return false; }
};

// A frame of gSide pixels on the view, z^2 + c with the start-up Julia
// constant, and its limit: the automatic one when v.iters is 0.
struct Shown {
    Shown(short frame, const View& v)
        : params(planeView(frame, v)),
          iters(v.iters != 0 ? v.iters : autoIters(pixelSize(v.xmin, v.xmax, gSide)))
    {}
    static FrameSpec planeView(short frame, const View& v)
    {
        FrameSpec f;
        f.FuncSwitch = frame;
        f.c = juliaOfDoubles(0.0, 0.63);
        f.view = PlaneView{v.xmin, v.xmax, v.ymin, v.ymax};
        f.width = f.height = gSide;
        return f;
    }
    const FrameSpec params;
    const std::atomic<std::int32_t> iters;
};

RenderStats render(const Shown& shown, EscapeIsa isa, int threads)
{
    setEscapeIsa(isa);
    NullCanvas canvas;
    return renderParallel({0, 0, gSide, gSide}, PlaneEvaluator(shown.params, isa), shown.iters, canvas, threads);
}

struct Frame {
    const char* name;
    short frame;
    View view;
};

const Frame kFrames[] = {
    {"Mandelbrot default view, automatic limit", kMandelbrot, {"", -2, 2, -2, 2, 0}},
    {"Julia default view, automatic limit", kJulia, {"", -2, 2, -2, 2, 0}},
    {"Mandelbrot -0.75,-0.74,0.1,0.11, 2000 iterations", kMandelbrot, {"", -0.75, -0.74, 0.1, 0.11, 2000}},
    {"Mandelbrot deep view, 20000 iterations", kMandelbrot,
     {"", -0.743643887, -0.743643787, 0.131825854, 0.131825954, 20000}},
};

// The whole frame on one thread, scalar renderer against batched.
void frameLines()
{
    for (const Frame& f : kFrames) {
        const Shown shown(f.frame, f.view);
        std::vector<std::function<void()>> contenders{[&] { render(shown, EscapeIsa::Scalar, 1); }};
        for (EscapeIsa isa : batchedIsas())
            contenders.push_back([&, isa] { render(shown, isa, 1); });
        const std::vector<double> t = bestTimes(contenders);
        std::printf("frame  %-50s scalar %7.3f s", f.name, t[0]);
        for (std::size_t i = 1; i < t.size(); ++i)
            std::printf("  %s %7.3f s %5.2fx", isaName(batchedIsas()[i - 1]), t[i], t[0] / t[i]);
        std::printf("\n");
        std::fflush(stdout);
    }
}

// The batched renderer on 1 against N threads.
void threadLines()
{
    const int n = static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
    const EscapeIsa best = batchedIsas().back();
    for (const Frame& f : kFrames) {
        const Shown shown(f.frame, f.view);
        const std::vector<double> t = bestTimes({[&] { render(shown, best, 1); }, [&] { render(shown, best, n); }});
        std::printf("threads %-50s %s 1 thread %7.3f s  %d threads %7.3f s %5.2fx\n", f.name, isaName(best), t[0], n,
                    t[1], t[0] / t[1]);
        std::fflush(stdout);
    }
}

const char kUsage[] =
    "Usage: speed_bench [--side N] [--rounds N] [--only PART] [--render FILE]\n"
    "Ratios of Kavrel's renderers and kernels, each measured in one run.\n"
    "\n"
    "  --side N       frame side in pixels (default 1000)\n"
    "  --rounds N     runs of each contender; the best time counts, or the median\n"
    "                 for frame-vs-brute (default 3)\n"
    "  --only PART    frame, threads, kernel or frame-vs-brute (default: all)\n"
    "  --render FILE  a kavrel-render that frame-vs-brute runs; give it again to\n"
    "                 compare builds in the same rounds (default: the one built\n"
    "                 beside this benchmark)\n"
    "  --help         show this help\n";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> renderTools;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("%s", kUsage);
            return 0;
        }
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--render") == 0)
            renderTools.push_back(argv[i + 1]);
        else if (std::strcmp(argv[i], "--side") == 0)
            gSide = std::max(8, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--rounds") == 0)
            gRounds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--only") == 0)
            gOnly = argv[i + 1];
    }
    loadColors();
    const EscapeIsa chosen = escapeIsa();
    std::printf("side %d, best of %d rounds; instruction sets:", gSide, gRounds);
    for (EscapeIsa isa : batchedIsas())
        std::printf(" %s", isaName(isa));
    std::printf("\n");
    if (gOnly.empty() || gOnly == "frame")
        frameLines();
    if (gOnly.empty() || gOnly == "threads")
        threadLines();
    if (gOnly.empty() || gOnly == "kernel")
        kernelLines();
    if (gOnly.empty() || gOnly == "frame-vs-brute")
        frameVsBruteLines(renderTools.empty() ? std::vector<std::string>{KAVREL_RENDER_TOOL} : renderTools, gSide,
                          gRounds);
    setEscapeIsa(chosen);
    return 0;
}
