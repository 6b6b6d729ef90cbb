#pragma once

#include <atomic>

#include "engine/block_render.h"
#include "engine/plane_evaluator.h"

// The frame the tests render: `side` pixels square on the plane rectangle,
// under iteration function `func` (z^2 + c unless given) and the Julia
// constant (jre, jim) (the start-up one unless given).
inline FrameSpec squareFrame(short FuncSwitch, int side, double xmin, double xmax, double ymin, double ymax,
                             std::int16_t func = 1, double jre = 0.0, double jim = 0.63)
{
    FrameSpec f;
    f.FuncSwitch = FuncSwitch;
    f.func.which = func;
    f.c = juliaOfDoubles(jre, jim);
    f.view = PlaneView{xmin, xmax, ymin, ymax};
    f.width = f.height = side;
    return f;
}

// A render of a plane frame by one thread, with its evaluator beside it.
struct PlaneJob {
    PlaneJob(const FrameSpec& frame, const std::atomic<std::int32_t>& limit, FrameCanvas& canvas,
             EscapeIsa isa = escapeIsa())
        : evaluator(frame, isa), job{evaluator, limit, canvas}
    {}
    PlaneEvaluator evaluator;
    GridJob job;
};
