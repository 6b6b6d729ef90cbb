#include <gtest/gtest.h>

#include <set>

#include "engine/escape_batch.h"
#include "tests/support/count_canvas.h"
#include "tests/support/deep_reference.h"
#include "engine/deep/deep_evaluator.h"
#include "render/frame_render.h"
#include "render/grid_pool.h"

namespace {

// A frame of `radius` centred on the copy nucleusNearI(k).
FrameSpec onCopy(int k, const char* radius, int size, std::int32_t maxIters)
{
    const Nucleus copy = nucleusNearI(k);
    FrameSpec p = deepFrame();
    deepOf(p).re = copy.re;
    deepOf(p).im = copy.im;
    deepOf(p).radius = radius;
    p.width = p.height = size;
    p.maxIters = maxIters;
    return p;
}

// A copy of period 70, long enough for steps that lanes leave their
// passes for (bla_table.h), and its surroundings.
FrameSpec mandelbrotCopy() { return onCopy(17, "3e-49", 90, 3000); }

// A copy of period 406 at 3e-303: the pixels' deltas start far below the
// 2^-400 where count() leaves its extended exponent, and lanes take them on
// as they grow past it.
FrameSpec copyBelowDoubles() { return onCopy(185, "3e-303", 48, 20000); }

// On the edge of the Julia set of c = -0.12 + 0.75i (found by bisection
// along a ray from 0), where the pixels are handed to the lanes as z.
FrameSpec juliaEdge()
{
    FrameSpec p = deepFrame();
    p.FuncSwitch = kJulia;
    p.c.reText = "-0.12";
    p.c.imText = "0.75";
    deepOf(p).re = "0.4143758527011176";
    deepOf(p).im = "0.34902396587463186";
    deepOf(p).radius = "1e-8";
    p.width = p.height = 90;
    p.maxIters = 5000;
    return p;
}

// The block scheme with the lanes draws every pixel as the one-at-a-time
// evaluator does, Mandelbrot and Julia sets alike, and pixels that start
// below doubles too. The skipped passes are a
// share of the iterations: counted, like them, for the evaluations the
// picture used, so that samples evaluated ahead of need by the lanes add
// nothing. One at a time, nothing is evaluated ahead.
TEST(DeepRenderTest, LanesDrawWhatOneAtATimeDrawsAndCountOnlyTheEvaluationsThePictureUsed)
{
    for (const FrameSpec& p : {mandelbrotCopy(), copyBelowDoubles(), juliaEdge()}) {
        SCOPED_TRACE(deepOf(p).radius);
        const DeepFrame frame(p);
        ASSERT_TRUE(frame.hasLanes());
        CountCanvas one(p.width), many(p.width);
        const std::atomic<std::int32_t> limit{p.maxIters};
        const RenderStats single =
            renderParallel({0, 0, p.width, p.height}, DeepEvaluator(frame, EscapeIsa::Scalar), limit, one, 1);
        const FrameRender lanes = renderFrame(p, {0, 0, p.width, p.height}, many, 2);
        EXPECT_EQ(many.counts(), one.counts());
        EXPECT_GT(std::set<std::int32_t>(one.counts().begin(), one.counts().end()).size(), 20u) << "a frame with structure";
        EXPECT_EQ(single.speculative, 0u);
        EXPECT_GT(lanes.grid.speculative, 0u) << "no sample was evaluated ahead";
        EXPECT_EQ(lanes.grid.iterations, single.iterations);
        EXPECT_EQ(lanes.grid.approximated, single.approximated);
        EXPECT_GT(single.approximated, single.iterations / 10) << "the bilinear steps skipped little";
        EXPECT_LT(single.approximated, single.iterations);
        EXPECT_EQ(lanes.referenceIterations, frame.referenceIterations());
        EXPECT_FALSE(lanes.stopped);
    }
}

} // namespace
