#pragma once

#include <cfloat>
#include <cmath>

#include "engine/deep/complex_exp.h"
#include "engine/deep/decimal.h"

// The working numbers of an orbit in MPFR, allocated once: its passes, and
// the escape test made exactly.
class ComplexMath {
public:
    explicit ComplexMath(mpfr_prec_t bits)
        : t1_(bits), t2_(bits), t3_(bits), pr_(bits), pi_(bits), sum_(bits)
    {}

    // (ar + i ai) <- (ar + i ai) * (br + i bi); b may be a itself.
    void multiply(mpfr_ptr ar, mpfr_ptr ai, mpfr_srcptr br, mpfr_srcptr bi)
    {
        mpfr_mul(t1_.get(), ar, br, MPFR_RNDN);
        mpfr_mul(t2_.get(), ai, bi, MPFR_RNDN);
        mpfr_mul(t3_.get(), ar, bi, MPFR_RNDN);
        mpfr_mul(ai, ai, br, MPFR_RNDN);
        mpfr_add(ai, ai, t3_.get(), MPFR_RNDN);
        mpfr_sub(ar, t1_.get(), t2_.get(), MPFR_RNDN);
    }

    void square(mpfr_ptr re, mpfr_ptr im)
    {
        mpfr_sqr(t1_.get(), re, MPFR_RNDN);
        mpfr_sqr(t2_.get(), im, MPFR_RNDN);
        squareFromSquares(re, im);
    }

    // The square once t1_ and t2_ hold re^2 and im^2.
    void squareFromSquares(mpfr_ptr re, mpfr_ptr im)
    {
        mpfr_mul(im, im, re, MPFR_RNDN);
        mpfr_mul_2ui(im, im, 1, MPFR_RNDN);
        mpfr_sub(re, t1_.get(), t2_.get(), MPFR_RNDN);
    }

    // z <- z^power, for 2, 3, 5 and 10.
    void power(mpfr_ptr re, mpfr_ptr im, int p)
    {
        if (p == 2) {
            square(re, im);
            return;
        }
        mpfr_set(pr_.get(), re, MPFR_RNDN);
        mpfr_set(pi_.get(), im, MPFR_RNDN);
        if (p == 3) {
            square(re, im);
            multiply(re, im, pr_.get(), pi_.get());
            return;
        }
        square(re, im);
        square(re, im);                          // z^4
        multiply(re, im, pr_.get(), pi_.get());  // z^5
        if (p == 10)
            square(re, im);
    }

    // |z|^2 - 4, given z rounded to doubles: those give it unless |z|^2 is
    // within far more than their rounding of 4, which is rare, and the MPFR
    // test costs a fifth of a pass. Its sign is exact: *escaped tells
    // whether |z|^2 > 4.
    double excess(mpfr_srcptr re, mpfr_srcptr im, Cx rounded, bool* escaped)
    {
        const double n = norm(rounded);
        if (n > 4.0 * (1.0 + 0x1p-30) || n < 4.0 * (1.0 - 0x1p-30)) {
            *escaped = n > 4.0;
            return n - 4.0;
        }
        mpfr_sqr(t1_.get(), re, MPFR_RNDN);
        mpfr_sqr(t2_.get(), im, MPFR_RNDN);
        mpfr_add(sum_.get(), t1_.get(), t2_.get(), MPFR_RNDN);
        mpfr_sub_ui(sum_.get(), sum_.get(), 4, MPFR_RNDN);
        const int sign = mpfr_sgn(sum_.get());
        *escaped = sign > 0;
        const double d = mpfr_get_d(sum_.get(), MPFR_RNDN);
        return d != 0.0 || sign == 0 ? d : std::copysign(DBL_MIN, sign);
    }

private:
    BigFloat t1_, t2_, t3_, pr_, pi_, sum_;
};
