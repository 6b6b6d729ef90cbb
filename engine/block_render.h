#pragma once

#include <cstdint>
#include <functional>

#include "engine/geometry.h"

// What a render draws on, and how it learns that it should stop.
class FrameCanvas {
public:
    virtual void plotXY(int x, int y, int clrIdx) = 0;
    virtual bool userHalt() = 0;

protected:
    ~FrameCanvas() = default;
};

struct RenderStats {
    std::uint64_t evaluations = 0;  // calls of EscapeTime
    std::uint64_t iterations = 0;   // iteration passes summed over those calls
};

// One render of one frame, by one thread.
struct GridJob {
    short FuncSwitch;  // 11 Mandelbrot frame (Mgraph), 22 Julia frame (Jgraph)
    FrameCanvas& canvas;
    RenderStats stats{};
    // When set, a quarter that must be quartered again is handed here, for
    // another thread to draw, instead of being drawn in place.
    std::function<void(const tagRECT&)> deferQuarter{};
};

// Draws StartRect of the frame by recursive quartering: a quarter whose
// outline has one escape count throughout is painted in its colour, a small
// one that fails is computed pixel by pixel, a larger one is quartered again.
void doGrid(tagRECT StartRect, GridJob& job);

// opSwitch 1: outline test, painting the block when it passes; 0: compute
// every pixel. Returns true when the block is finished, false when its
// outline is not uniform or the render was asked to stop.
bool DoRect(double* xvar, double* cvar, tagRECT theBlock, GridJob& job, int opSwitch);
