#include "tests/support/deep_reference.h"

#include <cmath>
#include <vector>

namespace {

// A complex MPFR number with the few operations the references need.
struct Big {
    BigFloat re, im;
    explicit Big(mpfr_prec_t bits) : re(bits), im(bits) {}
};

void multiply(Big& a, const Big& b, Big& scratch)
{
    mpfr_mul(scratch.re.get(), a.re.get(), b.re.get(), MPFR_RNDN);
    mpfr_mul(scratch.im.get(), a.im.get(), b.im.get(), MPFR_RNDN);
    mpfr_sub(scratch.re.get(), scratch.re.get(), scratch.im.get(), MPFR_RNDN);
    mpfr_mul(scratch.im.get(), a.re.get(), b.im.get(), MPFR_RNDN);
    mpfr_mul(a.im.get(), a.im.get(), b.re.get(), MPFR_RNDN);
    mpfr_add(a.im.get(), a.im.get(), scratch.im.get(), MPFR_RNDN);
    mpfr_set(a.re.get(), scratch.re.get(), MPFR_RNDN);
}

void add(Big& a, const Big& b)
{
    mpfr_add(a.re.get(), a.re.get(), b.re.get(), MPFR_RNDN);
    mpfr_add(a.im.get(), a.im.get(), b.im.get(), MPFR_RNDN);
}

// |a|^2 into `out`.
void normInto(const Big& a, BigFloat& out, BigFloat& scratch)
{
    mpfr_sqr(out.get(), a.re.get(), MPFR_RNDN);
    mpfr_sqr(scratch.get(), a.im.get(), MPFR_RNDN);
    mpfr_add(out.get(), out.get(), scratch.get(), MPFR_RNDN);
}

void setZero(Big& a)
{
    mpfr_set_zero(a.re.get(), 1);
    mpfr_set_zero(a.im.get(), 1);
}

// One pass of z^2 + c with its derivative in c: dz <- 2 z dz + 1, z <- z^2 + c.
void stepWithDerivative(Big& z, Big& dz, const Big& c, Big& scratch)
{
    multiply(dz, z, scratch);
    mpfr_mul_2ui(dz.re.get(), dz.re.get(), 1, MPFR_RNDN);
    mpfr_mul_2ui(dz.im.get(), dz.im.get(), 1, MPFR_RNDN);
    mpfr_add_ui(dz.re.get(), dz.re.get(), 1, MPFR_RNDN);
    multiply(z, z, scratch);
    add(z, c);
}

// Long doubles reach 1e-4900: the disks of a search 1e-1000 deep.
long double magnitude(const Big& a)
{
    return std::hypot(mpfr_get_ld(a.re.get(), MPFR_RNDN), mpfr_get_ld(a.im.get(), MPFR_RNDN));
}

mpfr_prec_t bitsFor(double radiusLog10) { return static_cast<mpfr_prec_t>(std::max(0.0, -radiusLog10) * 3.33 + 128); }

// A pixel's coordinate: centre + radius * k / n, exactly as far as `bits` go.
void pixelCoordinate(mpfr_ptr out, const std::string& centre, const BigFloat& radius, long k, long n,
                     mpfr_prec_t bits)
{
    const BigFloat c = readDecimal(centre, bits);
    mpfr_mul_si(out, radius.get(), k, MPFR_RNDN);
    mpfr_div_si(out, out, n, MPFR_RNDN);
    mpfr_add(out, out, c.get(), MPFR_RNDN);
}

} // namespace

