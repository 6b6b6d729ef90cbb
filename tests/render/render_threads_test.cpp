#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/palette.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "render/render_threads.h"
#include "tests/support/faults.h"
#include "tests/support/render_support.h"

namespace {

using namespace std::chrono_literals;

constexpr int kSide = 120;
const tagRECT kWhole{0, 0, kSide, kSide};

// Polls for a condition another thread brings about, for up to five seconds.
template <class Pred>
bool eventually(Pred pred)
{
    for (int i = 0; i < 5000 && !pred(); ++i)
        std::this_thread::sleep_for(1ms);
    return pred();
}

class RenderThreadsTest : public testing::Test {
protected:
    void SetUp() override
    {
        loadColors();
        setStartState();
        gJRect = {10, 10, 10 + kSide, 10 + kSide};
        gMRect = {20 + kSide, 10, 20 + 2 * kSide, 10 + kSide};
        newPxl();
        gJMap = std::make_unique<offBMP>(kWhole);
        gMMap = std::make_unique<offBMP>(kWhole);
    }
    void TearDown() override
    {
        haltRenders();
        EXPECT_EQ(gMthd, kFinished);
        EXPECT_EQ(gJthd, kFinished);
        EXPECT_EQ(mThdID, 0u);
        EXPECT_EQ(jThdID, 0u);
        EXPECT_FALSE(mThdHand);
        EXPECT_FALSE(jThdHand);
        gJMap.reset();
        gMMap.reset();
    }
    // The Mandelbrot view deep inside the set at the highest limit, under the
    // complex power, which has no batched kernel: a render that takes far
    // longer than any test waits.
    static void makeMandelbrotSlow()
    {
        whichFunc = 5;
        gRealExpon = 2.0;
        gIterFlag = 2;
        loadStats(&Mgraph, -0.1, 0.1, -0.1, 0.1);
        newPxl();
        Mgraph.iters = 99000;
    }

