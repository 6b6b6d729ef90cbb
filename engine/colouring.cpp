#include "engine/colouring.h"

#include "engine/escape_batch.h"
#include "engine/escape_time.h"

std::int16_t paletteIndex(Colouring rule, std::int32_t count, std::int32_t maxIters)
{
    if (count <= 1)
        return 0;
    if (count >= maxIters)
        return kLastColor;
    if (rule == Colouring::Curve)
        return count < kCurveEnd ? colourCurve()[count] : kLastColor;
    // 1 .. 498 and back is a round of 2 * 497 steps; count 2 is index 2.
    constexpr std::int32_t kRound = 2 * (kLastColor - 2);
    const std::int32_t t = (count - 1) % kRound;
    return static_cast<std::int16_t>(1 + (t <= kRound / 2 ? t : kRound - t));
}
