#pragma once

// One pass of each integer power, z^2, z^3, z^5 and z^10 plus c, written once
// for any number type with + - * and a double on either side: a double for the
// reference evaluation, a vector of doubles for the batched kernels. Sharing
// the text is what keeps every lane bit-identical to the reference: each power
// of x and y is formed once per pass and nothing is regrouped.
//
// `step` returns the escape value T of the current point (x, y) and computes
// the next point; the point has escaped when T > kBound.
//
// Internal linkage on purpose: each file that includes this compiles it for
// its own instruction set, and no copy may stand in for another at link time.
namespace {

struct Square {
    static constexpr int kPower = 2;
    static constexpr double kBound = 0.0;
    template <class T>
    static T step(T x, T y, T cr, T ci, T& nx, T& ny)
    {
        const T x2 = x * x, y2 = y * y;
        const T t = (x2 + y2) - 4.0;
        nx = x2 - (y2 - cr);
        ny = y * (2.0 * x) + ci;
        return t;
    }
};

struct Cube {
    static constexpr int kPower = 3;
    static constexpr double kBound = 4.0;
    template <class T>
    static T step(T x, T y, T cr, T ci, T& nx, T& ny)
    {
        const T x2 = x * x, y2 = y * y;
        const T x3 = x2 * x, y3 = y2 * y;
        const T t = y2 + x2;
        nx = (x3 + cr) - 3.0 * (x * y2);
        ny = 3.0 * (y * x2) + (ci - y3);
        return t;
    }
};

struct Fifth {
    static constexpr int kPower = 5;
    static constexpr double kBound = 4.0;
    template <class T>
    static T step(T x, T y, T cr, T ci, T& nx, T& ny)
    {
        const T x2 = x * x, x3 = x2 * x, x4 = x3 * x, x5 = x4 * x;
        const T y2 = y * y, y3 = y2 * y, y4 = y3 * y, y5 = y4 * y;
        const T t = x2 + y2;
        nx = (-10.0 * (x3 * y2) + cr) + (5.0 * (y4 * x) + x5);
        ny = (5.0 * (x4 * y) + y5) + (-10.0 * (y3 * x2) + ci);
        return t;
    }
};

struct Tenth {
    static constexpr int kPower = 10;
    static constexpr double kBound = 4.0;
    template <class T>
    static T step(T x, T y, T cr, T ci, T& nx, T& ny)
    {
        const T x2 = x * x, x3 = x2 * x, x4 = x3 * x, x5 = x4 * x, x8 = x4 * x4;
        const T y2 = y * y, y3 = y2 * y, y4 = y3 * y, y5 = y4 * y, y8 = y4 * y4;
        const T t = x2 + y2;
        nx = (((210.0 * x4) * y4) * (x2 - y2) + cr)
             + ((x2 - 45.0 * y2) * x8 + y8 * (45.0 * x2 - y2));
        ny = ((-120.0 * x3) * y3) * (x4 + y4)
             + (((10.0 * x) * y) * (x8 + y8) + ((252.0 * x5) * y5 + ci));
        return t;
    }
};

} // namespace
