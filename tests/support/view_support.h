#pragma once

#include "engine/frame_params.h"

// The frame the tests render: `side` pixels square on the plane rectangle,
// under iteration function `func` (z^2 + c unless given) and the Julia
// constant (jre, jim) (the start-up one unless given).
inline FrameParams squareFrame(short FuncSwitch, int side, double xmin, double xmax, double ymin, double ymax,
                               std::int16_t func = 1, double jre = 0.0, double jim = 0.63)
{
    FrameParams f = planeFrame(FuncSwitch, xmin, xmax, ymin, ymax, side, side);
    f.func.which = func;
    f.juliaRe = jre;
    f.juliaIm = jim;
    return f;
}
