#pragma once

#include "engine/escape_batch.h"
#include "engine/frame_spec.h"
#include "engine/pixel_evaluator.h"

// The pixels of a plane view, in doubles: the Julia set starts from the
// pixel's point with the Julia constant, the Mandelbrot set from 0 with the
// pixel's point as c. The integer powers go in batches to the kernel of the
// instruction set chosen at construction, the complex power (and
// EscapeIsa::Scalar) one point at a time through EscapeTime: the same counts.
// With more `detail`, escapes carry their fraction (the complex power's is
// 0) and their distance; distances are evaluated one point at a time.
class PlaneEvaluator final : public PixelEvaluator {
public:
    explicit PlaneEvaluator(const FrameSpec& frame, EscapeIsa isa = escapeIsa(),
                            EscapeDetail detail = EscapeDetail::Count);

    Escape evaluate(tagPOINT pixel, std::int32_t maxIters) const override;
    bool batched() const override { return kernel_ != nullptr && detail_ != EscapeDetail::Distance; }
    void addToRun(EscapeRun& run, tagPOINT pixel, std::int32_t maxIters) const override
    {
        run.add(point(pixel, maxIters));
    }
    void evaluateRun(EscapeRun& run, EscapeFeeder& feeder) const override
    {
        run.wantFractions(detail_ != EscapeDetail::Count);
        kernel_(run, feeder);
    }
    EscapeDetail detail() const override { return detail_; }

    // The pixel rule's numbers, as newPxl derives them from the view.
    double Xmin, Ymax, Xpxl, Ypxl;

private:
    EscapePoint point(tagPOINT pixel, std::int32_t maxIters) const
    {
        const double re = planeRe(*this, pixel.x), im = planeIm(*this, pixel.y);
        if (!julia_)
            return {0.0, 0.0, re, im, maxIters};
        return {re, im, c_[0], c_[1], maxIters};
    }

    bool julia_;
    IterFunc func_;
    double c_[2];
    EscapeKernel kernel_;
    EscapeDetail detail_;
    double pixelLog2_;
};
