#pragma once

#include <cstdint>

#include "engine/deep/complex_exp.h"

// The continuous escape value of a point of an integer power p: past the
// escape, the orbit is followed until |z| > B = 2^(p^J), at z_m, and
//     nu = m - log_p(ln|z_m| / ln B),
// which varies continuously over the plane where the count steps. With B so
// chosen, nu - J + 1 lies within a little of count .. count + 1, and that
// less the count is the escape's fraction: count + fraction is continuous.
//
// Given z_m (m >= count, the point escaped at count), c and the count;
// 0 where the orbit leaves the doubles on the way (a point far outside).
// Called from the kernels, out of line: it is compiled once, for every
// instruction set.
float escapeFraction(int power, std::int32_t count, std::int32_t m, double zr, double zi, double cr, double ci);

// The derivative of z_m along the orbit: in c for the Mandelbrot set
// (dz <- p z^(p-1) dz + 1 from 0), in z_0 for a Julia set (dz <- p z^(p-1) dz
// from 1), with an extended exponent: it outgrows the doubles on long orbits.
struct OrbitDerivative {
    CxExp dz;
    bool julia = false;
    double pixelLog2 = 0.0;  // log2 of the frame's pixel size, for the distance
};

// The fraction, and the estimated distance to the set, |z| ln|z| / |dz| at
// the same far point, in pixels: 0 where it is below the float range, the
// largest float above it and where dz is 0 (a Julia set's critical point).
struct EscapeValue {
    float fraction = 0.0f;
    float distance = 0.0f;
};
EscapeValue escapeValue(int power, std::int32_t count, std::int32_t m, double zr, double zi, double cr, double ci,
                        const OrbitDerivative& derivative);

// One pass of the derivative at z: p z^(p-1) dz, plus 1 in c.
inline CxExp derivativeStep(int power, Cx z, const CxExp& dz, bool julia)
{
    Cx zp = z;
    for (int k = 2; k < power; ++k)
        zp = zp * z;
    const CxExp one = julia ? CxExp{} : CxExp{1.0, 0.0, 0};
    return mulAdd(CxExp::from(static_cast<double>(power) * zp), dz, one);
}
