#include "engine/deep/deep_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/deep/decimal.h"
#include "engine/deep/deep_frame.h"

namespace {

// Digits after the point that place a new centre within 1e-10 of a pixel.
constexpr int kCentreDigitsPastPixel = 10;
constexpr int kRadiusDigits = 17;

constexpr std::int32_t kLowestDeepIters = 9000;
constexpr std::int32_t kHighestDeepIters = 10'000'000;

// Working precision for points of a frame whose pixels are 2^pixelLog2:
// far below the pixel, and at least that of the numbers read.
mpfr_prec_t workBits(double pixelLog2, mpfr_prec_t read)
{
    const auto needed = static_cast<mpfr_prec_t>(std::ceil(std::max(0.0, -pixelLog2)) + 128);
    return std::max(needed, read);
}

std::string printed(const char* format, int digits, mpfr_srcptr v)
{
    const int n = mpfr_snprintf(nullptr, 0, format, digits, v);
    std::vector<char> text(static_cast<std::size_t>(n) + 1);
    mpfr_snprintf(text.data(), text.size(), format, digits, v);
    return std::string(text.data(), static_cast<std::size_t>(n));
}

// Trailing zeros after a decimal point say nothing.
std::string trimmed(std::string s)
{
    const std::size_t e = s.find_first_of("eE");
    std::string exponent = e == std::string::npos ? "" : s.substr(e);
    s = s.substr(0, e);
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.')
            s.pop_back();
    }
    return s + exponent;
}

// A coordinate of a point of a frame whose pixels are 10^pixelLog10.
std::string coordinate(mpfr_srcptr v, double pixelLog10)
{
    const int digits = std::max(0, static_cast<int>(std::ceil(-pixelLog10)) + kCentreDigitsPastPixel);
    std::string s = trimmed(printed("%.*RNf", digits, v));
    return s == "-0" ? "0" : s;
}

std::string radiusText(mpfr_srcptr r) { return trimmed(printed("%.*RNe", kRadiusDigits - 1, r)); }

double log2Of(mpfr_srcptr v)
{
    long e = 0;
    const double m = mpfr_get_d_2exp(&e, v, MPFR_RNDN);
    return std::log2(std::fabs(m)) + static_cast<double>(e);
}

struct Square {
    BigFloat re, im, radius;
};

Square read(const DeepView& view, double pixelLog2)
{
    const mpfr_prec_t bits = workBits(
        pixelLog2, std::max({decimalBits(view.re), decimalBits(view.im), decimalBits(view.radius)}));
    return {readDecimal(view.re, bits), readDecimal(view.im, bits), readDecimal(view.radius, bits)};
}

// c + r * k / n, in the precision of out.
void offsetBy(mpfr_ptr out, mpfr_srcptr c, mpfr_srcptr r, long k, long n)
{
    BigFloat t(mpfr_get_prec(out));
    mpfr_mul_si(t.get(), r, k, MPFR_RNDN);
    mpfr_div_si(t.get(), t.get(), n, MPFR_RNDN);
    mpfr_add(out, c, t.get(), MPFR_RNDN);
}

DeepView viewOf(mpfr_srcptr re, mpfr_srcptr im, mpfr_srcptr radius, std::int32_t size)
{
    const double pixel = (log2Of(radius) + 1.0 - std::log2(static_cast<double>(size))) * std::log10(2.0);
    return {coordinate(re, pixel), coordinate(im, pixel), radiusText(radius)};
}

} // namespace

DeepView zoomDeep(const DeepView& view, std::int32_t size, const tagRECT& s)
{
    const double newPixelLog2 = radiusLog2(view.radius) + std::log2(std::max(1, s.right - s.left) * 2.0) -
                                2.0 * std::log2(static_cast<double>(size));
    const Square old = read(view, newPixelLog2);
    const mpfr_prec_t bits = mpfr_get_prec(old.re.get());
    BigFloat re(bits), im(bits), radius(bits);
    offsetBy(re.get(), old.re.get(), old.radius.get(), static_cast<long>(s.left) + s.right - size, size);
    offsetBy(im.get(), old.im.get(), old.radius.get(), static_cast<long>(size) - s.top - s.bottom, size);
    mpfr_mul_si(radius.get(), old.radius.get(), std::max(1, s.right - s.left), MPFR_RNDN);
    mpfr_div_si(radius.get(), radius.get(), size, MPFR_RNDN);
    // Half its width, as the view takes it; the frame is as many pixels.
    return viewOf(re.get(), im.get(), radius.get(), size);
}

