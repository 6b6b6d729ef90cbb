#include "render/stop.h"

#include <thread>

#include "engine/frame_switch.h"

std::atomic<std::int16_t> gMthd{kFinished}, gJthd{kFinished};
std::atomic<std::uint32_t> mThdID{0}, jThdID{0};

namespace {
// Only a running render can be asked to stop: a request that arrives as the
// thread finishes must not leave a stale 55 for the frame's next render.
bool requestStop(std::atomic<std::int16_t>& flag, const std::atomic<std::uint32_t>& id)
{
    if (id == 0)
        return false;
    std::int16_t running = kRunning;
    flag.compare_exchange_strong(running, kStopRequested);
    return true;
}
}

void stopThread(int thread2stop)
{
    bool didSomething = false;
    if (thread2stop == kMandelbrot || thread2stop == kBothFrames)
        didSomething |= requestStop(gMthd, mThdID);
    if (thread2stop == kJulia || thread2stop == kBothFrames)
        didSomething |= requestStop(gJthd, jThdID);
    if (didSomething)
        std::this_thread::yield();
}

int userHalt(int funcSwitch)
{
    return (funcSwitch == kMandelbrot ? gMthd : gJthd) == kStopRequested ? 1 : 0;
}

bool anyRenderRunning() { return mThdID != 0 || jThdID != 0; }
