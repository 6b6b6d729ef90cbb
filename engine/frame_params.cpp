#include "engine/frame_params.h"

#include "engine/view.h"

FrameParams planeFrame(short FuncSwitch, double Xmin, double Xmax, double Ymin, double Ymax, std::int32_t w,
                       std::int32_t h)
{
    FrameParams f;
    f.FuncSwitch = FuncSwitch;
    f.Xmin = Xmin;
    f.Xmax = Xmax;
    f.Ymin = Ymin;
    f.Ymax = Ymax;
    f.Xpxl = pixelSize(Xmin, Xmax, w);
    f.Ypxl = pixelSize(Ymin, Ymax, h);
    f.vertpxls = h;
    f.horizpxls = w;
    return f;
}

FrameParams frameParams(short FuncSwitch)
{
    const grafStats& g = frameView(FuncSwitch);
    FrameParams f;
    f.FuncSwitch = FuncSwitch;
    f.Xmin = g.Xmin;
    f.Xmax = g.Xmax;
    f.Ymin = g.Ymin;
    f.Ymax = g.Ymax;
    f.Xpxl = g.Xpxl;
    f.Ypxl = g.Ypxl;
    f.vertpxls = g.vertpxls;
    f.horizpxls = g.horizpxls;
    f.func = {whichFunc, gRealExpon, gCplxExpon};
    f.juliaRe = Jreal;
    f.juliaIm = Jcomplex;
    return f;
}

const std::atomic<std::int32_t>& frameLimit(short FuncSwitch) { return frameView(FuncSwitch).iters; }
