#pragma once

#include <cstdint>

#include "engine/escape_batch.h"

// Internal linkage on purpose: the kernels compile this for their own
// instruction sets (see powers.h).
namespace {

// What an integer power gives when its loop ended after k passes without an
// escape; `curve` is colourCurve().
inline Escape escapeAfter(std::int32_t k, std::int32_t maxIters, const std::int16_t* curve)
{
    // The pass that sees the escape is spent too.
    const std::int32_t passes = k < maxIters ? k + 1 : k;
    if (k <= 1)
        return {0, 0, passes};
    if (k == maxIters)
        return {maxIters, kLastColor, passes};
    return {k, k < kCurveEnd ? curve[k] : kLastColor, passes};
}

} // namespace
