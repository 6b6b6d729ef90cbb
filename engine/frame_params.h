#pragma once

#include <atomic>
#include <cstdint>

#include "engine/escape_time.h"
#include "engine/frame_switch.h"

// Everything a render of one frame draws with, but its iteration limit: the
// view, the function and the Julia constant, copied once when the render
// starts, so that the user-interface thread may rewrite the view state while
// the render runs without the render ever mixing old and new values. The
// limit stays live (see frameLimit).
struct FrameParams {
    short FuncSwitch = kMandelbrot;  // 11 Mandelbrot frame, 22 Julia frame
    double Xmin = 0.0, Xmax = 0.0, Ymin = 0.0, Ymax = 0.0;
    double Xpxl = 0.0, Ypxl = 0.0;
    std::int32_t vertpxls = 0, horizpxls = 0;
    IterFunc func{};
    double juliaRe = 0.0, juliaIm = 0.63;  // the Julia constant; unused by the Mandelbrot frame
    friend bool operator==(const FrameParams&, const FrameParams&) = default;
};

// The plane size of one pixel, as newPxl derives it from a side of n pixels.
inline double pixelSize(double lo, double hi, std::int32_t n) { return (hi - lo) / static_cast<double>(n); }

// A frame of w by h pixels showing the plane rectangle, z^2 + c, and the
// start-up Julia constant.
FrameParams planeFrame(short FuncSwitch, double Xmin, double Xmax, double Ymin, double Ymax, std::int32_t w,
                       std::int32_t h);

// The frame as the shared view state stands now: what a render copies at its
// start.
FrameParams frameParams(short FuncSwitch);

// The frame's iteration limit in the shared view state. The iteration
// commands change it while the frame renders, and the render reads it afresh
// for every point.
const std::atomic<std::int32_t>& frameLimit(short FuncSwitch);

// Pixel to plane, for a FrameParams or a view record alike: column p and row q
// of the frame, the product first, in this order, as every part of the
// program must agree on it to the last bit.
template <class View>
double planeRe(const View& g, int p)
{
    return static_cast<double>(p) * g.Xpxl + g.Xmin;
}
template <class View>
double planeIm(const View& g, int q)
{
    return g.Ymax - static_cast<double>(q) * g.Ypxl;
}
