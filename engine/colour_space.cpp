#include "engine/colour_space.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

const std::array<double, 256>& linearTable()
{
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double v = i / 255.0;
            t[i] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        }
        return t;
    }();
    return table;
}

} // namespace

double srgbToLinear(std::uint8_t v) { return linearTable()[v]; }

std::uint8_t linearToSrgb(double v)
{
    const double l = std::clamp(v, 0.0, 1.0);
    const double s = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
    return static_cast<std::uint8_t>(std::lround(s * 255.0));
}

LinearRgb entryLight(std::uint32_t entry)
{
    return {srgbToLinear(entry & 0xFF), srgbToLinear(entry >> 8 & 0xFF), srgbToLinear(entry >> 16 & 0xFF)};
}

LinearRgb blendEntries(const std::uint32_t* palette, double position)
{
    const double low = std::floor(position);
    const auto i = static_cast<int>(low);
    const double t = position - low;
    const LinearRgb a = entryLight(palette[i]);
    if (t == 0.0)
        return a;
    const LinearRgb b = entryLight(palette[i + 1]);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
