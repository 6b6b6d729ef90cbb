#include "engine/deep/deep_evaluator.h"

#include "engine/colouring.h"

DeepEvaluator::DeepEvaluator(const DeepFrame& frame, EscapeIsa isa, EscapeDetail detail)
    : frame_(frame), lanes_(deepLaneKernel(frame, isa)), detail_(detail)
{}

Escape DeepEvaluator::evaluate(tagPOINT pixel, std::int32_t) const
{
    // The block scheme adds up the skipped passes of the evaluations it
    // used, as it does their passes.
    DeepCounters counters;
    const std::int32_t maxIters = frame_.params().maxIters;
    DeepFrame::EscapePoint escape;
    escape.n = -1;
    escape.derive = detail_ == EscapeDetail::Distance;
    const std::int32_t count = frame_.count(pixel.x, pixel.y, counters, fractions() ? &escape : nullptr);
    Escape e{count, paletteIndex(Colouring::Curve, count, maxIters), static_cast<std::int32_t>(counters.iterations),
             static_cast<std::int32_t>(counters.approximated)};
    if (escape.n >= 0) {
        const EscapeValue v = frame_.values(pixel.x, pixel.y, count, escape);
        e.fraction = v.fraction;
        e.distance = v.distance;
    }
    return e;
}

void DeepEvaluator::evaluateRun(EscapeRun& run, EscapeFeeder& feeder) const
{
    DeepCounters counters;
    run.wantFractions(fractions());
    runDeepLanes(frame_, lanes_, run, feeder, counters);
}
