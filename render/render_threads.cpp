#include "render/render_threads.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <thread>

#include "engine/frame_switch.h"
#include "engine/view.h"
#include "render/host.h"
#include "render/off_map.h"
#include "render/stop.h"

gridParams gMgp, gJgp;
std::atomic<bool> mThdHand{false}, jThdHand{false};

namespace {

std::thread mThread, jThread;
OrbitCounter mOrbit, jOrbit;
std::atomic<std::uint32_t> lastThreadId{0};

std::thread startPreFigure(gridParams* gp) { return std::thread(preFigure, gp); }
RenderThreadStarter threadStarter = startPreFigure;

// Everything one frame's render runs on.
struct Frame {
    gridParams& gp;
    std::atomic<bool>& hand;
    std::atomic<std::uint32_t>& id;
    std::atomic<std::int16_t>& state;
    std::thread& thread;
    std::unique_ptr<offBMP>& map;
    int timer;
    OrbitCounter& orbit;
};

Frame frame(short FuncSwitch)
{
    if (FuncSwitch == kMandelbrot)
        return {gMgp, mThdHand, mThdID, gMthd, mThread, gMMap, kMandelbrotTimer, mOrbit};
    return {gJgp, jThdHand, jThdID, gJthd, jThread, gJMap, kJuliaTimer, jOrbit};
}

// Draws on a frame's map in its colouring and stops when the frame's stop
// is requested. Several threads may draw at once, each its own pixels.
class MapCanvas final : public FrameCanvas {
public:
    MapCanvas(offBMP& map, short FuncSwitch, Colouring rule, std::int32_t maxIters)
        : map_(map), funcSwitch_(FuncSwitch), rule_(rule), maxIters_(maxIters)
    {}
    void plotXY(int x, int y, int clrIdx) override { map_.plotXY(x, y, clrIdx); }
    void plotEscape(int x, int y, const Escape& e) override
    {
        // The explorer's own curve is the index the evaluation brings.
        plotXY(x, y, rule_ == Colouring::Curve ? e.colorIdx : paletteIndex(rule_, e.count, maxIters_));
    }
    bool userHalt() override { return ::userHalt(funcSwitch_) != 0; }

private:
    offBMP& map_;
    short funcSwitch_;
    Colouring rule_;
    std::int32_t maxIters_;
};

// A deep frame's pixels are independent of each other: every core may take
// some, and the picture is the same.
int renderThreads(const FrameSpec& job)
{
    return job.deep() ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency())) : 1;
}

} // namespace

void waitForRender(short FuncSwitch)
{
    if (FuncSwitch == kBothFrames) {
        waitForRender(kMandelbrot);
        waitForRender(kJulia);
        return;
    }
    const Frame f = frame(FuncSwitch);
    while (f.hand)
        std::this_thread::yield();
    // The thread has taken its last step; this only reclaims it.
    if (f.thread.joinable())
        f.thread.join();
}

const OrbitCounter& orbitProgress(short FuncSwitch) { return frame(FuncSwitch).orbit; }

void setRenderThreadStarter(RenderThreadStarter starter)
{
    threadStarter = starter ? starter : startPreFigure;
}

void haltRenders()
{
    stopThread(kBothFrames);
    waitForRender(kBothFrames);
}

void drawFigure(tagRECT StartRect, short FuncSwitch)
{
    stopThread(FuncSwitch);
    const Frame f = frame(FuncSwitch);
    waitForRender(FuncSwitch);
    FrameSpec job = frameSpec(FuncSwitch);
    const Colouring colouring = windowColouring(job);
    f.gp = {StartRect, FuncSwitch, std::move(job), colouring};
    // Running before the thread exists, and identifier and handle in place
    // before it can end: a stop request made once we return always reaches
    // this render, and the thread's own clean-up is never overtaken.
    f.state = kRunning;
    f.id = ++lastThreadId;
    f.hand = true;
    renderHost().refreshCopyMenu();
    try {
        f.thread = threadStarter(&f.gp);
    } catch (const std::system_error&) {
        f.id = 0;
        f.state = kFinished;
        f.hand = false;
        renderHost().refreshCopyMenu();
        ShowAlert("CreateThread failed.");
    }
}

int preFigure(gridParams* gp)
{
    const tagRECT startRect = gp->r;
    const auto funcSwitch = static_cast<short>(gp->fs);
    const FrameSpec job = gp->job;
    const Colouring colouring = gp->colouring;
    const Frame f = frame(funcSwitch);
    RenderHost& host = renderHost();

    if (f.map)
        f.map->eraseMap();
    host.invalidateFrame(funcSwitch);
    if (funcSwitch == kJulia) {
        // The Julia set waits for the Mandelbrot render, so that both frames
        // do not share the processor when they start together.
        while (mThdHand && !userHalt(kJulia))
            std::this_thread::yield();
    }
    host.startTimer(f.timer);

    if (f.map) {
        MapCanvas canvas(*f.map, funcSwitch, colouring, job.maxIters);
        try {
            // A plane frame's limit stays live, as the menus expect.
            renderFrame(job, startRect, canvas, renderThreads(job), {&frameLimit(funcSwitch), &f.orbit});
        } catch (const std::bad_alloc&) {
            ShowAlert("not enough memory to render the frame");
        } catch (const std::system_error&) {
            ShowAlert("CreateThread failed.");
        }
    }

    f.id = 0;
    host.killTimer(f.timer);
    host.invalidateFrame(funcSwitch);
    f.state = kFinished;
    host.refreshCopyMenu();
    f.hand = false;  // last: whoever waits for this thread may now go on
    return kFinished;
}
