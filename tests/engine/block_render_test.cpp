#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "engine/block_steps.h"
#include "engine/escape_time.h"
#include "tests/support/support.h"
#include "tests/support/view_support.h"

namespace {

using Plot = RecordingCanvas::Plot;

// Every pixel of a side x side frame plotted exactly once.
void expectEachPixelOnce(const std::vector<Plot>& plots, int side)
{
    std::set<std::pair<int, int>> seen;
    for (const Plot& p : plots) {
        ASSERT_TRUE(p.x >= 0 && p.x < side && p.y >= 0 && p.y < side) << "plot outside at " << p.x << "," << p.y;
        ASSERT_TRUE(seen.insert({p.x, p.y}).second) << "pixel " << p.x << "," << p.y << " plotted twice";
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(side) * side);
}

TEST(BlockRenderTest, UniformOutlineOfTheFourByFourBlockPaintsItsSixteenPixels)
{
    const std::atomic<std::int32_t> limit{100};
    RecordingCanvas canvas;
    PlaneJob plane{squareFrame(kMandelbrot, 40, -0.1, 0.1, -0.1, 0.1), limit, canvas};
    GridJob& job = plane.job;  // deep inside the set
    EXPECT_TRUE(DoRect({10, 20, 14, 24}, job, 1));
    EXPECT_EQ(job.stats.evaluations, 17u);
    ASSERT_EQ(canvas.plots.size(), 16u);
    for (const Plot& p : canvas.plots) {
        EXPECT_TRUE(p.x >= 10 && p.x <= 13 && p.y >= 20 && p.y <= 23) << p.x << "," << p.y;
        EXPECT_EQ(p.idx, kLastColor);
    }
    // A block with no rows passes and draws nothing.
    canvas.plots.clear();
    EXPECT_TRUE(DoRect({10, 20, 14, 20}, job, 1));
    EXPECT_TRUE(canvas.plots.empty());
}

TEST(BlockRenderTest, OutlineSamplesTopBelowRightLeftAndStopsAtTheFirstDifference)
{
    // Julia frame, z^2 with c = 0 and limit 2: a point counts 2 when
    // |z0|^2 <= 2, else 0. Pixel column p lies at re = 0.5p - 5.5, so only
    // the column just right of the block (14) lies outside.
    const std::atomic<std::int32_t> limit{2};
    RecordingCanvas canvas;
    PlaneJob plane{squareFrame(kJulia, 40, -5.5, 14.5, -0.18, 0.22, 1, 0.0, 0.0), limit, canvas};
    GridJob& job = plane.job;
    EXPECT_FALSE(DoRect({10, 20, 14, 24}, job, 1));
    // Corner, then row 20: top (same point), below, right: differs.
    EXPECT_EQ(job.stats.evaluations, 4u);
    EXPECT_TRUE(canvas.plots.empty());

    // Now only the row just below the block (24) lies outside: columns sit
    // near re = 0 and rows 20..24 at im = 0.5, 0, -0.5, -1, -1.5.
    PlaneJob below{squareFrame(kJulia, 40, -0.12, 0.28, -9.5, 10.5, 1, 0.0, 0.0), limit, canvas};
    EXPECT_FALSE(DoRect({10, 20, 14, 24}, below.job, 1));
    // Corner, then row 20: top (same point), below: differs.
    EXPECT_EQ(below.job.stats.evaluations, 3u);
    // One row shorter, the block's outline stays inside and it is painted.
    below.job.stats = {};
    EXPECT_TRUE(DoRect({10, 20, 14, 23}, below.job, 1));
    EXPECT_EQ(below.job.stats.evaluations, 13u);
}

TEST(BlockRenderTest, AnOutlineThatAgreesPaintsTheBlockWhateverItsInterior)
{
    // The outline lies outside radius 2 (count 0); the interior holds c = 0.
    const std::atomic<std::int32_t> limit{100};
    RecordingCanvas canvas;
    PlaneJob plane{squareFrame(kMandelbrot, 4, -2.5, 2.5, -2.5, 2.5), limit, canvas};
    GridJob& job = plane.job;
    EXPECT_TRUE(DoRect({0, 0, 4, 4}, job, 1));
    ASSERT_EQ(canvas.plots.size(), 16u);
    for (const Plot& p : canvas.plots)
        EXPECT_EQ(p.idx, 0) << "pixel " << p.x << "," << p.y;
    // Computed pixel by pixel, the centre shows the set.
    canvas.plots.clear();
    EXPECT_TRUE(DoRect({0, 0, 4, 4}, job, 0));
    EXPECT_EQ(canvas.plots[2 * 4 + 2], (Plot{2, 2, kLastColor}));
}

TEST(BlockRenderTest, UniformViewIsFinishedByFourOutlineTestsOfUnequalQuarters)
{
    const std::atomic<std::int32_t> limit{100};
    RecordingCanvas canvas;
    PlaneJob plane{squareFrame(kMandelbrot, 101, -0.1, 0.1, -0.1, 0.1), limit, canvas};
    GridJob& job = plane.job;
    doGrid({0, 0, 101, 101}, job);
    // 4h + 1 evaluations per quarter: heights 50, 50, 51, 51.
    EXPECT_EQ(job.stats.evaluations, 201u + 201u + 205u + 205u);
    ASSERT_EQ(canvas.plots.size(), 101u * 101u);
    // Painted row by row, quarter after quarter: 50x50, 51x50, 50x51, 51x51.
    EXPECT_EQ(canvas.plots[0], (Plot{0, 0, kLastColor}));
    EXPECT_EQ(canvas.plots[50 * 50 - 1], (Plot{49, 49, kLastColor}));
    EXPECT_EQ(canvas.plots[50 * 50], (Plot{50, 0, kLastColor}));
    EXPECT_EQ(canvas.plots[50 * 50 + 51 * 50 - 1], (Plot{100, 49, kLastColor}));
    EXPECT_EQ(canvas.plots[50 * 50 + 51 * 50], (Plot{0, 50, kLastColor}));
    EXPECT_EQ(canvas.plots[50 * 50 + 51 * 50 + 50 * 51], (Plot{50, 50, kLastColor}));
    expectEachPixelOnce(canvas.plots, 101);
}

TEST(BlockRenderTest, QuartersFailingAtSide41AreComputedAndAtSide42QuarteredAgain)
{
    // The default view: the upper-left quarter's outline is not uniform.
    for (int side : {41, 42}) {
        const std::atomic<std::int32_t> limit{100};
        RecordingCanvas canvas;
        PlaneJob plane{squareFrame(kMandelbrot, side, -2.0, 2.0, -2.0, 2.0), limit, canvas};
    GridJob& job = plane.job;
        doGrid({0, 0, side, side}, job);
        expectEachPixelOnce(canvas.plots, side);
        // Pixel by pixel, the 20-wide quarter's first row comes first; quartered
        // again, the 10-wide sub-block's second row follows its first.
        const Plot eleventh = canvas.plots[10];
        if (side == 41)
            EXPECT_EQ(std::make_pair(eleventh.x, eleventh.y), std::make_pair(10, 0));
        else
            EXPECT_EQ(std::make_pair(eleventh.x, eleventh.y), std::make_pair(0, 1));
    }
}

TEST(BlockRenderTest, ComputedPixelsMatchADirectEvaluation)
{
    const std::atomic<std::int32_t> limit{100};
    RecordingCanvas canvas;
    PlaneJob plane{squareFrame(kMandelbrot, 41, -2.0, 2.0, -2.0, 2.0), limit, canvas};
    GridJob& job = plane.job;
    ASSERT_TRUE(DoRect({0, 0, 41, 41}, job, 0));
    EXPECT_EQ(job.stats.evaluations, 41u * 41u);
    for (const Plot& p : canvas.plots) {
        const double z0[2] = {0, 0};
        const double point[2] = {p.x * (4.0 / 41) + -2.0, 2.0 - p.y * (4.0 / 41)};
        ASSERT_EQ(p.idx, EscapeTime(z0, point, 100, IterFunc{}).colorIdx) << "pixel " << p.x << "," << p.y;
    }
}

} // namespace

