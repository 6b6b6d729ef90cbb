#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/escape_batch.h"

namespace {

// Adds its points `chunk` at a time, and ends the run early when asked to.
class ListFeeder final : public EscapeFeeder {
public:
    ListFeeder(std::vector<EscapePoint> points, std::size_t chunk) : points_(std::move(points)), chunk_(chunk) {}
    bool refill(EscapeRun& run) override
    {
        ++calls;
        if (stopAfter != 0 && run.size() >= stopAfter)
            return false;
        for (std::size_t n = 0; n < chunk_ && next_ < points_.size(); ++n)
            run.add(points_[next_++]);
        return true;
    }
    std::size_t stopAfter = 0;
    int calls = 0;

private:
    std::vector<EscapePoint> points_;
    std::size_t chunk_;
    std::size_t next_ = 0;
};

// A grid of side x side points over the square [x0, x1] x [y0, y1]: the
// Mandelbrot points (z0 = 0) or the Julia points of constant c.
std::vector<EscapePoint> grid(double x0, double x1, double y0, double y1, int side, int limit,
                              bool julia = false, double cr = 0.0, double ci = 0.0)
{
    std::vector<EscapePoint> points;
    for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col) {
            const double re = x0 + col * ((x1 - x0) / side), im = y1 - row * ((y1 - y0) / side);
            points.push_back(julia ? EscapePoint{re, im, cr, ci, limit} : EscapePoint{0.0, 0.0, re, im, limit});
        }
    return points;
}

// Every point of the run against EscapeTime, with where and how they differ.
void expectSameAsReference(EscapeIsa isa, int func, const std::vector<EscapePoint>& points, std::size_t chunk)
{
    EscapeRun run;
    ListFeeder feeder(points, chunk);
    escapeKernel(isa, func)(run, feeder);
    ASSERT_EQ(run.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        const EscapePoint& p = points[i];
        const double z0[2] = {p.zr, p.zi}, c[2] = {p.cr, p.ci};
        const Escape want = EscapeTime(z0, c, p.maxIters, IterFunc{static_cast<std::int16_t>(func)});
        ASSERT_TRUE(run.isDone(i)) << "point " << i << " was not finished";
        const Escape& got = run.result(i);
        ASSERT_TRUE(got.count == want.count && got.colorIdx == want.colorIdx && got.passes == want.passes)
            << isaName(isa) << ", function " << func << ", point " << i << " z0 = " << p.zr << "," << p.zi
            << " c = " << p.cr << "," << p.ci << " limit " << p.maxIters << ": got count " << got.count
            << " colour " << got.colorIdx << " passes " << got.passes << ", want " << want.count << " "
            << want.colorIdx << " " << want.passes;
    }
}

class EscapeBatchTest : public testing::TestWithParam<EscapeIsa> {
protected:
    void SetUp() override
    {
        if (!isaAvailable(GetParam()))
            GTEST_SKIP() << isaName(GetParam()) << " is not available on this processor";
    }
};

TEST_P(EscapeBatchTest, EveryPowerGivesTheReferenceResultOnEveryView)
{
    for (int func = 1; func <= 4; ++func) {
        // The default square: corners escape at the very first pass.
        expectSameAsReference(GetParam(), func, grid(-2, 2, -2, 2, 48, 100), 40);
        // Near the boundary, with a chunk smaller than the lanes.
        expectSameAsReference(GetParam(), func, grid(-0.75, -0.74, 0.1, 0.11, 24, 2000), 5);
        expectSameAsReference(GetParam(), func, grid(-1.5, 1.5, -1.5, 1.5, 32, 300, true, -0.75, 0.11), 1000);
        // The smallest limits.
        expectSameAsReference(GetParam(), func, grid(-2, 2, -2, 2, 16, 1), 7);
        expectSameAsReference(GetParam(), func, grid(-2, 2, -2, 2, 16, 2), 64);
    }
}

TEST_P(EscapeBatchTest, RadiusTwoHugeAndNotANumberStartsMatchTheReference)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<EscapePoint> points = {
        {0, 0, -2.0, 0.0, 100},    // -2, 2, 2, ...: exactly on the radius, never out
        {2.0, 0.0, 0, 0, 100},     // starts on the radius
        {0.0, -2.0, 0, 0, 100},
        {-2.0, 0.0, -2.0, 0, 50},
        {1.2, 1.6, 0, 0, 100},     // |z0| = 2 up to rounding
        {2.0, 1e-300, 0, 0, 100},  // just outside
        {1e200, 1e200, 0, 0, 100}, // the squares overflow to infinity
        {inf, 0, 0, 0, 100},
        {nan, 0, 0, 0, 77},        // never compares as escaped
        {0, 0, nan, 0.5, 33},
        {0, 0, 0, 0, 1},
        {0, 0, 3.0, 0, 1},
        {0, 0, 0, 0, 2},
        {0, 0, 1.5, 0, 2},
        {0, 0, 1.5, 0, 3},
    };
    for (int func = 1; func <= 4; ++func)
        for (std::size_t chunk : {std::size_t{1}, points.size()})
            expectSameAsReference(GetParam(), func, points, chunk);
}

