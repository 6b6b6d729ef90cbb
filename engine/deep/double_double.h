#pragma once

// Double-double numbers: an unevaluated sum hi + lo of two doubles, |lo| at
// most half an ulp of hi, some 106 bits in all. Built from the exact
// transformations of Dekker and Knuth (two-sum, two-product by splitting),
// in plain additions and multiplications: nothing here may be contracted
// into fused ones, and nothing needs them.
struct Dd {
    double hi = 0.0, lo = 0.0;
};

namespace dd {

// a + b exactly, as a sum and its rounding error.
inline Dd twoSum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// The same where |a| >= |b| (or a is 0).
inline Dd quickTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly, by splitting each factor into halves of 26 bits.
inline Dd twoProduct(double a, double b)
{
    const auto split = [](double x, double& high, double& low) {
        const double t = 134217729.0 * x;  // 2^27 + 1
        high = t - (t - x);
        low = x - high;
    };
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    const double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

} // namespace dd

inline Dd operator+(Dd a, Dd b)
{
    Dd s = dd::twoSum(a.hi, b.hi);
    const Dd t = dd::twoSum(a.lo, b.lo);
    s.lo += t.hi;
    s = dd::quickTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return dd::quickTwoSum(s.hi, s.lo);
}
inline Dd operator-(Dd a) { return {-a.hi, -a.lo}; }
inline Dd operator-(Dd a, Dd b) { return a + -b; }
inline Dd operator*(Dd a, Dd b)
{
    Dd p = dd::twoProduct(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return dd::quickTwoSum(p.hi, p.lo);
}
// 2a, exactly.
inline Dd twice(Dd a) { return {2.0 * a.hi, 2.0 * a.lo}; }

struct CxDd {
    Dd re, im;
};

inline CxDd operator+(const CxDd& a, const CxDd& b) { return {a.re + b.re, a.im + b.im}; }
inline CxDd operator*(const CxDd& a, const CxDd& b)
{
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
inline CxDd twice(const CxDd& a) { return {twice(a.re), twice(a.im)}; }
