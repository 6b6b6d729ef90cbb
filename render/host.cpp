#include "render/host.h"

#include <atomic>
#include <cstdio>

#include "engine/fatal.h"
#include "engine/frame_switch.h"
#include "render/stop.h"

namespace {

class StderrHost final : public RenderHost {
public:
    void invalidateFrame(short) override {}
    void startTimer(int) override {}
    void killTimer(int) override {}
    void refreshCopyMenu() override {}
    void fatalAlert(const char* msg) override { std::fprintf(stderr, "Fatal Error! %s\n", msg); }
};

StderrHost stderrHost;
std::atomic<RenderHost*> host{&stderrHost};

} // namespace

void setRenderHost(RenderHost* h)
{
    host = h ? h : &stderrHost;
    setFatalHandler(ShowAlert);
}

RenderHost& renderHost() { return *host.load(); }

void ShowAlert(const char* msg)
{
    stopThread(kBothFrames);
    renderHost().fatalAlert(msg);
}
