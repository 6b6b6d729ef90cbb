#pragma once

#include <atomic>
#include <cstdio>
#include <functional>

#include "render/host.h"

// The render host of kavrel-render: no window; a fatal error is reported
// on stderr and halts the render.
class ToolHost final : public RenderHost {
public:
    explicit ToolHost(std::function<void()> halt) : halt_(std::move(halt)) {}
    void invalidateFrame(short) override {}
    void startTimer(int) override {}
    void killTimer(int) override {}
    void refreshCopyMenu() override {}
    void fatalAlert(const char* msg) override
    {
        std::fprintf(stderr, "kavrel-render: fatal error: %s\n", msg);
        failed = true;
        halt_();
    }
    std::atomic<bool> failed{false};

private:
    std::function<void()> halt_;
};
