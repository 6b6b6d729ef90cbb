#pragma once

#include <cstdint>

// What one evaluation gives: the escape count, the palette index that belongs
// to it, and how many iteration passes it took. The index travels with the
// count so that each render thread plots with the colour of its own point.
struct Escape {
    std::int32_t count;
    std::int16_t colorIdx;
    std::int32_t passes;
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
// The same under the function the shared view state selects now.
Escape EscapeTime(const double* Xval, const double* Cval, std::int32_t maxIters);

// The palette index of an escape after k passes, 2 <= k < maxIters.
std::int16_t colorIndex(std::int32_t k);

// Ten Newton steps from 50.0, no convergence test: the colour curve is
// defined by exactly these values.
double cubeRoot(double val);
double squareRoot(double val);
