#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "engine/colouring.h"
#include "engine/frame_spec.h"
#include "engine/geometry.h"
#include "render/frame_render.h"

// What a render thread is handed: the area to draw, in map pixels, and the
// frame; and the frame as the view state stood when the render was asked
// for, with the colouring of its map, so that the render never reads the
// view state the user-interface thread writes.
struct gridParams {
    tagRECT r;
    std::int32_t fs;
    FrameSpec job;
    Colouring colouring = Colouring::Curve;
};

extern gridParams gMgp, gJgp;
// Set from the creation of a frame's render thread until its very last step.
extern std::atomic<bool> mThdHand, jThdHand;

constexpr int kMandelbrotTimer = 464;
constexpr int kJuliaTimer = 797;

// Restarts the render of frame 11 or 22: stops the running one, waits for its
// thread to end and starts a new thread on preFigure, handing it the frame
// as the view state stands (frameSpec). A plane frame renders on that
// thread, under the record's live limit; a deep frame builds its reference
// orbit there and spreads its pixels over the machine's cores.
void drawFigure(tagRECT StartRect, short FuncSwitch);

// The colouring of a frame's map: the explorer's curve, and for a deep
// frame, whose counts run far past the curve's end, the curve continued
// (Colouring::Extended), which equals it wherever it reaches.
inline Colouring windowColouring(const FrameSpec& frame)
{
    return frame.deep() ? Colouring::Extended : Colouring::Curve;
}

// While a frame's render computes its reference orbit: the orbit points
// computed so far, and at most how many (planned is 0 otherwise).
const OrbitCounter& orbitProgress(short FuncSwitch);

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