namespace {

// Iterates from `point` (the start in a Julia set, the constant in the
// Mandelbrot set) with every pass in MPFR; EscapeTime's result, and where
// the orbit escaped when `escape` is given.
std::int32_t countAt(const FrameSpec& frame, const Big& point, mpfr_prec_t bits, BruteEscape* escape = nullptr)
{
    Big z(bits), c(bits), start(bits), scratch(bits);
    if (frame.julia()) {
        z = point;
        c.re = readDecimal(frame.c.reText, bits);
        c.im = readDecimal(frame.c.imText, bits);
    } else {
        c = point;
    }
    BigFloat n2(bits), t(bits);
    // The derivative in c (in z_0 for a Julia set), where an escape is asked for.
    Big dz(bits), power(bits);
    mpfr_set_ui(dz.re.get(), frame.julia() ? 1 : 0, MPFR_RNDN);
    mpfr_set_ui(dz.im.get(), 0, MPFR_RNDN);
    const int p = integerPower(frame.func);
    std::int32_t k = 0;
    for (; k < frame.maxIters; ++k) {
        normInto(z, n2, t);
        if (mpfr_cmp_ui(n2.get(), 4) > 0) {
            if (escape)
                *escape = {0, k, mpfr_get_d(z.re.get(), MPFR_RNDN), mpfr_get_d(z.im.get(), MPFR_RNDN),
                           mpfr_get_d(c.re.get(), MPFR_RNDN), mpfr_get_d(c.im.get(), MPFR_RNDN),
                           mpfr_get_d(dz.re.get(), MPFR_RNDN), mpfr_get_d(dz.im.get(), MPFR_RNDN)};
            break;
        }
        if (escape) {
            // dz <- p z^(p-1) dz (+ 1)
            power = z;
            for (int q = 2; q < p; ++q)
                multiply(power, z, scratch);
            multiply(dz, power, scratch);
            mpfr_mul_ui(dz.re.get(), dz.re.get(), static_cast<unsigned long>(p), MPFR_RNDN);
            mpfr_mul_ui(dz.im.get(), dz.im.get(), static_cast<unsigned long>(p), MPFR_RNDN);
            if (!frame.julia())
                mpfr_add_ui(dz.re.get(), dz.re.get(), 1, MPFR_RNDN);
        }
        start = z;
        for (int q = 1; q < p; ++q)
            multiply(z, start, scratch);
        add(z, c);
    }
    if (escape)
        escape->count = k <= 1 ? 0 : k;
    return k <= 1 ? 0 : k;
}

std::string decimalText(const BigFloat& v, int digits)
{
    char* text = nullptr;
    mpfr_asprintf(&text, "%.*Rf", digits, v.get());
    std::string out = text;
    mpfr_free_str(text);
    return out;
}

} // namespace

FrameSpec deepFrame()
{
    FrameSpec f;
    f.view = DeepView{};
    f.c = juliaOfDecimals("0", "0.63");
    f.maxIters = 1000;
    return f;
}

IterFunc powerFunc(int power)
{
    const std::int16_t which = power == 2 ? 1 : power == 3 ? 2 : power == 5 ? 3 : 4;
    return {which, static_cast<double>(power), 0.0};
}

std::int32_t bruteForceCount(const FrameSpec& frame, int col, int row, mpfr_prec_t bits)
{
    return bruteForceEscape(frame, col, row, bits).count;
}

BruteEscape bruteForceEscape(const FrameSpec& frame, int col, int row, mpfr_prec_t bits)
{
    if (bits == 0)
        bits = static_cast<mpfr_prec_t>(std::max(0.0, -radiusLog2(deepOf(frame).radius)) + std::log2(std::max(frame.width, frame.height) + 1.0) + 128);
    const BigFloat radius = readDecimal(deepOf(frame).radius, bits);
    Big pixel(bits);
    pixelCoordinate(pixel.re.get(), deepOf(frame).re, radius, 2L * col - frame.width, frame.height, bits);
    pixelCoordinate(pixel.im.get(), deepOf(frame).im, radius, frame.height - 2L * row, frame.height, bits);
    BruteEscape escape{0, -1, 0, 0, 0, 0, 0, 0};
    escape.count = countAt(frame, pixel, bits, &escape);
    return escape;
}

