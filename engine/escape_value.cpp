#include "engine/escape_value.h"

#include <cmath>

namespace {

// J for each power: B = 2^(p^J) is at least 2^10, far enough out that the
// constant hardly moves the orbit any more, and the square of z^p of
// anything below B stays inside the doubles (2^200 at most, for z^10).
int steps(int power) { return power == 2 ? 5 : power == 3 ? 3 : power == 5 ? 2 : 1; }

void multiply(double& ar, double& ai, double br, double bi)
{
    const double r = ar * br - ai * bi;
    ai = ar * bi + ai * br;
    ar = r;
}

} // namespace

float escapeFraction(int power, std::int32_t count, std::int32_t m, double zr, double zi, double cr, double ci)
{
    const int j = steps(power);
    const double lnB = std::log(2.0) * std::pow(static_cast<double>(power), j);
    const double b2 = std::exp2(2.0 * std::pow(static_cast<double>(power), j));  // B^2
    double r2 = zr * zr + zi * zi;
    for (int guard = 0; r2 <= b2 && guard < 64; ++guard) {
        double pr = zr, pi = zi;
        for (int k = 1; k < power; ++k)
            multiply(pr, pi, zr, zi);
        zr = pr + cr;
        zi = pi + ci;
        ++m;
        r2 = zr * zr + zi * zi;
    }
    if (!std::isfinite(r2) || r2 <= b2)
        return 0.0f;
    const double nu = static_cast<double>(m - count) - std::log(0.5 * std::log(r2) / lnB) / std::log(power);
    return static_cast<float>(nu - j + 1);
}