// Blocks of a square frame keep the window's outline: rows sampled as far
// as the block is high. Wider or narrower blocks are sampled round their
// whole closed outline, and nothing beyond it.
TEST(BlockRenderTest, AnOutlineCoversTheWholeClosedOutlineOfARectangularBlock)
{
    const auto samples = [](const tagRECT& b) {
        std::vector<std::pair<int, int>> out;
        for (int n = 0; n < outlineSamples(b); ++n)
            out.emplace_back(outlineSample(b, n).x, outlineSample(b, n).y);
        return out;
    };
    for (const tagRECT b : {tagRECT{3, 5, 13, 8}, tagRECT{3, 5, 6, 15}, tagRECT{0, 0, 7, 2}}) {
        std::set<std::pair<int, int>> want;
        for (int x = b.left; x < b.right; ++x)
            want.insert({{x, b.top}, {x, b.bottom}});
        for (int y = b.top; y < b.bottom; ++y)
            want.insert({{b.right, y}, {b.left, y}});
        const auto got = samples(b);
        const std::set<std::pair<int, int>> sampled(got.begin() + 1, got.end());
        EXPECT_EQ(sampled, want) << b.right - b.left << "x" << b.bottom - b.top;
        // The corner comes first, and again in the top row and the left column.
        EXPECT_EQ(got.size(), static_cast<std::size_t>(1 + 2 * (b.right - b.left) + 2 * (b.bottom - b.top)));
        EXPECT_EQ(got.front(), (std::pair{b.left, b.top}));
    }
    // Square and a pixel off: four a row of the block's height, as always.
    for (const tagRECT b : {tagRECT{2, 2, 9, 9}, tagRECT{2, 2, 10, 9}, tagRECT{2, 2, 9, 10}}) {
        const auto got = samples(b);
        ASSERT_EQ(got.size(), static_cast<std::size_t>(1 + 4 * (b.bottom - b.top)));
        for (int row = 0; row < b.bottom - b.top; ++row) {
            EXPECT_EQ(got[1 + 4 * row], (std::pair{b.left + row, b.top}));
            EXPECT_EQ(got[2 + 4 * row], (std::pair{b.left + row, b.bottom}));
            EXPECT_EQ(got[3 + 4 * row], (std::pair{b.right, b.top + row}));
            EXPECT_EQ(got[4 + 4 * row], (std::pair{b.left, b.top + row}));
        }
    }
}
