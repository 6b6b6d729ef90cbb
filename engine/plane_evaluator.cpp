#include "engine/plane_evaluator.h"

#include <cmath>

PlaneEvaluator::PlaneEvaluator(const FrameSpec& frame, EscapeIsa isa, EscapeDetail detail)
    : Xmin(frame.plane().Xmin), Ymax(frame.plane().Ymax),
      Xpxl(pixelSize(frame.plane().Xmin, frame.plane().Xmax, frame.width)),
      Ypxl(pixelSize(frame.plane().Ymin, frame.plane().Ymax, frame.height)), julia_(frame.julia()), func_(frame.func),
      c_{frame.c.re, frame.c.im}, kernel_(escapeKernel(isa, frame.func.which)),
      detail_(detail), pixelLog2_(std::log2(Xpxl))
{}

Escape PlaneEvaluator::evaluate(tagPOINT pixel, std::int32_t maxIters) const
{
    const EscapePoint p = point(pixel, maxIters);
    const double z0[2] = {p.zr, p.zi}, c[2] = {p.cr, p.ci};
    switch (detail_) {
    case EscapeDetail::Count: return EscapeTime(z0, c, maxIters, func_);
    case EscapeDetail::Fraction: return EscapeTimeWithFraction(z0, c, maxIters, func_);
    default: return EscapeTimeWithDistance(z0, c, maxIters, func_, julia_, pixelLog2_);
    }
}
