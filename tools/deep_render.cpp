#include "tools/deep_render.h"

#include <atomic>

#include "engine/colouring.h"
#include "engine/deep/deep_lanes.h"
#include "render/grid_pool.h"

DeepRenderStats renderDeep(const DeepFrame& frame, FrameCanvas& canvas, int threads)
{
    const DeepParams& p = frame.params();
    // The block scheme adds up the skipped passes of the evaluations it
    // used, as it does their passes: samples evaluated ahead of need are not
    // counted.
    const PixelEvaluator evaluate = [&](tagPOINT pixel) {
        DeepCounters counters;
        const std::int32_t count = frame.count(pixel.x, pixel.y, counters);
        return Escape{count, paletteIndex(Colouring::Curve, count, p.maxIters),
                      static_cast<std::int32_t>(counters.iterations), static_cast<std::int32_t>(counters.approximated)};
    };
    const DeepLaneKernel lanes = deepLaneKernel(frame, escapeIsa());
    BatchEvaluator batch;
    if (lanes.step != nullptr)
        batch = [&](EscapeRun& run, EscapeFeeder& feeder) {
            DeepCounters counters;
            runDeepLanes(frame, lanes, run, feeder, counters);
        };
    // The block scheme reads the frame's kind from these, and the batches
    // their points: Xmin = Ymax = 0 and a pixel of 1 and -1 make a point's c
    // its pixel's column and row, exactly. Every count comes from the frame.
    FrameParams plane;
    plane.FuncSwitch = p.julia ? kJulia : kMandelbrot;
    plane.Xpxl = 1.0;
    plane.Ypxl = -1.0;
    const std::atomic<std::int32_t> iters{p.maxIters};

    DeepRenderStats s;
    s.grid = renderParallel({0, 0, p.size, p.size}, plane, iters, canvas, threads, evaluate, batch);
    s.approximated = s.grid.approximated;
    s.referenceIterations = frame.referenceIterations();
    s.precisionBits = frame.precisionBits();
    return s;
}
