#pragma once

#include <cstdint>

// What one evaluation gives: the escape count, the palette index that belongs
// to it, and how many iteration passes it took, of which `skipped` were taken
// by an approximation rather than one by one (deep frames only). The index
// travels with the count so that each render thread plots with the colour of
// its own point. `fraction` is the continuous escape value less the count
// (escape_value.h), from evaluators asked for it; 0 otherwise, and for
// points that never escaped.
struct Escape {
    std::int32_t count;
    std::int16_t colorIdx;
    std::int32_t passes;
    std::int32_t skipped = 0;
    float fraction = 0.0f;
    float distance = 0.0f;  // to the set, in pixels, where asked for (escape_value.h)
};

constexpr std::int16_t kLastColor = 499;

// The iteration function: `which` 1..4 are z^2, z^3, z^5, z^10; 5 is z raised
// to the complex power realExpon + i cplxExpon. Any other value is fatal.
struct IterFunc {
    std::int16_t which = 1;
    double realExpon = 2.0, cplxExpon = 0.0;
    friend bool operator==(const IterFunc&, const IterFunc&) = default;
};

// Iterates z <- f(z) + c from z0 = Xval with c = Cval, at most maxIters times
// (maxIters >= 1).
Escape EscapeTime(const double* Xval, const double* Cval, std::int32_t maxIters, const IterFunc& f);
// The same, with the escape's fraction for the integer powers.
Escape EscapeTimeWithFraction(const double* Xval, const double* Cval, std::int32_t maxIters, const IterFunc& f);
// The same with the distance to the set too, in pixels of 2^pixelLog2:
// the derivative in c, or for a Julia set in z_0, carried along the orbit.
Escape EscapeTimeWithDistance(const double* Xval, const double* Cval, std::int32_t maxIters, const IterFunc& f,
                              bool julia, double pixelLog2);
// The same under the function the shared view state selects now.
Escape EscapeTime(const double* Xval, const double* Cval, std::int32_t maxIters);

// Ten Newton steps from 50.0, no convergence test: the colour curve is
// defined by exactly these values. Constant expressions, so that the curve's
// table is built by the compiler, whose arithmetic on doubles rounds each
// operation once, as the processor does (no contraction, no extra precision).
constexpr double cubeRoot(double val)
{
    double xprox = 50.0;
    for (int i = 0; i < 10; ++i)
        xprox = xprox - ((xprox * xprox) * xprox - val) / ((3.0 * xprox) * xprox);
    return xprox;
}

constexpr double squareRoot(double val)
{
    double xprox = 50.0;
    for (int i = 0; i < 10; ++i)
        xprox = xprox - (xprox * xprox - val) / (2.0 * xprox);
    return xprox;
}

// The palette index of an escape after k passes, 2 <= k < maxIters: run by
// the processor. curveColour is the same arithmetic for constant
// expressions.
std::int16_t colorIndex(std::int32_t k);

constexpr std::int16_t curveColour(std::int32_t k)
{
    if (k <= 50)
        return static_cast<std::int16_t>(k);
    // The cube-root curve is anchored at k = 50 by P = 1/s^3, s = squareRoot(0.125).
    constexpr double s = squareRoot(0.125);
    constexpr double p = 1.0 / ((s * s) * s);
    constexpr double cubeRootP = cubeRoot(p);
    const double curve = (cubeRoot(static_cast<double>(k - 50) + p) * 24 + 50.0) - cubeRootP * 24.0;
    // The curve reaches the top of the palette at k = 10074; longer escapes,
    // possible with custom limits, stay on its last colour.
    const auto idx = static_cast<std::int32_t>(curve);
    return static_cast<std::int16_t>(idx > kLastColor ? kLastColor : idx);
}
