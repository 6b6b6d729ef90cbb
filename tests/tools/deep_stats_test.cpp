#include <gtest/gtest.h>

#include "engine/escape_batch.h"
#include "tests/support/deep_reference.h"
#include "tools/deep_render.h"

namespace {

// The skipped passes are a share of the iterations: counted, like them, for
// the evaluations the picture used, so that samples evaluated ahead of need
// by the lanes add nothing. One at a time, nothing is evaluated ahead.
TEST(DeepRenderTest, SkippedPassesCountOnlyTheEvaluationsThePictureUsed)
{
    struct Canvas final : FrameCanvas {
        void plotXY(int, int, int) override {}
        bool userHalt() override { return false; }
    } canvas;
    const Nucleus copy = nucleusNearI(-2);
    DeepParams p;
    p.centerRe = copy.re;
    p.centerIm = copy.im;
    p.radius = "3e-20";
    p.size = 90;
    p.maxIters = 3000;
    const DeepFrame frame(p);
    const EscapeIsa best = escapeIsa();
    ASSERT_TRUE(setEscapeIsa(EscapeIsa::Scalar));
    const DeepRenderStats single = renderDeep(frame, canvas, 1);
    setEscapeIsa(best);
    const DeepRenderStats lanes = renderDeep(frame, canvas, 2);
    EXPECT_EQ(single.grid.speculative, 0u);
    EXPECT_GT(lanes.grid.speculative, 0u) << "no sample was evaluated ahead";
    EXPECT_EQ(lanes.grid.iterations, single.grid.iterations);
    EXPECT_EQ(lanes.approximated, single.approximated);
    EXPECT_GT(single.approximated, single.grid.iterations / 10) << "the bilinear steps skipped little";
    EXPECT_LT(single.approximated, single.grid.iterations);
}

} // namespace
