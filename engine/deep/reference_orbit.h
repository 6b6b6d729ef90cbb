#pragma once

#include <cstdint>
#include <vector>

#include "engine/deep/complex_exp.h"
#include "engine/deep/decimal.h"

// One orbit computed in arbitrary precision, Z_0 = start, Z_{n+1} = Z_n^p + c,
// rounded to doubles for the pixels. It ends at the first point with
// |Z|^2 > 4 or after `length` points, whichever comes first; a pixel that
// reaches its end starts over against the orbit its rebasing uses.
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

ReferenceOrbit computeOrbit(const BigComplex& start, const BigComplex& c, int power,
                            std::size_t length, mpfr_prec_t bits);