DeepView zoomPlaneToDeep(double Xmin, double Ymax, double Xpxl, double Ypxl, std::int32_t size, const tagRECT& s)
{
    // Sums and products of doubles and pixel counts are exact at this width.
    constexpr mpfr_prec_t bits = 2400;
    BigFloat a(bits), b(bits), re(bits), im(bits), radius(bits), t(bits);
    const auto corner = [&](mpfr_ptr out, double origin, double step, long k) {
        mpfr_set_d(t.get(), step, MPFR_RNDN);
        mpfr_mul_si(t.get(), t.get(), k, MPFR_RNDN);
        mpfr_set_d(out, origin, MPFR_RNDN);
        mpfr_add(out, out, t.get(), MPFR_RNDN);
    };
    corner(a.get(), Xmin, Xpxl, s.left);
    corner(b.get(), Xmin, Xpxl, s.right);
    mpfr_add(re.get(), a.get(), b.get(), MPFR_RNDN);
    mpfr_div_2ui(re.get(), re.get(), 1, MPFR_RNDN);
    mpfr_sub(radius.get(), b.get(), a.get(), MPFR_RNDN);
    mpfr_div_2ui(radius.get(), radius.get(), 1, MPFR_RNDN);
    corner(a.get(), Ymax, -Ypxl, s.top);
    corner(b.get(), Ymax, -Ypxl, s.bottom);
    mpfr_add(im.get(), a.get(), b.get(), MPFR_RNDN);
    mpfr_div_2ui(im.get(), im.get(), 1, MPFR_RNDN);
    return viewOf(re.get(), im.get(), radius.get(), size);
}

std::pair<std::string, std::string> deepPixelPoint(const DeepView& view, std::int32_t size, tagPOINT pixel)
{
    const double spacingLog10 = pixelLog10(view, size);
    const Square v = read(view, spacingLog10 / std::log10(2.0));
    const mpfr_prec_t bits = mpfr_get_prec(v.re.get());
    BigFloat re(bits), im(bits);
    offsetBy(re.get(), v.re.get(), v.radius.get(), 2L * pixel.x - size, size);
    offsetBy(im.get(), v.im.get(), v.radius.get(), static_cast<long>(size) - 2L * pixel.y, size);
    return {coordinate(re.get(), spacingLog10), coordinate(im.get(), spacingLog10)};
}

PlaneView nearestPlane(const DeepView& view)
{
    const Square v = read(view, radiusLog2(view.radius));
    const mpfr_prec_t bits = mpfr_get_prec(v.re.get());
    BigFloat t(bits);
    const auto edge = [&](mpfr_srcptr c, int sign) {
        if (sign > 0)
            mpfr_add(t.get(), c, v.radius.get(), MPFR_RNDN);
        else
            mpfr_sub(t.get(), c, v.radius.get(), MPFR_RNDN);
        return mpfr_get_d(t.get(), MPFR_RNDN);
    };
    return {edge(v.re.get(), -1), edge(v.re.get(), 1), edge(v.im.get(), -1), edge(v.im.get(), 1)};
}

double pixelLog10(const DeepView& view, std::int32_t size)
{
    return (radiusLog2(view.radius) + 1.0 - std::log2(static_cast<double>(size))) * std::log10(2.0);
}

std::int32_t deepWindowIters(const DeepView& view, std::int32_t size)
{
    const PlaneView edges = nearestPlane(view);
    const double magnitude = std::max({std::fabs(edges.Xmin), std::fabs(edges.Xmax), std::fabs(edges.Ymin),
                                       std::fabs(edges.Ymax)});
    const double switchLog10 = std::log10(std::max(kPlaneMargin * magnitude, kPlaneFloor));
    const double digits = switchLog10 - pixelLog10(view, size);
    const double limit = kLowestDeepIters + 1000.0 * digits;
    return static_cast<std::int32_t>(std::clamp(limit, double(kLowestDeepIters), double(kHighestDeepIters)));
}
