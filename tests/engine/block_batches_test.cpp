#include <gtest/gtest.h>

#include <functional>

#include "engine/escape_batch.h"
#include "tests/support/support.h"
#include "tests/support/view_support.h"

namespace {

using Plot = RecordingCanvas::Plot;

// Puts back the instruction set that was in use.
class IsaGuard {
public:
    ~IsaGuard() { setEscapeIsa(saved_); }

private:
    EscapeIsa saved_ = escapeIsa();
};

struct Rendered {
    std::vector<Plot> plots;
    RenderStats stats;
};

Rendered renderWith(EscapeIsa isa, const FrameSpec& frame, const std::atomic<std::int32_t>& limit)
{
    RecordingCanvas canvas;
    PlaneJob plane{frame, limit, canvas, isa};
    doGrid({0, 0, frame.width, frame.height}, plane.job);
    return {canvas.plots, plane.job.stats};
}

TEST(BlockBatchesTest, BatchesPaintTheScalarPictureWithTheScalarCounts)
{
    IsaGuard guard;
    const struct {
        short frame;
        int func, side, iters;
        double x0, x1, y0, y1;
    } scenes[] = {
        {kMandelbrot, 1, 97, 100, -2, 2, -2, 2},  // escapes at the very first pass
        {kMandelbrot, 1, 101, 2000, -0.75, -0.74, 0.1, 0.11},
        {kMandelbrot, 1, 50, 500, -2, -1.8, -0.2, 0},  // pixel (0, 0) is c = -2, on the radius
        {kJulia, 1, 88, 300, -1.6, 1.6, -1.6, 1.6},
        {kMandelbrot, 2, 64, 1, -1.2, 1.2, -1.2, 1.2},
        {kJulia, 3, 61, 2, -1.3, 1.3, -1.3, 1.3},
        {kMandelbrot, 4, 70, 10500, -1.1, 1.1, -1.1, 1.1},
        {kJulia, 2, 45, 700, -1.2, 1.2, -1.2, 1.2},
        // Outlines whose counts differ where the colours agree (high counts
        // share colours): only counts may decide.
        {kMandelbrot, 1, 64, 20000, 0.25000984989476166, 0.25000986960440108, -9.8548e-9, 9.8548e-9},
    };
    for (const auto& s : scenes) {
        const FrameSpec frame = squareFrame(s.frame, s.side, s.x0, s.x1, s.y0, s.y1,
                                              static_cast<std::int16_t>(s.func), -0.75, 0.11);
        const std::atomic<std::int32_t> limit{s.iters};
        const Rendered scalar = renderWith(EscapeIsa::Scalar, frame, limit);
        EXPECT_EQ(scalar.stats.speculative, 0u);
        for (EscapeIsa isa : batchedIsas()) {
            const Rendered batched = renderWith(isa, frame, limit);
            const std::string where = std::string(isaName(isa)) + ", frame " + std::to_string(s.frame) +
                                      ", function " + std::to_string(s.func) + ", limit " + std::to_string(s.iters);
            ASSERT_EQ(batched.plots.size(), scalar.plots.size()) << where;
            for (std::size_t i = 0; i < scalar.plots.size(); ++i) {
                const Plot& a = scalar.plots[i];
                const Plot& b = batched.plots[i];
                ASSERT_EQ(a, b) << where << ": plot " << i << " was (" << b.x << "," << b.y << ") colour " << b.idx
                                << ", the scalar renderer's (" << a.x << "," << a.y << ") colour " << a.idx;
            }
            EXPECT_EQ(batched.stats.evaluations, scalar.stats.evaluations) << where;
            EXPECT_EQ(batched.stats.iterations, scalar.stats.iterations) << where;
        }
    }
}

// Counts its polls, and asks to stop once `haltAt` says so.
class PollingCanvas final : public FrameCanvas {
public:
    void plotXY(int, int, int) override { ++plots; }
    bool userHalt() override
    {
        ++polls;
        return haltAt && haltAt();
    }
    std::function<bool()> haltAt;
    long plots = 0, polls = 0;
};

TEST(BlockBatchesTest, StopRequestsArePolledEveryRowAndEveryFewHundredEvaluations)
{
    IsaGuard guard;
    // Long rows, so that a row is handed over in pieces.
    const std::atomic<std::int32_t> limit{50}, highest{99000};
    for (EscapeIsa isa : batchedIsas()) {
        setEscapeIsa(isa);
        PollingCanvas canvas;
        PlaneJob jobPlane{squareFrame(kMandelbrot, 600, -2, 2, -2, 2), limit, canvas};
        GridJob& job = jobPlane.job;
        ASSERT_TRUE(DoRect({0, 0, 600, 40}, job, 0));
        EXPECT_GE(canvas.polls, 40) << isaName(isa);
        EXPECT_GE(canvas.polls, static_cast<long>(job.stats.evaluations / 300)) << isaName(isa);
        // A tall outline: at least a poll per row.
        canvas.polls = 0;
        DoRect({300, 0, 301, 600}, job, 1);
        EXPECT_GE(canvas.polls, 1) << isaName(isa);

        // Deep in the set at the highest limit: each point takes 99000 passes,
        // yet a stop during the computation ends it within a few hundred.
        PollingCanvas slow;
        slow.haltAt = [&] { return slow.plots > 0; };
        PlaneJob slowJobPlane{squareFrame(kMandelbrot, 600, -0.1, 0.1, -0.1, 0.1), highest, slow};
        GridJob& slowJob = slowJobPlane.job;
        EXPECT_FALSE(DoRect({0, 0, 100, 100}, slowJob, 0));
        EXPECT_LT(slow.plots, 400) << isaName(isa);
    }
}

TEST(BlockBatchesTest, AStopDuringAPaintedQuarterEndsTheFrameBeforeTheNextQuarter)
{
    IsaGuard guard;
    const std::atomic<std::int32_t> limit{100};
    std::vector<EscapeIsa> isas = batchedIsas();
    isas.insert(isas.begin(), EscapeIsa::Scalar);
    // Uniform: four painted quarters; at side 41 they are quarters that
    // would be computed, not quartered, had they failed.
    for (int side : {101, 41}) {
        const FrameSpec frame = squareFrame(kMandelbrot, side, -0.1, 0.1, -0.1, 0.1);
        const int half = side / 2;
        for (EscapeIsa isa : isas) {
            setEscapeIsa(isa);
            PollingCanvas canvas;
            canvas.haltAt = [&] { return canvas.plots > 0; };
            PlaneJob jobPlane{frame, limit, canvas};
            GridJob& job = jobPlane.job;
            doGrid({0, 0, side, side}, job);
            const std::string where = std::string(isaName(isa)) + ", side " + std::to_string(side);
            EXPECT_EQ(canvas.plots, half * half) << where << ": the first quarter was not painted whole";
            EXPECT_EQ(job.stats.evaluations, 1u + 4u * half) << where << ": the next quarter was begun";
        }
    }
}

// Records the plots, and raises the limit once the first row is on the map,
// as the iteration menu may do during a render.
class LimitRaisingCanvas final : public FrameCanvas {
public:
    explicit LimitRaisingCanvas(std::atomic<std::int32_t>& limit) : limit_(limit) {}
    void plotXY(int x, int y, int clrIdx) override
    {
        plots.push_back({x, y, clrIdx});
        if (plots.size() == 40)
            limit_ = 3000;
    }
    bool userHalt() override { return false; }
    std::vector<Plot> plots;

private:
    std::atomic<std::int32_t>& limit_;
};

TEST(BlockBatchesTest, ALimitChangedDuringARenderAppliesToThePointsHandedOverAfterwards)
{
    IsaGuard guard;
    for (EscapeIsa isa : batchedIsas()) {
        setEscapeIsa(isa);
        std::atomic<std::int32_t> limit{100};
        LimitRaisingCanvas canvas(limit);
        PlaneJob jobPlane{squareFrame(kMandelbrot, 40, -0.75, -0.74, 0.1, 0.11), limit, canvas};
        GridJob& job = jobPlane.job;
        ASSERT_TRUE(DoRect({0, 0, 40, 40}, job, 0));
        ASSERT_EQ(canvas.plots.size(), 1600u);
        for (const Plot& p : canvas.plots) {
            if (p.y != 0 && p.y != 39)
                continue;
            const int used = p.y == 0 ? 100 : 3000;
            const double z0[2] = {0, 0};
            const double point[2] = {planeRe(jobPlane.evaluator, p.x), planeIm(jobPlane.evaluator, p.y)};
            EXPECT_EQ(p.idx, EscapeTime(z0, point, used, IterFunc{}).colorIdx)
                << isaName(isa) << ": pixel " << p.x << "," << p.y << " should have limit " << used;
        }
    }
}

} // namespace
