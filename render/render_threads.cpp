#include "render/render_threads.h"

#include <system_error>
#include <thread>

#include "engine/block_render.h"
#include "engine/frame_params.h"
#include "engine/frame_switch.h"
#include "render/host.h"
#include "render/off_map.h"
#include "render/stop.h"

gridParams gMgp, gJgp;
std::atomic<bool> mThdHand{false}, jThdHand{false};

namespace {

std::thread mThread, jThread;
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
};

Frame frame(short FuncSwitch)
{
    if (FuncSwitch == kMandelbrot)
        return {gMgp, mThdHand, mThdID, gMthd, mThread, gMMap, kMandelbrotTimer};
    return {gJgp, jThdHand, jThdID, gJthd, jThread, gJMap, kJuliaTimer};
}

// Draws on a frame's map and stops when the frame's stop is requested.
class MapCanvas final : public FrameCanvas {
public:
    MapCanvas(offBMP& map, short FuncSwitch) : map_(map), funcSwitch_(FuncSwitch) {}
    void plotXY(int x, int y, int clrIdx) override { map_.plotXY(x, y, clrIdx); }
    bool userHalt() override { return ::userHalt(funcSwitch_) != 0; }

private:
    offBMP& map_;
    short funcSwitch_;
};

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
    f.gp = {StartRect, FuncSwitch};
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
    const FrameParams params = frameParams(funcSwitch);
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
        MapCanvas canvas(*f.map, funcSwitch);
        GridJob job{params, frameLimit(funcSwitch), canvas};
        doGrid(startRect, job);
    }

    f.id = 0;
    host.killTimer(f.timer);
    host.invalidateFrame(funcSwitch);
    f.state = kFinished;
    host.refreshCopyMenu();
    f.hand = false;  // last: whoever waits for this thread may now go on
    return kFinished;
}
