#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/deep/build_control.h"

#include "engine/deep/complex_exp.h"
#include "engine/deep/decimal.h"

// One orbit computed in arbitrary precision, Z_0 = start, Z_{n+1} = Z_n^p + c,
// rounded to doubles for the pixels. It ends at the first point with
// |Z|^2 > 4, after `length` points, or where it may end early (EarlyEnd
// below), whichever comes first; a pixel that reaches its end starts over
// against the orbit its rebasing uses.
struct ReferenceOrbit {
    std::vector<Cx> z;      // Z_0 .. Z_{size-1}
    std::vector<CxExp> zx;  // the same points, also where doubles underflow

    std::size_t size() const { return z.size(); }
};

// Complex MPFR values for the orbit's start and constant.
struct BigComplex {
    BigFloat re, im;
};

// A complex MPFR value in doubles with an extended exponent.
CxExp toCxExp(mpfr_srcptr re, mpfr_srcptr im);

// Where an orbit may end before its length: at a point that comes back so
// near 0 that a pixel loses nothing by starting over there from the orbit's
// start, as it does at the orbit's end. Starting over rounds Z + dz to
// doubles, an error of 2^-53 |Z|; that is allowed where it stays below
// 2^-12 of the frame's pixel spacing carried along the orbit (|dZ/dx| times
// the spacing, x being the frame's coordinate, the constant c or the start
// z0): as small as the rounding of the orbit's own start at its precision.
// A copy's nucleus so gives an orbit of one period.
struct EarlyEnd {
    CxExp spacing;            // of the pixels, on the real axis
    bool wrtConstant = true;  // the frame moves c (else the start)
};

// Nothing when `control` asked it to stop first; `control.points` counts on
// from its value at the call.
std::optional<ReferenceOrbit> computeOrbit(const BigComplex& start, const BigComplex& c, int power,
                                           std::size_t length, mpfr_prec_t bits, const EarlyEnd* early = nullptr,
                                           const BuildControl& control = {});
