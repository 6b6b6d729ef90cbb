#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/support/view_support.h"
#include "engine/view.h"

namespace {

void layOut(int side, int left = 10, int top = 10)
{
    gJRect = {left, top, left + side, top + side};
    gMRect = {left + side + 10, top, left + 2 * side + 10, top + side};
}

class ViewTest : public testing::Test {
protected:
    void SetUp() override
    {
        gJRect = gMRect = {};
        setStartState();
    }
};

TEST_F(ViewTest, StartStateBeforeTheFirstLayoutHasInfinitePixelsAndTheCappedLimit)
{
    EXPECT_EQ(Jgraph.Xmin, -2.0);
    EXPECT_EQ(Mgraph.Ymax, 2.0);
    EXPECT_EQ(Jreal, 0.0);
    EXPECT_EQ(Jcomplex, 0.63);
    EXPECT_EQ(whichFunc, 1);
    EXPECT_EQ(gRealExpon, 2.0);
    EXPECT_EQ(gCplxExpon, 0.0);
    EXPECT_EQ(gIterFlag, 1);
    EXPECT_TRUE(std::isinf(Jgraph.Xpxl.load()));
    EXPECT_TRUE(std::isinf(Mgraph.Ypxl.load()));
    // Infinite pixels have no defined limit; they get the cap, never 0.
    EXPECT_EQ(Jgraph.iters, kMaxAutoIters);
    EXPECT_EQ(Mgraph.iters, kMaxAutoIters);
}

TEST_F(ViewTest, AutomaticLimitFollowsTheFrameWidth)
{
    const struct { int side; int iters; } table[] = {{100, 35}, {200, 71}, {300, 107}, {400, 142}};
    for (const auto& row : table) {
        layOut(row.side);
        newPxl();
        EXPECT_EQ(Jgraph.iters, row.iters) << "side " << row.side;
        EXPECT_EQ(Mgraph.iters, row.iters) << "side " << row.side;
        EXPECT_EQ(Jgraph.Xpxl, 4.0 / row.side);
        EXPECT_EQ(Mgraph.Ypxl, 4.0 / row.side);
        EXPECT_EQ(Jgraph.horizpxls, row.side);
    }
    // Zoomed below 1/6300 of a unit per pixel: the cap, never more.
    layOut(300);
    loadStats(&Mgraph, 0.0, 300.0 / 7000.0, 0.0, 300.0 / 7000.0);
    newPxl();
    EXPECT_EQ(Mgraph.iters, kMaxAutoIters);
    EXPECT_EQ(Jgraph.iters, 107);
    // A view narrowed to nothing gets the cap too.
    loadStats(&Mgraph, 1.0, 1.0, 0.0, 1.0);
    newPxl();
    EXPECT_EQ(Mgraph.iters, kMaxAutoIters);
}

TEST_F(ViewTest, ManualModeKeepsTheLimitsWhateverTheView)
{
    gIterFlag = 2;
    Jgraph.iters = 1234;
    Mgraph.iters = 55;
    layOut(300);
    loadStats(&Mgraph, -0.1, 0.1, -0.1, 0.1);
    newPxl();
    EXPECT_EQ(Jgraph.iters, 1234);
    EXPECT_EQ(Mgraph.iters, 55);
    EXPECT_EQ(Mgraph.Xpxl, 0.2 / 300);
}

TEST_F(ViewTest, ConvertMouseMapsPixelsLinearlyWithoutClamping)
{
    layOut(300);
    newPxl();
    double x = 1, y = 1;
    ConvertMouse({10, 10}, &Jgraph, &gJRect, &x, &y);
    EXPECT_EQ(x, -2.0);
    EXPECT_EQ(y, 2.0);
    ConvertMouse({160, 160}, &Jgraph, &gJRect, &x, &y);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    ConvertMouse({310, 310}, &Jgraph, &gJRect, &x, &y);
    EXPECT_EQ(x, 2.0);
    EXPECT_EQ(y, -2.0);
    ConvertMouse({0, 4}, &Jgraph, &gJRect, &x, &y);
    EXPECT_LT(x, -2.0);
    EXPECT_GT(y, 2.0);
    // The product is rounded before the sum, exactly as the renderer does it.
    ConvertMouse({17, 23}, &Jgraph, &gJRect, &x, &y);
    EXPECT_EQ(x, 7.0 * (4.0 / 300) + -2.0);
    EXPECT_EQ(y, 2.0 - 13.0 * (4.0 / 300));
}

TEST_F(ViewTest, ARenderTakesItsFramesViewFunctionAndConstantFromTheViewState)
{
    layOut(300);
    newPxl();
    FrameSpec start = squareFrame(kMandelbrot, 300, -2.0, 2.0, -2.0, 2.0);
    start.maxIters = 107;
    EXPECT_EQ(frameSpec(kMandelbrot), start);
    start.FuncSwitch = kJulia;
    EXPECT_EQ(frameSpec(kJulia), start);

    // A zoom of the Julia frame, a picked constant and the complex power.
    loadStats(&Jgraph, -0.5, 0.25, -0.125, 0.625);
    newPxl();
    Jreal = -0.75;
    Jcomplex = 0.11;
    whichFunc = 5;
    gRealExpon = 2.5;
    gCplxExpon = -0.5;
    FrameSpec julia = squareFrame(kJulia, 300, -0.5, 0.25, -0.125, 0.625, 5, -0.75, 0.11);
    julia.func = {5, 2.5, -0.5};
    julia.maxIters = Jgraph.iters;
    EXPECT_EQ(frameSpec(kJulia), julia);
    FrameSpec mandelbrot = squareFrame(kMandelbrot, 300, -2.0, 2.0, -2.0, 2.0, 5, -0.75, 0.11);
    mandelbrot.func = julia.func;
    mandelbrot.maxIters = 107;
    EXPECT_EQ(frameSpec(kMandelbrot), mandelbrot);
    // As decimals the constant is exactly the doubles, for a deep frame of it.
    EXPECT_EQ(frameSpec(kJulia).c.imText, "0.11000000000000000055511151231257827021181583404541015625");

    // A deep frame's view, and the constant picked in one, go as they are.
    gJDeep = DeepView{"-0.75", "0.1", "1e-30"};
    gJrealText = "-0.7500000000000000000001";
    gJcomplexText = "0.11";
    const FrameSpec deep = frameSpec(kJulia);
    EXPECT_EQ(deep.deepView(), *gJDeep);
    EXPECT_EQ(deep.c, (JuliaConstant{-0.75, 0.11, gJrealText, gJcomplexText}));

    // The limit is not copied: each frame's render reads its own, live.
    EXPECT_EQ(&frameLimit(kJulia), &Jgraph.iters);
    EXPECT_EQ(&frameLimit(kMandelbrot), &Mgraph.iters);
    setStartState();
    EXPECT_FALSE(gJDeep) << "the start state has no deep view";
    EXPECT_TRUE(gJrealText.empty());
}

} // namespace
