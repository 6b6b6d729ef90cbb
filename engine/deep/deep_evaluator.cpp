#include "engine/deep/deep_evaluator.h"

#include "engine/colouring.h"

DeepEvaluator::DeepEvaluator(const DeepFrame& frame, EscapeIsa isa, bool fractions)
    : frame_(frame), lanes_(deepLaneKernel(frame, isa)), fractions_(fractions)
{}

Escape DeepEvaluator::evaluate(tagPOINT pixel, std::int32_t) const
{
    // The block scheme adds up the skipped passes of the evaluations it
    // used, as it does their passes.
    DeepCounters counters;
    const std::int32_t maxIters = frame_.params().maxIters;
    DeepFrame::EscapePoint escape{-1, {}};
    const std::int32_t count = frame_.count(pixel.x, pixel.y, counters, fractions_ ? &escape : nullptr);
    Escape e{count, paletteIndex(Colouring::Curve, count, maxIters), static_cast<std::int32_t>(counters.iterations),
             static_cast<std::int32_t>(counters.approximated)};
    if (escape.n >= 0)
        e.fraction = frame_.fraction(pixel.x, pixel.y, count, escape);
    return e;
}

void DeepEvaluator::evaluateRun(EscapeRun& run, EscapeFeeder& feeder) const
{
    DeepCounters counters;
    run.wantFractions(fractions_);
    runDeepLanes(frame_, lanes_, run, feeder, counters);
}
