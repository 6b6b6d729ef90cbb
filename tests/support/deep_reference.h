#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "engine/deep/decimal.h"
#include "engine/deep/deep_frame.h"

// Arbitrary-precision references for deep frames, shared by the tests and
// the benchmarks: escape counts with every pass in MPFR, and places worth
// looking at, found by computation.

// A frame of a deep view: the Mandelbrot set of z^2 around 0 at radius 2,
// 600 pixels, limit 1000, the Julia constant 0.63i as decimals.
FrameSpec deepFrame();
// The deep view of a frame, to set or read.
inline DeepView& deepOf(FrameSpec& f) { return std::get<DeepView>(f.view); }
inline const DeepView& deepOf(const FrameSpec& f) { return f.deepView(); }
// The integer power 2, 3, 5 or 10.
IterFunc powerFunc(int power);

// The count EscapeTime would give pixel (col, row) of the frame if it
// iterated exactly: every pass in MPFR at `bits` bits (0: the frame's
// precision plus 64), escape when |z|^2 > 4.
std::int32_t bruteForceCount(const FrameSpec& frame, int col, int row, mpfr_prec_t bits = 0);

// The same count, and where the orbit escaped: z_n, the first point beyond
// the radius, c, and z_n's derivative in c (in z_0 for a Julia set), each
// rounded to doubles (n is -1 where it never did).
struct BruteEscape {
    std::int32_t count, n;
    double zr, zi, cr, ci, dzr, dzi;
};
BruteEscape bruteForceEscape(const FrameSpec& frame, int col, int row, mpfr_prec_t bits = 0);

// For a Mandelbrot frame of z^2: z_n of pixel (col, row) less Z_m of the
// centre rounded to `centreBits` (where its reference orbit starts), both
// with every pass in MPFR at `bits` bits; rounded to doubles.
Cx exactDelta(const FrameSpec& frame, int col, int row, mpfr_prec_t centreBits, int n, int m, mpfr_prec_t bits);

// A point, `digits` decimals long, where the frame's function (its power,
// set, constant and limit) goes from never escaping within maxIters to
// escaping: bisection along the ray from 0 at `angle`, up to 2. Deep frames
// around it are never uniform.
std::pair<std::string, std::string> levelCurvePoint(const FrameSpec& frame, double angle, int digits);

// A repelling fixed point of z^power + c, on the boundary of the Julia set:
// frames around it at any depth show the set's edge, turned and shrunk by
// its multiplier.
std::pair<std::string, std::string> repellingFixedPoint(int power, const std::string& cRe, const std::string& cIm,
                                                        int digits);

// A nucleus of the Mandelbrot set for z^2 + c: the centre of a small copy.
struct Nucleus {
    std::string re, im;  // decimals, to `digits` significant digits
    int period = 0;
    double sizeLog10 = 0.0;  // log10 of the copy's approximate radius
    double sizeArg = 0.0;    // how the copy is turned against the whole set
};

// The lowest period p such that the disk of radius 10^radiusLog10 around
// (re, im) may hold a point with z_p = 0 (a disk of iterates that comes to
// contain 0 first after p passes), then Newton's method for z_p(c) = 0 from
// the disk's centre. Period 0 when no period up to maxPeriod is found.
Nucleus findNucleus(const std::string& re, const std::string& im, double radiusLog10, int maxPeriod);

// A copy of the set near c = i, the deeper the larger k (k = 0: period 36,
// radius about 1e-23.6; each step adds 2 to the period and 1.5 decimal
// digits to the depth; k may be negative).
Nucleus nucleusNearI(int k);

// The decimal text of re + k * 10^scaleLog10, to `digits` digits after the
// point (rounded), for walking away from a nucleus by a multiple of its size.
std::string offsetDecimal(const std::string& re, double k, double scaleLog10, int digits);
