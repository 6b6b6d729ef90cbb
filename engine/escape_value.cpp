#include "engine/escape_value.h"

#include <cfloat>
#include <cmath>

namespace {

// J for each power: B = 2^(p^J) is at least 2^10, far enough out that the
// constant hardly moves the orbit any more, and the square of z^p of
// anything below B stays inside the doubles (2^200 at most, for z^10).
int steps(int power) { return power == 2 ? 5 : power == 3 ? 3 : power == 5 ? 2 : 1; }

struct Far {
    double zr, zi, r2;
    std::int32_t m;
    bool reached;
};

// Follows the orbit from z_m out past B, and the derivative along with it.
Far beyond(int power, std::int32_t m, double zr, double zi, double cr, double ci, OrbitDerivative* d)
{
    const double b2 = std::exp2(2.0 * std::pow(static_cast<double>(power), steps(power)));  // B^2
    double r2 = zr * zr + zi * zi;
    for (int guard = 0; r2 <= b2 && guard < 64; ++guard) {
        if (d != nullptr)
            d->dz = derivativeStep(power, {zr, zi}, d->dz, d->julia);
        Cx p{zr, zi};
        for (int k = 1; k < power; ++k)
            p = p * Cx{zr, zi};
        zr = p.re + cr;
        zi = p.im + ci;
        ++m;
        r2 = zr * zr + zi * zi;
    }
    return {zr, zi, r2, m, std::isfinite(r2) && r2 > b2};
}

float fractionAt(int power, std::int32_t count, const Far& far)
{
    const int j = steps(power);
    const double lnB = std::log(2.0) * std::pow(static_cast<double>(power), j);
    const double nu =
        static_cast<double>(far.m - count) - std::log(0.5 * std::log(far.r2) / lnB) / std::log(power);
    return static_cast<float>(nu - j + 1);
}

} // namespace

float escapeFraction(int power, std::int32_t count, std::int32_t m, double zr, double zi, double cr, double ci)
{
    const Far far = beyond(power, m, zr, zi, cr, ci, nullptr);
    return far.reached ? fractionAt(power, count, far) : 0.0f;
}

EscapeValue escapeValue(int power, std::int32_t count, std::int32_t m, double zr, double zi, double cr, double ci,
                        const OrbitDerivative& derivative)
{
    OrbitDerivative d = derivative;
    const Far far = beyond(power, m, zr, zi, cr, ci, &d);
    if (!far.reached)
        return {};
    EscapeValue v{fractionAt(power, count, far), 0.0f};
    // A Julia set's critical point: its derivative vanishes and the
    // estimate grows without bound, as it does all around it.
    if (d.dz.isZero()) {
        v.distance = FLT_MAX;
        return v;
    }
    // In log2, so that neither the derivative nor the pixel need doubles.
    const double absZLog2 = 0.5 * std::log2(far.r2);
    const double dzLog2 = 0.5 * std::log2(norm(Cx{d.dz.re, d.dz.im})) + static_cast<double>(d.dz.e);
    const double distanceLog2 = absZLog2 + std::log2(0.5 * std::log(far.r2)) - dzLog2 - d.pixelLog2;
    v.distance = distanceLog2 > 127.0 ? FLT_MAX : static_cast<float>(std::exp2(distanceLog2));
    return v;
}
