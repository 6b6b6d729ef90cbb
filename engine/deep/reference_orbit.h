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
    // |Z|^2 - 4 of each point, worked out in MPFR where doubles could not
    // tell it from 0 (below them it keeps its sign as +-DBL_MIN): with it a
    // pixel whose |z|^2 lies within rounding of 4 escapes exactly when its
    // orbit does (escapesNearFour).
    std::vector<double> excess;
    // Z minus z: its next 53 bits, for pixels recounted in double-double
    // (zero where z is not a normal double far above its underflow).
    std::vector<Cx> rest;

    std::size_t size() const { return z.size(); }
};

// A pixel at orbit point m with the delta dz has escaped: |Z + dz|^2 > 4,
// exactly where doubles cannot tell, as (|Z|^2 - 4) + 2 Re(conj(Z) dz) +
// |dz|^2. For a delta in doubles or with an extended exponent.
bool escapesNearFour(const ReferenceOrbit& o, std::size_t m, Cx dz);
bool escapesNearFour(const ReferenceOrbit& o, std::size_t m, const CxExp& dz);

// |z|^2 of a pixel (z = Z + dz in doubles) is this far from 4 before doubles
// need the orbit's help to tell which side it lies on: their rounding of
// z and of the norm stays far below it.
constexpr double kFourBelow = 4.0 * (1.0 - 0x1p-40), kFourAbove = 4.0 * (1.0 + 0x1p-40);

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
// The same derivative says what precision the orbit of a Julia set needs:
// its rounding, 2^-bits |Z|, must stay far below the pixels' spacing
// carried to each point. Near the critical point 0 a pass squares the
// deltas (for a frame centred there the spacing after one pass is about its
// square), and the precision that follows the radius alone falls short.
// Where the orbit needs more than it was computed with, it stops at once,
// and `neededBits` (when set) says how many it needs, up to `mostBits`:
// near a superattracting cycle the deltas shrink every period, without
// end, and so does every rounding that could move them.
struct EarlyEnd {
    CxExp spacing;            // of the pixels, on the real axis
    bool wrtConstant = true;  // the frame moves c (else the start)
    mpfr_prec_t* neededBits = nullptr;
    mpfr_prec_t mostBits = 0;
    // The spacing the precision must serve, where it is finer than the
    // pixels' (zero: theirs).
    CxExp precisionSpacing{};
};

// The points an orbit keeps where it ends early by `early` (all of them
// where it does not): the test of computeOrbit replayed on the points of an
// orbit computed with a spacing no coarser, or none, so that the first
// `earlyLength` points are those computeOrbit gives with `early`. For the
// end only: `early.neededBits` is not read.
std::size_t earlyLength(const ReferenceOrbit& orbit, int power, const EarlyEnd& early);

// Nothing when `control` asked it to stop first; `control.points` counts on
// from its value at the call.
std::optional<ReferenceOrbit> computeOrbit(const BigComplex& start, const BigComplex& c, int power,
                                           std::size_t length, mpfr_prec_t bits, const EarlyEnd* early = nullptr,
                                           const BuildControl& control = {});