    RecordingHost host;
};

TEST_F(RenderThreadsTest, BothFramesRenderAndTheJuliaRenderWaitsForTheMandelbrotRender)
{
    drawFigure(kWhole, kMandelbrot);
    drawFigure(kWhole, kJulia);
    waitForRender(kBothFrames);
    EXPECT_FALSE(mapIsBlank(*gMMap));
    EXPECT_FALSE(mapIsBlank(*gJMap));
    // Black at the centre of the Mandelbrot frame (c = 0 never escapes).
    EXPECT_EQ(gMMap->pixel(kSide / 2, kSide / 2), 0xFF000000u);
    // The Julia timer starts only once the Mandelbrot render has ended.
    EXPECT_GT(host.indexOf("start 797"), host.indexOf("kill 464"));
    EXPECT_EQ(host.count("start 464"), 1);
    EXPECT_EQ(host.count("kill 797"), 1);
    EXPECT_EQ(host.events().back(), "copy enabled");
}

TEST_F(RenderThreadsTest, StopWhileTheJuliaRenderWaitsEndsBothAndTheJuliaFrameStaysBlank)
{
    makeMandelbrotSlow();
    drawFigure(kWhole, kMandelbrot);
    drawFigure(kWhole, kJulia);
    EXPECT_TRUE(anyRenderRunning());
    EXPECT_EQ(host.indexOf("copy grayed"), 0);
    std::this_thread::sleep_for(20ms);
    stopThread(kBothFrames);
    waitForRender(kBothFrames);
    EXPECT_TRUE(mapIsBlank(*gJMap));
    EXPECT_EQ(host.events().back(), "copy enabled");
}

TEST_F(RenderThreadsTest, AJuliaRenderStoppedWhileItWaitsEndsWithoutWaitingForTheMandelbrotRender)
{
    makeMandelbrotSlow();
    drawFigure(kWhole, kMandelbrot);
    drawFigure(kWhole, kJulia);
    stopThread(kJulia);
    EXPECT_TRUE(eventually([] { return !jThdHand; })) << "the Julia render went on waiting";
    EXPECT_EQ(gMthd, kRunning);
    EXPECT_TRUE(mapIsBlank(*gJMap));
}

TEST_F(RenderThreadsTest, RestartReplacesTheRunningRenderWithAFreshOne)
{
    makeMandelbrotSlow();
    drawFigure(kWhole, kMandelbrot);
    const std::uint32_t first = mThdID;
    std::this_thread::sleep_for(20ms);
    drawFigure(kWhole, kMandelbrot);
    // The old thread has ended (its timer killed) before the new one started.
    EXPECT_NE(mThdID, first);
    EXPECT_EQ(host.count("kill 464"), 1);
    EXPECT_GT(host.indexOf("kill 464"), host.indexOf("start 464"));
    EXPECT_TRUE(eventually([&] { return host.count("start 464") == 2; }));
    EXPECT_EQ(gMthd, kRunning);
}

TEST_F(RenderThreadsTest, StopRightAfterAStartIsNeverLost)
{
    makeMandelbrotSlow();
    for (int i = 0; i < 50; ++i) {
        drawFigure(kWhole, kMandelbrot);
        stopThread(kMandelbrot);
        waitForRender(kMandelbrot);  // hangs if the request was overwritten
        ASSERT_EQ(gMthd, kFinished) << "cycle " << i;
    }
    // A request for a frame with no thread changes nothing.
    stopThread(kMandelbrot);
    EXPECT_EQ(gMthd, kFinished);
}

TEST_F(RenderThreadsTest, StopRequestReachesOnlyFramesThatHaveARender)
{
    // As if a Mandelbrot render ran and the Julia frame had none.
    mThdID = 7;
    gMthd = kRunning;
    stopThread(kBothFrames);
    EXPECT_EQ(gMthd, kStopRequested);
    EXPECT_EQ(gJthd, kFinished);
    EXPECT_EQ(userHalt(kMandelbrot), 1);
    EXPECT_EQ(userHalt(kJulia), 0);
    gJthd = kStopRequested;
    EXPECT_EQ(userHalt(kBothFrames), 1);  // anything but 11 reads the Julia flag
    // A render that has just finished but not yet cleared its identifier: a
    // request now would be left over for the frame's next render.
    gMthd = kFinished;
    stopThread(kMandelbrot);
    EXPECT_EQ(gMthd, kFinished);
    mThdID = 0;
    gMthd = gJthd = kFinished;
}

// Starts a render thread that holds back until the test lets it go on.
std::atomic<bool> heldBack{true};
std::thread startWhenLetGo(gridParams* gp)
{
    return std::thread([gp] {
        while (heldBack)
            std::this_thread::sleep_for(1ms);
        preFigure(gp);
    });
}

TEST_F(RenderThreadsTest, FatalAlertOnARenderThreadNeverBlocksTheThreadWaitingForIt)
{
    // A render takes its function when it starts: the bad selector is in
    // place before either starts, and the Mandelbrot render evaluates its
    // first point only once the Julia render is waiting for it.
    whichFunc = 9;
    heldBack = true;
    setRenderThreadStarter(startWhenLetGo);
    drawFigure(kWhole, kMandelbrot);
    setRenderThreadStarter(nullptr);
    drawFigure(kWhole, kJulia);
    heldBack = false;
    waitForRender(kBothFrames);
    whichFunc = 1;
    EXPECT_EQ(host.count("alert bad func switch"), 1)
        << "the alert should have stopped the waiting Julia render before its first evaluation";
    EXPECT_NE(host.alertThread(), std::this_thread::get_id()) << "the alert came from the test's own thread";
    EXPECT_NE(host.alertThread(), std::thread::id{}) << "no alert was recorded";
    EXPECT_TRUE(mapIsBlank(*gJMap));
}

TEST_F(RenderThreadsTest, FailedThreadCreationAlertsOnceAndLeavesTheFrameIdle)
{
    setRenderThreadStarter(noThread);
    drawFigure(kWhole, kMandelbrot);
    setRenderThreadStarter(nullptr);
    EXPECT_EQ(host.count("alert CreateThread failed."), 1);
    EXPECT_EQ(mThdID, 0u);
    EXPECT_FALSE(mThdHand);
    EXPECT_EQ(gMthd, kFinished);
    EXPECT_EQ(host.events().back(), "alert CreateThread failed.");
    EXPECT_EQ(host.count("copy enabled"), 1) << "the Copy popup stayed grayed";
    EXPECT_TRUE(mapIsBlank(*gMMap));

    // The frame can be rendered again once threads can be made.
    drawFigure(kWhole, kMandelbrot);
    waitForRender(kMandelbrot);
    EXPECT_FALSE(mapIsBlank(*gMMap));
    EXPECT_EQ(host.count("alert CreateThread failed."), 1);
}

} // namespace
