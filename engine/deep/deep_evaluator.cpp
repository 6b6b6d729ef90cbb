#include "engine/deep/deep_evaluator.h"

#include "engine/colouring.h"

DeepEvaluator::DeepEvaluator(const DeepFrame& frame, EscapeIsa isa) : frame_(frame), lanes_(deepLaneKernel(frame, isa)) {}

Escape DeepEvaluator::evaluate(tagPOINT pixel, std::int32_t) const
{
    // The block scheme adds up the skipped passes of the evaluations it
    // used, as it does their passes.
    DeepCounters counters;
    const std::int32_t maxIters = frame_.params().maxIters;
    const std::int32_t count = frame_.count(pixel.x, pixel.y, counters);
    return {count, paletteIndex(Colouring::Curve, count, maxIters), static_cast<std::int32_t>(counters.iterations),
            static_cast<std::int32_t>(counters.approximated)};
}

void DeepEvaluator::evaluateRun(EscapeRun& run, EscapeFeeder& feeder) const
{
    DeepCounters counters;
    runDeepLanes(frame_, lanes_, run, feeder, counters);
}
