#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

// Complex numbers for the pixel deltas of a deep render. `Cx` is a plain pair
// of doubles: std::complex multiplies through a library call that guards
// against infinities, which the deltas never hold, and that costs more than
// the whole step. `CxExp` is a pair of doubles with one shared binary
// exponent: a delta of 1e-1000 is far below the smallest double, and only its
// ratio to the other terms of a step matters.

struct Cx {
    double re = 0.0, im = 0.0;
};

inline Cx operator+(Cx a, Cx b) { return {a.re + b.re, a.im + b.im}; }
inline Cx operator-(Cx a, Cx b) { return {a.re - b.re, a.im - b.im}; }
inline Cx operator*(Cx a, Cx b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
inline Cx operator*(double s, Cx a) { return {s * a.re, s * a.im}; }
inline double norm(Cx a) { return a.re * a.re + a.im * a.im; }

// 2^k as a double, for -1022 <= k <= 1023, without a library call.
inline double pow2(std::int64_t k)
{
    const std::uint64_t bits = static_cast<std::uint64_t>(k + 1023) << 52;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The binary exponent of a normal double: x = m * 2^exponentOf(x), 1 <= |m| < 2.
inline std::int64_t exponentOf(double x)
{
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return static_cast<std::int64_t>((bits >> 52) & 0x7FF) - 1023;
}

// (re + i im) * 2^e, kept with the larger part's magnitude in [1, 2) so that
// products and sums of the parts never leave the double range. Zero is
// {0, 0, 0}.
struct CxExp {
    double re = 0.0, im = 0.0;
    std::int64_t e = 0;

    static CxExp normalized(double re, double im, std::int64_t e)
    {
        const double big = std::fabs(re) > std::fabs(im) ? std::fabs(re) : std::fabs(im);
        if (big == 0.0)
            return {};
        const std::int64_t k = exponentOf(big);
        const double scale = pow2(-k);
        return {re * scale, im * scale, e + k};
    }
    // Below 2^-2^60 a delta is 0: one that the dynamics squeeze that far
    // (near a superattracting cycle, squared every period) would wrap the
    // exponent around within a few dozen more passes.
    static constexpr std::int64_t kLowestExponent = -(std::int64_t{1} << 60);
    // A double pair of any magnitude the doubles hold, subnormals too.
    static CxExp from(Cx a)
    {
        const double big = std::fabs(a.re) > std::fabs(a.im) ? std::fabs(a.re) : std::fabs(a.im);
        if (big == 0.0)
            return {};
        if (big < 0x1p-1000)  // subnormal parts have no exponent field to read
            return normalized(a.re * 0x1p+600, a.im * 0x1p+600, -600);
        return normalized(a.re, a.im, 0);
    }
    // Rounds to doubles; a value below the subnormals gives zero.
    Cx toCx() const
    {
        if (e > 1023)
            return {re * HUGE_VAL, im * HUGE_VAL};
        if (e >= -1022)
            return {re * pow2(e), im * pow2(e)};
        if (e < -1100)
            return {};
        return {(re * pow2(e + 600)) * 0x1p-600, (im * pow2(e + 600)) * 0x1p-600};
    }
    bool isZero() const { return re == 0.0 && im == 0.0; }
};

inline CxExp operator*(const CxExp& a, const CxExp& b)
{
    return CxExp::normalized(a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re, a.e + b.e);
}

inline CxExp operator*(const CxExp& a, Cx b) { return a * CxExp::from(b); }
inline CxExp operator*(Cx a, const CxExp& b) { return CxExp::from(a) * b; }
inline CxExp operator*(double s, const CxExp& a) { return CxExp::normalized(s * a.re, s * a.im, a.e); }

inline CxExp operator+(const CxExp& a, const CxExp& b)
{
    if (a.isZero())
        return b;
    if (b.isZero())
        return a;
    // Beyond 120 binary places the smaller term cannot change a double.
    if (a.e >= b.e) {
        const std::int64_t d = a.e - b.e;
        if (d > 120)
            return a;
        const double s = pow2(-d);
        return CxExp::normalized(a.re + b.re * s, a.im + b.im * s, a.e);
    }
    const std::int64_t d = b.e - a.e;
    if (d > 120)
        return b;
    const double s = pow2(-d);
    return CxExp::normalized(a.re * s + b.re, a.im * s + b.im, b.e);
}

inline CxExp operator-(const CxExp& a, const CxExp& b) { return a + CxExp{-b.re, -b.im, b.e}; }

// a * b + c, brought to the normal form once: for derivatives carried along
// an orbit, one pass at a time.
inline CxExp mulAdd(const CxExp& a, const CxExp& b, const CxExp& c)
{
    const double re = a.re * b.re - a.im * b.im, im = a.re * b.im + a.im * b.re;
    const std::int64_t e = a.e + b.e;
    if (c.isZero())
        return CxExp::normalized(re, im, e);
    if (re == 0.0 && im == 0.0)
        return c;
    // The product's parts are below 8 in magnitude: beyond 120 binary
    // places one term cannot change the other.
    const std::int64_t d = e - c.e;
    if (d > 120)
        return CxExp::normalized(re, im, e);
    if (d < -120)
        return c;
    if (d >= 0) {
        const double s = pow2(-d);
        return CxExp::normalized(re + c.re * s, im + c.im * s, e);
    }
    const double s = pow2(d);
    return CxExp::normalized(re * s + c.re, im * s + c.im, c.e);
}

// |a|^2 < |b|^2, without leaving the exponent range.
inline bool smallerThan(const CxExp& a, const CxExp& b)
{
    if (b.isZero())
        return false;
    if (a.isZero())
        return true;
    const double na = norm(Cx{a.re, a.im}), nb = norm(Cx{b.re, b.im});
    const std::int64_t d = a.e - b.e;
    if (d > 2)
        return false;
    if (d < -2)
        return true;
    return na * pow2(2 * d) < nb;
}
