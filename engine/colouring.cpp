#include "engine/colouring.h"

#include <algorithm>
#include <cmath>

#include "engine/escape_batch.h"
#include "engine/escape_time.h"

namespace {

// The cube-root curve of colorIndex past the palette's end, reflected into
// indices 1 to 498: its value 500 and up, a round down and up every 994.
std::int16_t extendedCurve(std::int32_t count)
{
    constexpr double s = squareRoot(0.125);
    constexpr double p = 1.0 / ((s * s) * s);
    constexpr double cubeRootP = cubeRoot(p);
    // Ten Newton steps from 50 no longer reach the cube root of a million.
    const double curve = (std::cbrt(static_cast<double>(count - 50) + p) * 24 + 50.0) - cubeRootP * 24.0;
    constexpr std::int32_t kRound = 2 * (kLastColor - 2);
    const std::int32_t r = std::max(0, static_cast<std::int32_t>(curve) - (kLastColor + 1)) % kRound;
    return static_cast<std::int16_t>(r < kRound / 2 ? kLastColor - 1 - r : r - (kRound / 2 - 1));
}

} // namespace

std::int16_t paletteIndex(Colouring rule, std::int32_t count, std::int32_t maxIters)
{
    if (count <= 1)
        return 0;
    if (count >= maxIters)
        return kLastColor;
    if (rule == Colouring::Cycle) {
        // 1 .. 498 and back is a round of 2 * 497 steps; count 2 is index 2.
        constexpr std::int32_t kRound = 2 * (kLastColor - 2);
        const std::int32_t t = (count - 1) % kRound;
        return static_cast<std::int16_t>(1 + (t <= kRound / 2 ? t : kRound - t));
    }
    if (rule == Colouring::Smooth || rule == Colouring::Distance)
        return static_cast<std::int16_t>(std::lround(smoothPosition(count, 1.0)));
    if (count < kCurveEnd)
        return colourCurve()[count];
    return rule == Colouring::Curve ? kLastColor : extendedCurve(count);
}

double smoothPosition(double value, double density)
{
    constexpr double kRound = 2.0 * (kLastColor - 2);  // 1 .. 498 and back
    const double t = std::fmod(density * 300.0 * std::log1p(std::max(0.0, value)), kRound);
    return 1.0 + (t <= kRound / 2 ? t : kRound - t);
}

double distanceShade(double pixels) { return std::tanh(std::max(0.0, pixels) * 1.0986122886681098); }
