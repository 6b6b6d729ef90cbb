#include "tools/deep_render.h"

#include <atomic>

#include "engine/colouring.h"
#include "render/grid_pool.h"

DeepRenderStats renderDeep(const DeepFrame& frame, FrameCanvas& canvas, int threads)
{
    const DeepParams& p = frame.params();
    std::atomic<std::uint64_t> approximated{0};
    const PixelEvaluator evaluate = [&](tagPOINT pixel) {
        DeepCounters counters;
        const std::int32_t count = frame.count(pixel.x, pixel.y, counters);
        approximated.fetch_add(counters.approximated, std::memory_order_relaxed);
        return Escape{count, paletteIndex(Colouring::Curve, count, p.maxIters),
                      static_cast<std::int32_t>(counters.iterations)};
    };
    // The block scheme reads only the frame's kind from these; every point
    // comes from the evaluator.
    FrameParams plane;
    plane.FuncSwitch = p.julia ? kJulia : kMandelbrot;
    const std::atomic<std::int32_t> iters{p.maxIters};

    DeepRenderStats s;
    s.grid = renderParallel({0, 0, p.size, p.size}, plane, iters, canvas, threads, evaluate);
    s.approximated = approximated;
    s.referenceIterations = frame.referenceIterations();
    s.precisionBits = frame.precisionBits();
    return s;
}
