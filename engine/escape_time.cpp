#include "engine/escape_time.h"

#include <complex>

#include "engine/escape_batch.h"
#include "engine/escape_value.h"
#include "engine/frame_spec.h"

#include "engine/fatal.h"
#include "engine/powers.h"
#include "engine/view.h"

namespace {

// k: the number of iterates before the first escaped one, at most maxIters.
// `after`, when given, gets the point after the escaped one, z_(k+1); with
// Derive, `d` carries the derivative along the same passes (so the count
// is the same).
template <class Power, bool Derive = false>
std::int32_t integerPowerCount(const double* z0, const double* c, std::int32_t maxIters, double* after = nullptr,
                               OrbitDerivative* d = nullptr)
{
    double x = z0[0], y = z0[1];
    const double cr = c[0], ci = c[1];
    std::int32_t counter = maxIters;
    for (;;) {
        double nx, ny;
        const bool out = Power::step(x, y, cr, ci, nx, ny) > Power::kBound;
        if constexpr (Derive)
            d->dz = derivativeStep(Power::kPower, {x, y}, d->dz, d->julia);
        if (out) {
            if (after) {
                after[0] = nx;
                after[1] = ny;
            }
            break;
        }
        x = nx;
        y = ny;
        if (--counter == 0)
            break;
    }
    return maxIters - counter;
}

// Here the modulus is tested at the top of the next pass, so the pass that
// produced an escaped point counts. A modulus that is not a number ends it too.
std::int32_t complexPowerCount(const double* z0, const double* c, std::int32_t maxIters, const IterFunc& f)
{
    std::complex<double> num(z0[0], z0[1]);
    const std::complex<double> exponent(f.realExpon, f.cplxExpon);
    const std::complex<double> constVect(c[0], c[1]);
    double absVal = 0.0;
    std::int32_t counter = maxIters;
    while (counter > 0 && absVal < 2.0) {
        absVal = std::abs(num);
        if (absVal != 0.0)
            num = std::pow(num, exponent);
        num += constVect;
        --counter;
    }
    return maxIters - counter;
}

} // namespace

// Out of line, so that it runs on the processor's arithmetic even where k is
// known at compile time.
std::int16_t colorIndex(std::int32_t k) { return curveColour(k); }

Escape EscapeTime(const double* Xval, const double* Cval, std::int32_t maxIters, const IterFunc& f)
{
    const int func = f.which;
    std::int32_t k;
    switch (func) {
    case 1: k = integerPowerCount<Square>(Xval, Cval, maxIters); break;
    case 2: k = integerPowerCount<Cube>(Xval, Cval, maxIters); break;
    case 3: k = integerPowerCount<Fifth>(Xval, Cval, maxIters); break;
    case 4: k = integerPowerCount<Tenth>(Xval, Cval, maxIters); break;
    case 5: k = complexPowerCount(Xval, Cval, maxIters, f); break;
    default:
        raiseFatal("bad func switch");
        return {0, 0, 0};
    }
    // The integer powers spend one more pass on the point that escapes.
    const std::int32_t passes = (func != 5 && k < maxIters) ? k + 1 : k;
    if (k <= 1)
        return {0, 0, passes};
    if (k == maxIters)
        return {maxIters, kLastColor, passes};
    return {k, colorIndex(k), passes};
}

Escape EscapeTimeWithFraction(const double* Xval, const double* Cval, std::int32_t maxIters, const IterFunc& f)
{
    double after[2] = {0.0, 0.0};
    std::int32_t k;
    int power;
    switch (f.which) {
    case 1: k = integerPowerCount<Square>(Xval, Cval, maxIters, after), power = 2; break;
    case 2: k = integerPowerCount<Cube>(Xval, Cval, maxIters, after), power = 3; break;
    case 3: k = integerPowerCount<Fifth>(Xval, Cval, maxIters, after), power = 5; break;
    case 4: k = integerPowerCount<Tenth>(Xval, Cval, maxIters, after), power = 10; break;
    default: return EscapeTime(Xval, Cval, maxIters, f);
    }
    Escape e = integerEscape(k, maxIters);
    if (k < maxIters)
        e.fraction = escapeFraction(power, e.count, k + 1, after[0], after[1], Cval[0], Cval[1]);
    return e;
}

Escape EscapeTimeWithDistance(const double* Xval, const double* Cval, std::int32_t maxIters, const IterFunc& f,
                              bool julia, double pixelLog2)
{
    double after[2] = {0.0, 0.0};
    OrbitDerivative d{julia ? CxExp{1.0, 0.0, 0} : CxExp{}, julia, pixelLog2};
    std::int32_t k;
    switch (f.which) {
    case 1: k = integerPowerCount<Square, true>(Xval, Cval, maxIters, after, &d); break;
    case 2: k = integerPowerCount<Cube, true>(Xval, Cval, maxIters, after, &d); break;
    case 3: k = integerPowerCount<Fifth, true>(Xval, Cval, maxIters, after, &d); break;
    case 4: k = integerPowerCount<Tenth, true>(Xval, Cval, maxIters, after, &d); break;
    default: return EscapeTime(Xval, Cval, maxIters, f);
    }
    Escape e = integerEscape(k, maxIters);
    if (k < maxIters) {
        const EscapeValue v = escapeValue(integerPower(f), e.count, k + 1, after[0], after[1], Cval[0], Cval[1], d);
        e.fraction = v.fraction;
        e.distance = v.distance;
    }
    return e;
}

Escape EscapeTime(const double* Xval, const double* Cval, std::int32_t maxIters)
{
    return EscapeTime(Xval, Cval, maxIters, {whichFunc, gRealExpon, gCplxExpon});
}