Cx exactDelta(const FrameSpec& frame, int col, int row, mpfr_prec_t centreBits, int n, int m, mpfr_prec_t bits)
{
    const BigFloat radius = readDecimal(deepOf(frame).radius, bits);
    Big pixel(bits), centre(bits), z(bits), Z(bits), scratch(bits);
    pixelCoordinate(pixel.re.get(), deepOf(frame).re, radius, 2L * col - frame.width, frame.height, bits);
    pixelCoordinate(pixel.im.get(), deepOf(frame).im, radius, frame.height - 2L * row, frame.height, bits);
    // Read as the frame reads it, then rounded to the orbit's precision.
    for (auto [part, text] : {std::pair{&centre.re, deepOf(frame).re}, std::pair{&centre.im, deepOf(frame).im}}) {
        const BigFloat typed = readDecimal(text, centreBits);
        BigFloat rounded(centreBits);
        mpfr_set(rounded.get(), typed.get(), MPFR_RNDN);
        mpfr_set(part->get(), rounded.get(), MPFR_RNDN);
    }
    setZero(z);
    setZero(Z);
    for (int k = 0; k < n; ++k) {
        multiply(z, z, scratch);
        add(z, pixel);
    }
    for (int k = 0; k < m; ++k) {
        multiply(Z, Z, scratch);
        add(Z, centre);
    }
    mpfr_sub(z.re.get(), z.re.get(), Z.re.get(), MPFR_RNDN);
    mpfr_sub(z.im.get(), z.im.get(), Z.im.get(), MPFR_RNDN);
    return {mpfr_get_d(z.re.get(), MPFR_RNDN), mpfr_get_d(z.im.get(), MPFR_RNDN)};
}

std::pair<std::string, std::string> levelCurvePoint(const FrameSpec& frame, double angle, int digits)
{
    const mpfr_prec_t bits = static_cast<mpfr_prec_t>(digits * 3.33 + 128);
    BigFloat lo(bits), hi(bits), mid(bits);
    mpfr_set_ui(hi.get(), 2, MPFR_RNDN);
    Big point(bits);
    for (int step = 0; step < digits * 10 / 3 + 8; ++step) {
        mpfr_add(mid.get(), lo.get(), hi.get(), MPFR_RNDN);
        mpfr_div_2ui(mid.get(), mid.get(), 1, MPFR_RNDN);
        mpfr_mul_d(point.re.get(), mid.get(), std::cos(angle), MPFR_RNDN);
        mpfr_mul_d(point.im.get(), mid.get(), std::sin(angle), MPFR_RNDN);
        if (countAt(frame, point, bits) == frame.maxIters)
            mpfr_swap(lo.get(), mid.get());
        else
            mpfr_swap(hi.get(), mid.get());
    }
    return {decimalText(point.re, digits), decimalText(point.im, digits)};
}

