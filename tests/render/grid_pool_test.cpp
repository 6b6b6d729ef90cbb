#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <vector>

#include "engine/escape_batch.h"
#include "render/grid_pool.h"
#include "tests/support/view_support.h"

namespace {

using namespace std::chrono_literals;

// Keeps each pixel's palette index; threads plot distinct pixels.
class PictureCanvas final : public FrameCanvas {
public:
    explicit PictureCanvas(int side) : side_(side), indices(static_cast<std::size_t>(side) * side, -1) {}
    void plotXY(int x, int y, int clrIdx) override { indices[static_cast<std::size_t>(y) * side_ + x] = clrIdx; }
    bool userHalt() override { return halted; }

    int side_;
    std::vector<int> indices;
    std::atomic<bool> halted{false};
};

TEST(GridPoolTest, ThreadCountChangesNeitherPictureNorCounts)
{
    const EscapeIsa saved = escapeIsa();
    const FrameSpec frame = squareFrame(kMandelbrot, 157, -0.7454, -0.7446, 0.1123, 0.1131);
    const std::atomic<std::int32_t> limit{700};
    for (EscapeIsa isa : {EscapeIsa::Scalar, saved}) {
        const PlaneEvaluator boundary(frame, isa);
        PictureCanvas one(157);
        const RenderStats a = renderParallel({0, 0, 157, 157}, boundary, limit, one, 1);
        for (int threads : {2, 3}) {
            PictureCanvas many(157);
            const RenderStats b = renderParallel({0, 0, 157, 157}, boundary, limit, many, threads);
            for (std::size_t i = 0; i < one.indices.size(); ++i)
                ASSERT_EQ(one.indices[i], many.indices[i])
                    << isaName(isa) << ", " << threads << " threads: pixel " << i % 157 << "," << i / 157;
            EXPECT_EQ(a.evaluations, b.evaluations) << isaName(isa) << ", " << threads << " threads";
            EXPECT_EQ(a.iterations, b.iterations) << isaName(isa) << ", " << threads << " threads";
            EXPECT_EQ(a.speculative, b.speculative) << isaName(isa) << ", " << threads << " threads";
        }
        EXPECT_EQ(std::count(one.indices.begin(), one.indices.end(), -1), 0) << "a pixel was never plotted";
    }
}

TEST(GridPoolTest, AStopRequestEndsARenderOnAnyNumberOfThreadsPromptly)
{
    // Near the boundary at the highest limit: more than a second of work.
    const PlaneEvaluator boundary(squareFrame(kMandelbrot, 600, -0.75, -0.74, 0.1, 0.11));
    const std::atomic<std::int32_t> limit{99000};
    for (int threads : {1, 2}) {
        PictureCanvas canvas(600);
        auto render = std::async(std::launch::async,
                                 [&] { renderParallel({0, 0, 600, 600}, boundary, limit, canvas, threads); });
        std::this_thread::sleep_for(50ms);
        const auto asked = std::chrono::steady_clock::now();
        canvas.halted = true;
        render.wait();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms) << threads << " threads";
        EXPECT_GT(std::count(canvas.indices.begin(), canvas.indices.end(), -1), 0)
            << threads << " threads: the render was not cut short";
    }
}

} // namespace
