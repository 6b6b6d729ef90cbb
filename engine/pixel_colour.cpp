#include "engine/pixel_colour.h"

#include <cmath>

double PixelColour::position(const Escape& e) const
{
    if (!followsFraction(rule) || e.count >= maxIters)
        return paletteIndex(rule, e.count, maxIters);
    return smoothPosition(static_cast<double>(e.count) + e.fraction, density);
}

std::int16_t PixelColour::index(const Escape& e) const { return static_cast<std::int16_t>(std::lround(position(e))); }

LinearRgb PixelColour::light(const Escape& e) const
{
    const LinearRgb light = blendEntries(palette, position(e));
    if (!followsDistance(rule) || e.count >= maxIters)
        return light;
    const double shade = distanceShade(e.distance);
    return {light.r * shade, light.g * shade, light.b * shade};
}