Nucleus findNucleus(const std::string& re, const std::string& im, double radiusLog10, int maxPeriod)
{
    // A copy inside a disk of radius r may be as small as r^2 or less.
    const mpfr_prec_t bits = bitsFor(3.0 * radiusLog10);
    Big c(bits), z(bits), dz(bits), scratch(bits), two(bits);
    c.re = readDecimal(re, bits);
    c.im = readDecimal(im, bits);
    mpfr_set_ui(two.re.get(), 2, MPFR_RNDN);

    // The disk of iterates around z_n(c) that holds z_n of every point of
    // the disk around c.
    Nucleus found;
    const long double r = std::pow(10.0L, static_cast<long double>(radiusLog10));
    long double rho = 0.0L;
    for (int n = 1; n <= maxPeriod && found.period == 0; ++n) {
        const long double zAbs = magnitude(z);
        rho = 2.0 * zAbs * rho + rho * rho + r;
        multiply(z, z, scratch);
        add(z, c);
        if (magnitude(z) < rho)
            found.period = n;
        else if (magnitude(z) > 2.0 + rho)
            return found;
    }
    if (found.period == 0)
        return found;

    // Newton: c <- c - z_p / z_p', with z' <- 2 z z' + 1.
    BigFloat den(bits), t(bits), stepNorm(bits);
    Big step(bits);
    for (int iteration = 0; iteration < 200; ++iteration) {
        setZero(z);
        setZero(dz);
        for (int n = 0; n < found.period; ++n)
            stepWithDerivative(z, dz, c, scratch);
        // step = z / dz = z * conj(dz) / |dz|^2
        normInto(dz, den, t);
        mpfr_neg(dz.im.get(), dz.im.get(), MPFR_RNDN);
        step = z;
        multiply(step, dz, scratch);
        mpfr_div(step.re.get(), step.re.get(), den.get(), MPFR_RNDN);
        mpfr_div(step.im.get(), step.im.get(), den.get(), MPFR_RNDN);
        mpfr_sub(c.re.get(), c.re.get(), step.re.get(), MPFR_RNDN);
        mpfr_sub(c.im.get(), c.im.get(), step.im.get(), MPFR_RNDN);
        normInto(step, stepNorm, t);
        if (mpfr_zero_p(stepNorm.get()) || mpfr_get_exp(stepNorm.get()) < -2 * (bits - 32))
            break;
    }
    // Newton may have found a nucleus whose period divides the one searched
    // for: the period is the first divisor q at which Newton's step
    // z_q / z_q' has vanished to the working precision.
    const int searched = found.period;
    found.period = 0;
    setZero(z);
    setZero(dz);
    for (int n = 1; n <= searched && found.period == 0; ++n) {
        stepWithDerivative(z, dz, c, scratch);
        if (searched % n != 0)
            continue;
        normInto(z, stepNorm, t);
        normInto(dz, den, t);
        if (mpfr_zero_p(stepNorm.get()) || mpfr_get_exp(stepNorm.get()) - mpfr_get_exp(den.get()) < -(bits - 64))
            found.period = n;
    }
    if (found.period == 0)
        return found;  // Newton did not converge

    // The size of the copy: 1 / |b l^2| with l the derivative of the cycle
    // and b the sum of its reciprocal partial derivatives.
    const mpfr_prec_t low = 64;
    Big zl(bits), l(low), b(low), inv(low), lowScratch(low), zLow(low);
    zl = c;
    mpfr_set_ui(l.re.get(), 1, MPFR_RNDN);
    mpfr_set_ui(b.re.get(), 1, MPFR_RNDN);
    BigFloat ln(low), lt(low);
    for (int i = 1; i < found.period; ++i) {
        mpfr_set(zLow.re.get(), zl.re.get(), MPFR_RNDN);
        mpfr_set(zLow.im.get(), zl.im.get(), MPFR_RNDN);
        multiply(l, zLow, lowScratch);
        mpfr_mul_2ui(l.re.get(), l.re.get(), 1, MPFR_RNDN);
        mpfr_mul_2ui(l.im.get(), l.im.get(), 1, MPFR_RNDN);
        normInto(l, ln, lt);
        mpfr_div(inv.re.get(), l.re.get(), ln.get(), MPFR_RNDN);
        mpfr_div(inv.im.get(), l.im.get(), ln.get(), MPFR_RNDN);
        mpfr_neg(inv.im.get(), inv.im.get(), MPFR_RNDN);
        add(b, inv);
        multiply(zl, zl, scratch);
        add(zl, c);
    }
    // The copy's orientation: the argument of 1 / (b l^2).
    found.sizeArg = -(std::atan2(mpfr_get_d(b.im.get(), MPFR_RNDN), mpfr_get_d(b.re.get(), MPFR_RNDN))
                      + 2.0 * std::atan2(mpfr_get_d(l.im.get(), MPFR_RNDN), mpfr_get_d(l.re.get(), MPFR_RNDN)));
    normInto(l, ln, lt);
    normInto(b, lt, den);
    // log10 (1 / (|b| |l|^2)) = -(log10 |b|^2 / 2 + log10 |l|^2)
    mpfr_log10(ln.get(), ln.get(), MPFR_RNDN);
    mpfr_log10(lt.get(), lt.get(), MPFR_RNDN);
    found.sizeLog10 = -(mpfr_get_d(lt.get(), MPFR_RNDN) / 2.0 + mpfr_get_d(ln.get(), MPFR_RNDN));

    const int digits = static_cast<int>(-found.sizeLog10) + 25;
    found.re = decimalText(c.re, digits);
    found.im = decimalText(c.im, digits);
    return found;
}

std::string offsetDecimal(const std::string& re, double k, double scaleLog10, int digits)
{
    const mpfr_prec_t bits = static_cast<mpfr_prec_t>(digits * 3.33 + 128);
    BigFloat v = readDecimal(re, bits), d(bits);
    mpfr_set_d(d.get(), 10.0, MPFR_RNDN);
    mpfr_pow_si(d.get(), d.get(), static_cast<long>(std::floor(scaleLog10)), MPFR_RNDN);
    mpfr_mul_d(d.get(), d.get(), k * std::pow(10.0, scaleLog10 - std::floor(scaleLog10)), MPFR_RNDN);
    mpfr_add(v.get(), v.get(), d.get(), MPFR_RNDN);
    return decimalText(v, digits);
}

