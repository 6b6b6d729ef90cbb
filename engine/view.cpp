#include "engine/view.h"

#include <cmath>

#include "engine/deep/deep_view.h"

grafStats Jgraph;
grafStats Mgraph;
std::atomic<double> Jreal{0.0}, Jcomplex{0.0};
std::atomic<std::int16_t> whichFunc{1};
std::atomic<double> gRealExpon{2.0}, gCplxExpon{0.0};
std::atomic<std::int32_t> gIterFlag{1};
tagRECT gJRect, gMRect;
std::optional<DeepView> gJDeep, gMDeep;
std::string gJrealText, gJcomplexText;

void loadStats(grafStats* s, double Xmin, double Xmax, double Ymin, double Ymax)
{
    s->Xmin = Xmin;
    s->Xmax = Xmax;
    s->Ymin = Ymin;
    s->Ymax = Ymax;
}

std::int32_t autoIters(double Xpxl)
{
    // A frame not laid out yet (infinite pixels) or a view narrowed below the
    // resolution of doubles (zero pixels) gets the cap; so does anything the
    // conversion to int could not hold.
    const double limit = 1.0 / (0.7 * Xpxl);
    if (!std::isfinite(Xpxl) || Xpxl == 0.0 || !(limit <= kMaxAutoIters))
        return kMaxAutoIters;
    return limit < 0.0 ? 0 : static_cast<std::int32_t>(limit);
}

static void setPixelSizes(grafStats& g, const std::optional<DeepView>& deep, std::int32_t w, std::int32_t h)
{
    g.vertpxls = h;
    g.horizpxls = w;
    g.Xpxl = pixelSize(g.Xmin, g.Xmax, w);
    g.Ypxl = pixelSize(g.Ymin, g.Ymax, h);
    if (gIterFlag == 1)
        g.iters = deep && w > 0 ? deepWindowIters(*deep, w) : autoIters(g.Xpxl);
}

void newPxl()
{
    // Both frames take their size from the Julia frame: they are the same size.
    const std::int32_t h = gJRect.bottom - gJRect.top;
    const std::int32_t w = gJRect.right - gJRect.left;
    setPixelSizes(Jgraph, gJDeep, w, h);
    setPixelSizes(Mgraph, gMDeep, w, h);
}

const grafStats& frameView(short FuncSwitch) { return FuncSwitch == kMandelbrot ? Mgraph : Jgraph; }

std::optional<DeepView>& frameDeepView(short FuncSwitch) { return FuncSwitch == kMandelbrot ? gMDeep : gJDeep; }

const std::atomic<std::int32_t>& frameLimit(short FuncSwitch) { return frameView(FuncSwitch).iters; }

JuliaConstant juliaConstant()
{
    if (gJrealText.empty())
        return juliaOfDoubles(Jreal, Jcomplex);
    return {Jreal, Jcomplex, gJrealText, gJcomplexText};
}

FrameSpec frameSpec(short FuncSwitch)
{
    const grafStats& g = frameView(FuncSwitch);
    FrameSpec f;
    f.FuncSwitch = FuncSwitch;
    f.func = {whichFunc, gRealExpon, gCplxExpon};
    f.c = juliaConstant();
    if (const std::optional<DeepView>& deep = frameDeepView(FuncSwitch))
        f.view = *deep;
    else
        f.view = PlaneView{g.Xmin, g.Xmax, g.Ymin, g.Ymax};
    f.width = g.horizpxls;
    f.height = g.vertpxls;
    f.maxIters = g.iters;
    return f;
}

void ConvertMouse(tagPOINT point, const grafStats* range, const tagRECT* grafArea,
                  double* x, double* y)
{
    *x = planeRe(*range, point.x - grafArea->left);
    *y = planeIm(*range, point.y - grafArea->top);
}

void setStartState()
{
    gJDeep.reset();
    gMDeep.reset();
    gJrealText.clear();
    gJcomplexText.clear();
    loadStats(&Jgraph, -2.0, 2.0, -2.0, 2.0);
    loadStats(&Mgraph, -2.0, 2.0, -2.0, 2.0);
    Jgraph.iters = 100;
    gIterFlag = 1;
    Mgraph.iters = 100;
    gCplxExpon = 0.0;
    Jreal = 0.0;
    gRealExpon = 2.0;
    Jcomplex = 0.63;
    whichFunc = 1;
    newPxl();
}
