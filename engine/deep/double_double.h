#pragma once

// Double-double numbers: an unevaluated sum hi + lo of two doubles, |lo| at
// most half an ulp of hi, some 106 bits in all. Built from the exact
// transformations of Dekker and Knuth (two-sum, two-product by splitting),
// in plain additions and multiplications: nothing here may be contracted
// into fused ones, and nothing needs them. T is double, or a vector of
// doubles (GCC's vector extensions) for lanes of them, which take the same
// operations in the same order; nothing from the standard library, so that
// the lanes' files may include it. Internal linkage: each instruction set's
// file gets its own copy, and none built for a wider one is ever linked
// into a narrower one's place.
namespace {

template <class T>
struct DdOf {
    T hi{}, lo{};
};
using Dd = DdOf<double>;

namespace dd {

// a + b exactly, as a sum and its rounding error.
template <class T>
inline DdOf<T> twoSum(T a, T b)
{
    const T s = a + b;
    const T bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// The same where |a| >= |b| (or a is 0).
template <class T>
inline DdOf<T> quickTwoSum(T a, T b)
{
    const T s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly, by splitting each factor into halves of 26 bits.
template <class T>
inline DdOf<T> twoProduct(T a, T b)
{
    const auto split = [](T x, T& high, T& low) {
        const T t = 134217729.0 * x;  // 2^27 + 1
        high = t - (t - x);
        low = x - high;
    };
    T ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    const T p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

} // namespace dd

template <class T>
inline DdOf<T> operator+(DdOf<T> a, DdOf<T> b)
{
    DdOf<T> s = dd::twoSum(a.hi, b.hi);
    const DdOf<T> t = dd::twoSum(a.lo, b.lo);
    s.lo += t.hi;
    s = dd::quickTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return dd::quickTwoSum(s.hi, s.lo);
}
template <class T>
inline DdOf<T> operator-(DdOf<T> a)
{
    return {-a.hi, -a.lo};
}
template <class T>
inline DdOf<T> operator-(DdOf<T> a, DdOf<T> b)
{
    return a + -b;
}
template <class T>
inline DdOf<T> operator*(DdOf<T> a, DdOf<T> b)
{
    DdOf<T> p = dd::twoProduct(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return dd::quickTwoSum(p.hi, p.lo);
}
// 2a, exactly.
template <class T>
inline DdOf<T> twice(DdOf<T> a)
{
    return {2.0 * a.hi, 2.0 * a.lo};
}

template <class T>
struct CxDdOf {
    DdOf<T> re, im;
};
using CxDd = CxDdOf<double>;

template <class T>
inline CxDdOf<T> operator+(const CxDdOf<T>& a, const CxDdOf<T>& b)
{
    return {a.re + b.re, a.im + b.im};
}
template <class T>
inline CxDdOf<T> operator*(const CxDdOf<T>& a, const CxDdOf<T>& b)
{
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
template <class T>
inline CxDdOf<T> twice(const CxDdOf<T>& a)
{
    return {twice(a.re), twice(a.im)};
}
// The perturbed pass of z^2 + c in double-double: dz -> (2Z + dz) dz + dc.
template <class T>
inline CxDdOf<T> perturbedPass(const CxDdOf<T>& Z, const CxDdOf<T>& dz, const CxDdOf<T>& dc)
{
    return (twice(Z) + dz) * dz + dc;
}

} // namespace
