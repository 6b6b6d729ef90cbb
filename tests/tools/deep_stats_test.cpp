#include <gtest/gtest.h>

#include <set>

#include "engine/escape_batch.h"
#include "tests/support/count_canvas.h"
#include "tests/support/deep_reference.h"
#include "tools/deep_render.h"

namespace {

DeepParams mandelbrotCopy()
{
    const Nucleus copy = nucleusNearI(-2);
    DeepParams p;
    p.centerRe = copy.re;
    p.centerIm = copy.im;
    p.radius = "3e-20";
    p.size = 90;
    p.maxIters = 3000;
    return p;
}

// On the edge of the Julia set of c = -0.12 + 0.75i (found by bisection
// along a ray from 0), where the pixels are handed to the lanes as z.
DeepParams juliaEdge()
{
    DeepParams p;
    p.julia = true;
    p.juliaRe = "-0.12";
    p.juliaIm = "0.75";
    p.centerRe = "0.4143758527011176";
    p.centerIm = "0.34902396587463186";
    p.radius = "1e-8";
    p.size = 90;
    p.maxIters = 5000;
    return p;
}

// The block scheme with the lanes draws every pixel as the one-at-a-time
// evaluator does, Mandelbrot and Julia sets alike. The skipped passes are a
// share of the iterations: counted, like them, for the evaluations the
// picture used, so that samples evaluated ahead of need by the lanes add
// nothing. One at a time, nothing is evaluated ahead.
TEST(DeepRenderTest, LanesDrawWhatOneAtATimeDrawsAndCountOnlyTheEvaluationsThePictureUsed)
{
    for (const DeepParams& p : {mandelbrotCopy(), juliaEdge()}) {
        SCOPED_TRACE(p.julia ? "Julia set" : "Mandelbrot set");
        const DeepFrame frame(p);
        ASSERT_TRUE(frame.hasLanes());
        CountCanvas one(p.size), many(p.size);
        const EscapeIsa best = escapeIsa();
        ASSERT_TRUE(setEscapeIsa(EscapeIsa::Scalar));
        const DeepRenderStats single = renderDeep(frame, one, 1);
        setEscapeIsa(best);
        const DeepRenderStats lanes = renderDeep(frame, many, 2);
        EXPECT_EQ(many.counts(), one.counts());
        EXPECT_GT(std::set<std::int32_t>(one.counts().begin(), one.counts().end()).size(), 20u) << "a frame with structure";
        EXPECT_EQ(single.grid.speculative, 0u);
        EXPECT_GT(lanes.grid.speculative, 0u) << "no sample was evaluated ahead";
        EXPECT_EQ(lanes.grid.iterations, single.grid.iterations);
        EXPECT_EQ(lanes.approximated, single.approximated);
        EXPECT_GT(single.approximated, single.grid.iterations / 10) << "the bilinear steps skipped little";
        EXPECT_LT(single.approximated, single.grid.iterations);
    }
}

} // namespace
