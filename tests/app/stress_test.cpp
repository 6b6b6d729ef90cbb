// Stress on the window and its renders: many starts, stops, resizes, ESC
// presses, alerts and zooms in a row, with pauses drawn from fixed seeds.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include <random>

#include "app/frame_layout.h"
#include "app/menus.h"
#include "app/gestures.h"
#include "app/shell_state.h"
#include "app/window_requests.h"
#include "render/off_map.h"
#include "tests/support/faults.h"
#include "tests/support/gui_support.h"
#include "tests/support/render_support.h"
#include "tests/support/stress_support.h"

namespace {

using namespace std::chrono_literals;

// Keeps the window's events flowing for up to `maxMicros` microseconds.
void pause(std::mt19937& rng, int maxMicros, QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents)
{
    const qint64 nanos = std::uniform_int_distribution<qint64>(0, maxMicros)(rng) * 1000;
    QElapsedTimer clock;
    clock.start();
    do
        QApplication::processEvents(flags);
    while (clock.nsecsElapsed() < nanos);
}

tagRECT wholeMap() { return {0, 0, gMMap->width, gMMap->height}; }

// Both frames across the edges of their sets at the highest limit, with z^2:
// renders of a second or two, far longer than the pauses, whose stops are
// prompt because each evaluation is short.
void deepViews()
{
    gIterFlag = 2;
    whichFunc = 1;
    loadStats(&Mgraph, -0.8, -0.7, -0.05, 0.05);
    loadStats(&Jgraph, 0.9, 1.1, -0.1, 0.1);
    Jreal = Jcomplex = 0.0;
    newPxl();
    Mgraph.iters = Jgraph.iters = 99000;
}

// Views where the escape counts change from pixel to pixel, through the
// complex power at the highest limit: renders of seconds that draw pixel
// after pixel all along, so that a map freed under a running render would be
// written at once.
void noisyViews()
{
    gIterFlag = 2;
    whichFunc = 5;
    gRealExpon = 2.0;
    gCplxExpon = 0.0;
    loadStats(&Mgraph, -0.74366, -0.74362, 0.13180, 0.13184);
    loadStats(&Jgraph, -0.2, 0.2, -0.2, 0.2);
    Jreal = -0.74364;
    Jcomplex = 0.13182;
    newPxl();
    Mgraph.iters = Jgraph.iters = 99000;
}

void expectIdle(const char* after)
{
    EXPECT_EQ(gMthd, kFinished) << after;
    EXPECT_EQ(gJthd, kFinished) << after;
    EXPECT_EQ(mThdID, 0u) << after;
    EXPECT_EQ(jThdID, 0u) << after;
    EXPECT_TRUE(clipSelect->menuAction()->isEnabled()) << after << ": the Copy popup stayed grayed";
}

// Restarts a frame's render and returns how long it waited for the old one.
qint64 restart(short frame)
{
    QElapsedTimer clock;
    clock.start();
    drawFigure(wholeMap(), frame);
    return clock.elapsed();
}

TEST(StressTest, FiveHundredStartStopRestartCyclesNeverHangAndEndIdle)
{
    Watchdog dog("start/stop/restart cycles", 300s);
    Shell shell;
    std::mt19937 rng(2024);
    qint64 longestWait = 0;
    for (int cycle = 0; cycle < 500; ++cycle) {
        if (rng() % 2)
            deepViews();
        else
            setStartState();
        if (rng() % 10 == 0) {
            shell.area->setupWindow();
        } else {
            longestWait = std::max(longestWait, restart(kMandelbrot));
            longestWait = std::max(longestWait, restart(kJulia));
        }
        pause(rng, 3000);
        stopThread(kBothFrames);
        pause(rng, 3000);
        const unsigned which = rng() % 3;
        if (which != 1)
            longestWait = std::max(longestWait, restart(kMandelbrot));
        if (which != 0)
            longestWait = std::max(longestWait, restart(kJulia));
        pause(rng, 3000);
    }
    haltRenders();
    shell.waitForRenders();
    expectIdle("500 cycles");
    // A stopped render ends at its next poll; a restart that waits out a
    // whole render means a stop request was lost.
    EXPECT_LT(longestWait, 700) << "ms: a restart waited for a render to finish";
}

TEST(StressTest, BurstOfTwoHundredResizesWhileRenderingLaysOutOnceWithMapsOfTheNewSize)
{
    Watchdog dog("resize burst", 300s);
    Shell shell;
    noisyViews();
    const int layouts = shell.area->layoutCount();
    std::mt19937 rng(7);
    int w = 0, h = 0;
    // The layout follows the last resize by kSettleMs of quiet. A test
    // process that loses the processor for that long between two resizes
    // (a loaded machine, a sanitizer) used to see a legitimate layout in
    // mid-burst, about once in fifty runs of the whole suite: timers stay out
    // of the pauses, so that only a resize itself could lay out early.
    QElapsedTimer clock;
    clock.start();
    qint64 lastResize = 0, longestGap = 0;
    int laidOutAt = -1;
    for (int i = 0; i < 200; ++i) {
        // Fresh renders now and then keep both maps written all through the
        // burst, up to the layout at its end.
        if (i % 40 == 0) {
            drawFigure(wholeMap(), kMandelbrot);
            drawFigure(wholeMap(), kJulia);
        }
        w = std::uniform_int_distribution(300, 700)(rng);
        h = std::uniform_int_distribution(180, 500)(rng);
        longestGap = std::max(longestGap, clock.elapsed() - lastResize);
        shell.resizeClient(w, h);
        lastResize = clock.elapsed();
        pause(rng, 2000, QEventLoop::X11ExcludeTimers);
        if (laidOutAt < 0 && shell.area->layoutCount() != layouts)
            laidOutAt = i;
    }
    EXPECT_TRUE(anyRenderRunning()) << "the renders should still be drawing into the old maps";
    EXPECT_EQ(shell.area->layoutCount(), layouts)
        << "laid out during the burst, first at resize " << laidOutAt << "; the longest time between two resizes was "
        << longestGap << " ms";
    ASSERT_TRUE(waitUntil([&] { return shell.area->layoutCount() > layouts; }, 5000));
    settle(2 * SizingBracket::kSettleMs);
    EXPECT_EQ(shell.area->layoutCount(), layouts + 1);
    EXPECT_EQ(gWinRect, (tagRECT{0, 0, w, h}));
    const int side = frameLayout(w, h).side;
    ASSERT_TRUE(gJMap && gMMap);
    for (const offBMP* map : {gJMap.get(), gMMap.get()}) {
        EXPECT_EQ(map->width, side);
        EXPECT_EQ(map->height, side);
    }
}

TEST(StressTest, EscapeHundredsOfTimesDuringRendersAndDuringTheJuliaWait)
{
    Watchdog dog("ESC presses", 300s);
    Shell shell;
    std::mt19937 rng(27);
    for (int press = 0; press < 300; ++press) {
        deepViews();
        // Even presses: the Mandelbrot render runs and the Julia render waits
        // for it. Odd: a quick Mandelbrot render is over, the Julia one runs.
        const bool juliaWaits = press % 2 == 0;
        if (!juliaWaits)
            Mgraph.iters = 100;
        drawFigure(wholeMap(), kMandelbrot);
        drawFigure(wholeMap(), kJulia);
        if (!juliaWaits) {
            ASSERT_TRUE(waitUntil([] { return !mThdHand; }, 5000)) << "press " << press;
        }
        pause(rng, 2000);
        ASSERT_TRUE(juliaWaits ? mThdHand.load() : jThdHand.load()) << "press " << press << ": nothing to halt";
        QTest::keyClick(shell.window.get(), Qt::Key_Escape);
        ASSERT_TRUE(waitUntil([] { return !mThdHand && !jThdHand; }, 10000)) << "press " << press << " hung";
        if (juliaWaits) {
            ASSERT_TRUE(mapIsBlank(*gJMap)) << "press " << press << ": the waiting Julia render drew";
        }
    }
    shell.waitForRenders();
    expectIdle("300 ESC presses");
}

TEST(StressTest, AlertsRaisedOnRenderThreadsWhileTheWindowWaitsShowTheBoxAndEndTheLoop)
{
    Watchdog dog("alerts while waiting", 300s);
    Shell shell;
    BoxAnswerer answerer;
    std::mt19937 rng(3);
    // Every render now waits to be stopped, then raises its alert.
    setRenderThreadStarter(alertWhenStopped);
    alertsArmed = true;
    shell.area->setupWindow();
    for (int round = 1; round <= 20; ++round) {
        clearFatalAlerts();
        // The layout stops both renders and waits for them: each raises the
        // alert while it is being waited for.
        QTimer::singleShot(static_cast<int>(rng() % 5), shell.area, [&] { shell.area->setupWindow(); });
        EXPECT_EQ(QApplication::exec(), 1) << "round " << round;
        ASSERT_EQ(answerer.boxes.size(), static_cast<std::size_t>(round)) << "one box per alert text";
        EXPECT_EQ(answerer.boxes.back(), "Fatal Error!: bad func switch");
    }
    alertsArmed = false;
    haltRenders();
    setRenderThreadStarter(nullptr);
    clearFatalAlerts();
}

// A zoom by the press-and-hold gesture, then the view put back at -2..2.
void zoomThenReset(Shell& shell, short frame, int i)
{
    const tagRECT& area = frame == kJulia ? gJRect : gMRect;
    grafStats& view = frame == kJulia ? Jgraph : Mgraph;
    shell.waitForRenders();
    const QPoint at(area.left + 40 + i % 60, area.top + 40 + i % 50);
    QTest::mousePress(shell.area, Qt::LeftButton, {}, at);
    for (int tick = 0; tick < 15; ++tick)
        shell.area->gestures().tick();
    QTest::mouseRelease(shell.area, Qt::LeftButton, {}, at);
    EXPECT_NE(view.Xmin, -2.0) << "zoom " << i << " did not zoom";
    restartFrameView(frame, {-2.0, 2.0, -2.0, 2.0});
}

TEST(StressTest, HundredZoomsAndResetsLeaveTheHeapAsItWas)
{
    Watchdog dog("zooms and resets", 300s);
    Shell shell;
    for (int i = 0; i < 5; ++i)  // lets Qt's caches reach their size
        zoomThenReset(shell, i % 2 ? kJulia : kMandelbrot, i);
    shell.waitForRenders();
    const std::size_t before = heapInUse();
    for (int i = 0; i < 100; ++i)
        zoomThenReset(shell, i % 2 ? kJulia : kMandelbrot, i);
    shell.waitForRenders();
    const std::size_t after = heapInUse();
    // One frame's map alone is 185 x 185 x 4 bytes: a map or a thread's
    // state kept per zoom would show many times over.
    EXPECT_LE(after, before + 16 * 1024) << "heap grew from " << before << " to " << after << " bytes";
    EXPECT_EQ(Mgraph.Xmin, -2.0);
    EXPECT_EQ(Jgraph.Ymax, 2.0);
    expectIdle("100 zooms");
}

} // namespace
