#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/deep/decimal.h"
#include "engine/deep/double_double.h"

namespace {

// A double-double's value, exactly, in MPFR.
BigFloat valueOf(Dd a)
{
    BigFloat v(2200);
    mpfr_set_d(v.get(), a.hi, MPFR_RNDN);
    mpfr_add_d(v.get(), v.get(), a.lo, MPFR_RNDN);
    return v;
}

// |got - want| / |want| as log2, from MPFR's exact values.
double relativeErrorLog2(Dd got, const BigFloat& want)
{
    BigFloat d = valueOf(got);
    mpfr_sub(d.get(), d.get(), want.get(), MPFR_RNDN);
    if (mpfr_zero_p(d.get()))
        return -1e9;
    mpfr_div(d.get(), d.get(), want.get(), MPFR_RNDN);
    mpfr_abs(d.get(), d.get(), MPFR_RNDN);
    return std::log2(mpfr_get_d(d.get(), MPFR_RNDN));
}

// Random double-doubles of mixed magnitudes, normalized (|lo| <= ulp(hi)/2).
Dd randomDd(std::mt19937_64& rng, int exponentSpread)
{
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-exponentSpread, exponentSpread);
    return dd::quickTwoSum(std::ldexp(mantissa(rng), exponent(rng)), std::ldexp(mantissa(rng), exponent(rng) - 60));
}

} // namespace

// The exact transformations are exact; sums and products of double-doubles
// are within 2^-104 of the true ones, sums whose terms cancel included.
TEST(DoubleDouble, ExactTransformationsAndTheirArithmetic)
{
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; ++i) {
        const Dd a = randomDd(rng, 300), b = randomDd(rng, 300);
        BigFloat exact(2200), va = valueOf(a), vb = valueOf(b);
        mpfr_set_d(exact.get(), a.hi, MPFR_RNDN);
        mpfr_mul_d(exact.get(), exact.get(), b.hi, MPFR_RNDN);
        const Dd p = dd::twoProduct(a.hi, b.hi);
        ASSERT_EQ(mpfr_cmp(valueOf(p).get(), exact.get()), 0) << a.hi << " * " << b.hi;
        mpfr_set_d(exact.get(), a.hi, MPFR_RNDN);
        mpfr_add_d(exact.get(), exact.get(), b.hi, MPFR_RNDN);
        ASSERT_EQ(mpfr_cmp(valueOf(dd::twoSum(a.hi, b.hi)).get(), exact.get()), 0) << a.hi << " + " << b.hi;

        mpfr_mul(exact.get(), va.get(), vb.get(), MPFR_RNDN);
        ASSERT_LT(relativeErrorLog2(a * b, exact), -104.0) << a.hi << " * " << b.hi;
        mpfr_add(exact.get(), va.get(), vb.get(), MPFR_RNDN);
        ASSERT_LT(relativeErrorLog2(a + b, exact), -104.0) << a.hi << " + " << b.hi;
        // a - (a + small): all but the small part cancels.
        const Dd c = a + Dd{std::ldexp(b.hi, -40), 0.0};
        BigFloat vc = valueOf(c);
        mpfr_sub(exact.get(), va.get(), vc.get(), MPFR_RNDN);
        if (!mpfr_zero_p(exact.get())) {
            ASSERT_LT(relativeErrorLog2(a - c, exact), -104.0) << a.hi << " - " << c.hi;
        }
    }
    // Complex: (a + bi)(c + di) and twice, against MPFR's.
    const CxDd x{{0.75, 0x1p-60}, {-1.25, -0x1p-58}}, y{{1.5, 0x1p-55}, {0.5, 0x1p-57}};
    const CxDd z = x * y, w = twice(x) + y;
    BigFloat xr = valueOf(x.re), xi = valueOf(x.im), yr = valueOf(y.re), yi = valueOf(y.im), t(2200), u(2200);
    mpfr_mul(t.get(), xr.get(), yr.get(), MPFR_RNDN);
    mpfr_mul(u.get(), xi.get(), yi.get(), MPFR_RNDN);
    mpfr_sub(t.get(), t.get(), u.get(), MPFR_RNDN);
    EXPECT_LT(relativeErrorLog2(z.re, t), -104.0);
    mpfr_mul(t.get(), xr.get(), yi.get(), MPFR_RNDN);
    mpfr_mul(u.get(), xi.get(), yr.get(), MPFR_RNDN);
    mpfr_add(t.get(), t.get(), u.get(), MPFR_RNDN);
    EXPECT_LT(relativeErrorLog2(z.im, t), -104.0);
    mpfr_mul_2ui(t.get(), xi.get(), 1, MPFR_RNDN);
    mpfr_add(t.get(), t.get(), yi.get(), MPFR_RNDN);
    EXPECT_LT(relativeErrorLog2(w.im, t), -104.0);
}
