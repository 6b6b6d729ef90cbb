#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "engine/escape_time.h"
#include "engine/frame_switch.h"

// A rectangle of the plane in doubles: the explorer's own view. Pixel
// (p, q) of a frame of W x H pixels is (p Xpxl + Xmin, Ymax - q Ypxl),
// with Xpxl = (Xmax - Xmin) / W and Ypxl = (Ymax - Ymin) / H.
struct PlaneView {
    double Xmin = -2.0, Xmax = 2.0, Ymin = -2.0, Ymax = 2.0;
    friend bool operator==(const PlaneView&, const PlaneView&) = default;
};

// A view far below the reach of doubles: its centre and half its height,
// each a decimal as users type it (isDecimal), read exactly. Pixels are
// square, 2 radius / H on a side: pixel (col, row) of a frame of W x H
// pixels is (re + (2 col - W) radius / H, im + (H - 2 row) radius / H).
struct DeepView {
    std::string re = "0", im = "0", radius = "2";
    friend bool operator==(const DeepView&, const DeepView&) = default;
};

// The Julia constant: doubles for a plane view, decimals for a deep one,
// the doubles being the decimals' nearest. The Mandelbrot set has none.
struct JuliaConstant {
    double re = 0.0, im = 0.63;
    std::string reText = "0", imText = "0.63";
    friend bool operator==(const JuliaConstant&, const JuliaConstant&) = default;
};

// Doubles, and as decimals their exact values: a deep frame then iterates
// the very constant that a plane frame of it did.
JuliaConstant juliaOfDoubles(double re, double im);
// Decimals (isDecimal), and their nearest doubles.
JuliaConstant juliaOfDecimals(const std::string& re, const std::string& im);

// Everything that decides the pixels of one frame: what a render takes.
struct FrameSpec {
    short FuncSwitch = kMandelbrot;  // 11 Mandelbrot set, 22 Julia set
    IterFunc func{};
    JuliaConstant c{};
    std::variant<PlaneView, DeepView> view{};
    std::int32_t width = 600, height = 600;  // pixels
    std::int32_t maxIters = 100;
    friend bool operator==(const FrameSpec&, const FrameSpec&) = default;

    bool julia() const { return FuncSwitch == kJulia; }
    bool deep() const { return std::holds_alternative<DeepView>(view); }
    const PlaneView& plane() const { return std::get<PlaneView>(view); }
    const DeepView& deepView() const { return std::get<DeepView>(view); }
};

// The exponent of an integer power (2, 3, 5 or 10); 0 for the complex power.
int integerPower(const IterFunc& f);
// Whether a function can be drawn in deep frames: the integer powers can.
inline bool hasDeepPath(const IterFunc& f) { return integerPower(f) != 0; }

// The plane size of one pixel, as newPxl derives it from a side of n pixels.
inline double pixelSize(double lo, double hi, std::int32_t n) { return (hi - lo) / static_cast<double>(n); }

// Doubles carry a plane view with a wide margin while its pixels are at
// least 2^-40 of the largest magnitude of its edges (a pixel then spans
// thousands of units in their last place) and at least 2^-1000 (far above
// the subnormals). Past that a zoom makes the frame a deep one.
constexpr double kPlaneMargin = 0x1p-40;
constexpr double kPlaneFloor = 0x1p-1000;
bool doublesSuffice(const PlaneView& v, std::int32_t width, std::int32_t height);

// The decimal text that is exactly v: every finite double has one.
std::string exactDecimal(double v);

// Pixel to plane, for a view record or anything with its four fields alike:
// column p and row q, the product first, in this order, as every part of
// the program must agree on it to the last bit.
template <class View>
double planeRe(const View& g, int p)
{
    return static_cast<double>(p) * g.Xpxl + g.Xmin;
}
template <class View>
double planeIm(const View& g, int q)
{
    return g.Ymax - static_cast<double>(q) * g.Ypxl;
}
