#pragma once

#include "engine/deep/deep_frame.h"
#include "engine/deep/deep_lanes.h"
#include "engine/pixel_evaluator.h"

// The pixels of a deep frame, each against the frame's reference orbit: one
// at a time through DeepFrame::count, in batches through the lanes of the
// instruction set chosen at construction where the frame has lanes. The
// limit is the frame's own, fixed with its orbit: the one a caller passes
// is not looked at. Escapes carry the curve colouring's index, and with
// more `detail` their fraction and distance; distances are evaluated one
// pixel at a time, the derivative carried along with the delta.
class DeepEvaluator final : public PixelEvaluator {
public:
    explicit DeepEvaluator(const DeepFrame& frame, EscapeIsa isa = escapeIsa(),
                           EscapeDetail detail = EscapeDetail::Count);

    Escape evaluate(tagPOINT pixel, std::int32_t maxIters) const override;
    bool batched() const override { return lanes_.step != nullptr && detail_ != EscapeDetail::Distance; }
    void addToRun(EscapeRun& run, tagPOINT pixel, std::int32_t maxIters) const override
    {
        run.addPixel(pixel, maxIters);
    }
    void evaluateRun(EscapeRun& run, EscapeFeeder& feeder) const override;
    EscapeDetail detail() const override { return detail_; }

private:
    const DeepFrame& frame_;
    DeepLaneKernel lanes_;
    EscapeDetail detail_;
};
