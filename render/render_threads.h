#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "engine/geometry.h"

// What a render thread is handed: the area to draw, in map pixels, and the frame.
struct gridParams {
    tagRECT r;
    std::int32_t fs;
};

extern gridParams gMgp, gJgp;
// Set from the creation of a frame's render thread until its very last step.
extern std::atomic<bool> mThdHand, jThdHand;

constexpr int kMandelbrotTimer = 464;
constexpr int kJuliaTimer = 797;

// Restarts the render of frame 11 or 22: stops the running one, waits for its
// thread to end and starts a new thread on preFigure.
void drawFigure(tagRECT StartRect, short FuncSwitch);

// The body of a render thread. Returns 66.
int preFigure(gridParams* gp);

// Yields until the frame's render thread (11, 22, or 33 for both) has ended.
void waitForRender(short FuncSwitch);

// Starts a render thread running preFigure(gp); throws std::system_error when
// no thread can be made. Replaceable so that a failing thread creation can be
// tried; null puts the standard starter back. Used on the user-interface
// thread only.
using RenderThreadStarter = std::thread (*)(gridParams* gp);
void setRenderThreadStarter(RenderThreadStarter starter);

// Stops both renders and waits for them: before the maps are replaced, and
// before the program ends.
void haltRenders();
