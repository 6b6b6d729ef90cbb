#include <gtest/gtest.h>

#include "engine/escape_time.h"
#include "engine/view.h"
#include "tests/support/support.h"

namespace {

class EscapeTimeTest : public testing::Test {
protected:
    Escape mandelbrot(double cr, double ci, int limit = 100)
    {
        const double z0[2] = {0.0, 0.0}, c[2] = {cr, ci};
        return EscapeTime(z0, c, limit, func);
    }
    Escape julia(double zr, double zi, double cr, double ci, int limit = 100)
    {
        const double z0[2] = {zr, zi}, c[2] = {cr, ci};
        return EscapeTime(z0, c, limit, func);
    }
    void use(int which) { func.which = static_cast<std::int16_t>(which); }

    IterFunc func;  // z^2 + c
};

TEST_F(EscapeTimeTest, NewtonRootsGiveTheCurvesConstants)
{
    const double s = squareRoot(0.125);
    EXPECT_EQ(s, 0.35355375377542964);
    const double p = 1.0 / ((s * s) * s);
    EXPECT_EQ(p, 22.627347267138855);
    EXPECT_EQ(cubeRoot(p), 2.828428551938854);
}

TEST_F(EscapeTimeTest, ColourIndexFollowsTheCubeRootCurveAndStopsAtTheLastColour)
{
    const struct { int k; int idx; } table[] = {
        {2, 2}, {49, 49}, {50, 50}, {51, 50}, {52, 51}, {60, 58}, {100, 82}, {200, 115},
        {500, 169}, {1000, 219}, {2000, 283}, {5000, 391}, {9000, 480}, {10000, 498}, {10074, 499}};
    for (const auto& row : table)
        EXPECT_EQ(colorIndex(row.k), row.idx) << "k = " << row.k;
    // Longer escapes, possible with custom limits, stay on the last colour.
    EXPECT_EQ(colorIndex(10075), kLastColor);
    EXPECT_EQ(colorIndex(98999), kLastColor);
    int previous = 0;
    for (int k = 2; k < 99000; ++k) {
        const int idx = colorIndex(k);
        ASSERT_GE(idx, previous) << "the colour decreased at k = " << k;
        previous = idx;
    }
}

TEST_F(EscapeTimeTest, ReferenceCountsOfEachFunction)
{
    const struct { int func; double cr, ci; int count; } table[] = {
        {1, -0.75, 0.1, 33}, {1, -1.8, 0.01, 10}, {2, 0.5, 0.6, 47},
        {3, -0.8, 0.65, 25}, {4, -0.8, 0.2, 39}};
    for (const auto& row : table) {
        use(row.func);
        EXPECT_EQ(mandelbrot(row.cr, row.ci).count, row.count) << "function " << row.func;
    }
    func = {5, 2.0, 0.0};
    EXPECT_EQ(mandelbrot(-0.75, 0.1).count, 34);
    use(1);
    EXPECT_EQ(julia(0.5, 0.5, 0.0, 0.63).count, 5);
    const Escape e = mandelbrot(0.2501, 0.0, 5000);
    EXPECT_EQ(e.count, 312);
    EXPECT_EQ(e.colorIdx, 139);
}

TEST_F(EscapeTimeTest, EscapesAtTheFirstPassAndOnTheRadiusItself)
{
    for (int f = 1; f <= 4; ++f) {
        use(f);
        const Escape far = mandelbrot(3.0, 0.0);
        EXPECT_EQ(far.count, 0) << "function " << f;
        EXPECT_EQ(far.colorIdx, 0);
        EXPECT_EQ(julia(2.5, 0.1, 0.0, 0.0).count, 0);
    }
    use(1);
    const Escape twoSteps = mandelbrot(1.5, 0.0);
    EXPECT_EQ(twoSteps.count, 2);
    EXPECT_EQ(twoSteps.colorIdx, 2);
    // -2 -> 2 -> 2 ...: |z|^2 is exactly 4, which is not an escape.
    const Escape onRadius = mandelbrot(-2.0, 0.0);
    EXPECT_EQ(onRadius.count, 100);
    EXPECT_EQ(onRadius.colorIdx, kLastColor);
    // The complex power counts the pass that reached the radius.
    use(5);
    EXPECT_EQ(mandelbrot(-2.0, 0.0).count, 2);
    EXPECT_EQ(mandelbrot(3.0, 0.0).count, 2);
    EXPECT_EQ(mandelbrot(3.0, 0.0).colorIdx, 2);
}

TEST_F(EscapeTimeTest, SmallestLimits)
{
    for (int f = 1; f <= 5; ++f) {
        use(f);
        const Escape one = mandelbrot(0.0, 0.0, 1);
        EXPECT_EQ(one.count, 0) << "function " << f;
        EXPECT_EQ(one.colorIdx, 0);
        const Escape two = mandelbrot(0.0, 0.0, 2);
        EXPECT_EQ(two.count, 2) << "function " << f;
        EXPECT_EQ(two.colorIdx, kLastColor);
    }
}

TEST_F(EscapeTimeTest, LimitsAboveTheCurvesEndGiveTheLastColourWithoutAnAlert)
{
    AlertRecorder alerts;
    // c just right of the cusp escapes slowly: k grows like pi / sqrt(c - 0.25).
    const Escape e = mandelbrot(0.25 + 6e-8, 0.0, 99000);
    EXPECT_GT(e.count, 10075);
    EXPECT_LT(e.count, 99000);
    EXPECT_EQ(e.colorIdx, kLastColor);
    EXPECT_TRUE(alerts.messages().empty());
}

TEST_F(EscapeTimeTest, UnknownFunctionRaisesTheAlert)
{
    AlertRecorder alerts;
    use(9);
    mandelbrot(0.0, 0.0);
    ASSERT_EQ(alerts.messages().size(), 1u);
    EXPECT_EQ(alerts.messages()[0], "bad func switch");
}

TEST_F(EscapeTimeTest, WithoutAFunctionItIteratesTheOneTheViewStateSelects)
{
    setStartState();
    const double z0[2] = {0.0, 0.0}, c[2] = {-0.75, 0.1};
    EXPECT_EQ(EscapeTime(z0, c, 100).count, 33);
    whichFunc = 5;
    gRealExpon = 2.0;
    EXPECT_EQ(EscapeTime(z0, c, 100).count, 34);
    gRealExpon = 3.0;
    gCplxExpon = 0.5;
    EXPECT_EQ(EscapeTime(z0, c, 100).count, EscapeTime(z0, c, 100, {5, 3.0, 0.5}).count);
    EXPECT_NE(EscapeTime(z0, c, 100).count, 34);
    setStartState();
}

} // namespace