TEST_P(EscapeBatchTest, LongEscapesAndMixedLimitsInOneRun)
{
    // Just right of the cusp the counts pass 10074, the end of the colour curve.
    std::vector<EscapePoint> points;
    for (int i = 0; i < 20; ++i)
        points.push_back({0, 0, 0.25 + 6e-8 * (1 + i % 5), 1e-9 * i, 99000});
    // Points whose limit changes from one chunk to the next, as when the
    // iteration menu is used during a render.
    std::vector<EscapePoint> mixed = grid(-0.76, -0.74, 0.09, 0.11, 20, 0);
    for (std::size_t i = 0; i < mixed.size(); ++i)
        mixed[i].maxIters = (i / 7) % 2 == 0 ? 150 : 10080;
    points.insert(points.end(), mixed.begin(), mixed.end());
    expectSameAsReference(GetParam(), 1, points, 7);
    expectSameAsReference(GetParam(), 2, grid(-0.6, 0.6, 0.0, 1.2, 12, 12000), 9);
}

TEST_P(EscapeBatchTest, AFeederThatEndsTheRunLeavesThePointsInFlightUnfinished)
{
    // A point deep in the set with a long limit, and one that escapes at
    // once: its lane comes free first, and the feeder then ends the run.
    EscapeRun run;
    ListFeeder feeder({{0, 0, 0.0, 0.0, 90000}, {0, 0, 3.0, 0.0, 90000}, {0, 0, 0.1, 0.0, 90000}}, 2);
    feeder.stopAfter = 2;
    escapeKernel(GetParam(), 1)(run, feeder);
    ASSERT_EQ(run.size(), 2u);
    EXPECT_FALSE(run.isDone(0));
    EXPECT_TRUE(run.isDone(1));
    EXPECT_EQ(feeder.calls, 2);
    // An empty feeder ends the run at its first call.
    EscapeRun none;
    ListFeeder empty({}, 4);
    escapeKernel(GetParam(), 3)(none, empty);
    EXPECT_EQ(empty.calls, 1);
}

// Adds points that never escape, cancels most of them before they can start
// and two once they are in flight (fewer than any kernel has lanes), and
// short points that must come out right.
class CancellingFeeder final : public EscapeFeeder {
public:
    static bool isLong(std::size_t i) { return i % 2 == 0 && (i < 4 || i >= 20); }
    bool refill(EscapeRun& run) override
    {
        if (++calls == 1) {
            for (std::size_t i = 0; i < 40; ++i)
                run.add(isLong(i) ? EscapePoint{0, 0, 0.0, 0.0, 90000} : EscapePoint{0, 0, shortC(i), 0.0, 900});
            for (std::size_t i = 20; i < 40; i += 2)
                run.cancel(i);
        } else if (calls == 2) {
            run.cancel(0);
            run.cancel(2);
        }
        return true;
    }
    static double shortC(std::size_t i) { return 0.3 + 0.01 * static_cast<double>(i); }
    int calls = 0;
};

TEST_P(EscapeBatchTest, CancelledPointsAreNeitherStartedNorFinishedAndFreeTheirLanes)
{
    EscapeRun run;
    CancellingFeeder feeder;
    escapeKernel(GetParam(), 1)(run, feeder);
    ASSERT_EQ(run.size(), 40u);
    for (std::size_t i = 0; i < 40; ++i) {
        ASSERT_TRUE(run.isDone(i)) << "point " << i;
        if (CancellingFeeder::isLong(i)) {
            EXPECT_EQ(run.result(i).passes, EscapeRun::kCancelled) << "cancelled point " << i << " was finished";
            continue;
        }
        const double z0[2] = {0, 0}, c[2] = {CancellingFeeder::shortC(i), 0.0};
        EXPECT_EQ(run.result(i).passes, EscapeTime(z0, c, 900, IterFunc{}).passes) << "point " << i;
    }
    // Cancelling a finished point changes nothing.
    const Escape kept = run.result(1);
    run.cancel(1);
    EXPECT_EQ(run.result(1).passes, kept.passes);
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, EscapeBatchTest,
                         testing::Values(EscapeIsa::Baseline, EscapeIsa::Avx2, EscapeIsa::Avx512),
                         [](const testing::TestParamInfo<EscapeIsa>& info) { return std::string(isaName(info.param)); });

TEST(EscapeBatchSelection, KernelsExistForTheIntegerPowersOnAvailableSetsOnly)
{
    const EscapeIsa before = escapeIsa();
    EXPECT_TRUE(isaAvailable(EscapeIsa::Scalar));
    EXPECT_TRUE(isaAvailable(EscapeIsa::Baseline));
    EXPECT_NE(before, EscapeIsa::Scalar) << "the best available set is chosen by default";
    for (EscapeIsa isa : {EscapeIsa::Scalar, EscapeIsa::Baseline, EscapeIsa::Avx2, EscapeIsa::Avx512}) {
        EXPECT_EQ(setEscapeIsa(isa), isaAvailable(isa)) << isaName(isa);
        if (isaAvailable(isa)) {
            EXPECT_EQ(escapeIsa(), isa);
        }
        for (int func = 0; func <= 6; ++func)
            EXPECT_EQ(escapeKernel(isa, func) != nullptr,
                      isaAvailable(isa) && isa != EscapeIsa::Scalar && func >= 1 && func <= 4)
                << isaName(isa) << " function " << func;
    }
    setEscapeIsa(before);
    EXPECT_EQ(escapeKernel(5), nullptr);
}

TEST(EscapeBatchSelection, TabledColoursFollowTheCurveForEveryCount)
{
    for (std::int32_t k = 2; k < 99000; ++k)
        ASSERT_EQ(integerEscape(k, 99000).colorIdx, colorIndex(k)) << "k = " << k;
    EXPECT_EQ(integerEscape(1, 5).count, 0);
    EXPECT_EQ(integerEscape(1, 1).passes, 1);
    EXPECT_EQ(integerEscape(5, 5).colorIdx, kLastColor);
    EXPECT_EQ(integerEscape(4, 5).passes, 5);
}

} // namespace