Nucleus nucleusNearI(int k)
{
    // c = i is where 0 falls on the cycle {-1 + i, -i}, whose multiplier is
    // 4 + 4i: around it the set repeats itself, turned by 45 degrees and
    // shrunk by |4 + 4i| = 5.66 per step in. From a point near a copy at
    // i + 3e-11, k such steps lead to copies ever deeper down the same arm.
    const double radiusLog10 = std::log10(3e-11) - k * std::log10(std::sqrt(32.0));
    const mpfr_prec_t bits = bitsFor(radiusLog10 - 2);
    Big delta(bits), factor(bits), scratch(bits);
    mpfr_set_d(delta.re.get(), 3e-11, MPFR_RNDN);
    // 1 / (4 + 4i) = (1 - i) / 8 inwards, 4 + 4i outwards
    mpfr_set_d(factor.re.get(), k >= 0 ? 0.125 : 4.0, MPFR_RNDN);
    mpfr_set_d(factor.im.get(), k >= 0 ? -0.125 : 4.0, MPFR_RNDN);
    for (int j = 0; j < std::abs(k); ++j)
        multiply(delta, factor, scratch);
    mpfr_add_ui(delta.im.get(), delta.im.get(), 1, MPFR_RNDN);
    const int digits = static_cast<int>(-radiusLog10) + 30;
    return findNucleus(decimalText(delta.re, digits), decimalText(delta.im, digits), radiusLog10 - 1.5, 1000000);
}

std::pair<std::string, std::string> repellingFixedPoint(int power, const std::string& cRe, const std::string& cIm,
                                                        int digits)
{
    // Newton's method for z^p - z + c = 0 from z = 1, the fixed point of
    // z^p when c = 0, whose multiplier p > 1 makes it repelling.
    const mpfr_prec_t bits = static_cast<mpfr_prec_t>(digits * 3.33 + 128);
    Big z(bits), c(bits), zp(bits), zp1(bits), f(bits), df(bits), scratch(bits);
    c.re = readDecimal(cRe, bits);
    c.im = readDecimal(cIm, bits);
    mpfr_set_ui(z.re.get(), 1, MPFR_RNDN);
    BigFloat den(bits), t(bits);
    for (int step = 0; step < 200; ++step) {
        mpfr_set_ui(zp1.re.get(), 1, MPFR_RNDN);  // z^(p-1)
        mpfr_set_zero(zp1.im.get(), 1);
        for (int k = 1; k < power; ++k)
            multiply(zp1, z, scratch);
        zp = zp1;
        multiply(zp, z, scratch);
        f = zp;  // z^p - z + c
        mpfr_sub(f.re.get(), f.re.get(), z.re.get(), MPFR_RNDN);
        mpfr_sub(f.im.get(), f.im.get(), z.im.get(), MPFR_RNDN);
        add(f, c);
        df = zp1;  // p z^(p-1) - 1
        mpfr_mul_ui(df.re.get(), df.re.get(), static_cast<unsigned long>(power), MPFR_RNDN);
        mpfr_mul_ui(df.im.get(), df.im.get(), static_cast<unsigned long>(power), MPFR_RNDN);
        mpfr_sub_ui(df.re.get(), df.re.get(), 1, MPFR_RNDN);
        // z -= f / df = f * conj(df) / |df|^2
        normInto(df, den, t);
        mpfr_neg(df.im.get(), df.im.get(), MPFR_RNDN);
        multiply(f, df, scratch);
        mpfr_div(f.re.get(), f.re.get(), den.get(), MPFR_RNDN);
        mpfr_div(f.im.get(), f.im.get(), den.get(), MPFR_RNDN);
        mpfr_sub(z.re.get(), z.re.get(), f.re.get(), MPFR_RNDN);
        mpfr_sub(z.im.get(), z.im.get(), f.im.get(), MPFR_RNDN);
    }
    return {decimalText(z.re, digits), decimalText(z.im, digits)};
}
