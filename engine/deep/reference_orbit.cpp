#include "engine/deep/reference_orbit.h"

#include "engine/deep/complex_math.h"

#include <algorithm>
#include <cfloat>
#include <cmath>


namespace {

// toCxExp for an orbit point, by the cheaper rounding to doubles wherever
// both parts are well inside their range: there the two agree.
CxExp pointOf(mpfr_srcptr re, mpfr_srcptr im)
{
    const Cx z{mpfr_get_d(re, MPFR_RNDN), mpfr_get_d(im, MPFR_RNDN)};
    const double big = std::fabs(z.re) > std::fabs(z.im) ? std::fabs(z.re) : std::fabs(z.im);
    const double small = std::fabs(z.re) > std::fabs(z.im) ? std::fabs(z.im) : std::fabs(z.re);
    if (big < 0x1p+1000 && (small == 0.0 ? big : small) > 0x1p-900)
        return CxExp::from(z);
    return toCxExp(re, im);
}

// What a point's doubles z leave of it, where z is normal and far above
// the underflow (so that the rest is normal too); else zero.
Cx restOf(mpfr_srcptr re, mpfr_srcptr im, Cx z, mpfr_ptr scratch)
{
    const auto part = [&](mpfr_srcptr v, double d) {
        if (!(std::fabs(d) > 0x1p-900 && std::fabs(d) < 0x1p+1000))
            return 0.0;
        mpfr_sub_d(scratch, v, d, MPFR_RNDN);
        return mpfr_get_d(scratch, MPFR_RNDN);
    };
    return {part(re, z.re), part(im, z.im)};
}

// log2 |a|; -infinity for 0.
double log2Of(const CxExp& a) { return 0.5 * std::log2(norm(Cx{a.re, a.im})) + static_cast<double>(a.e); }

// Where an orbit may end early: |dZ/dx| times 2^-12 of the spacing,
// carried along as d' = p Z^(p-1) d (+ 1 when x is c), against each point.
class EarlyWatch {
public:
    EarlyWatch(const EarlyEnd& early, int power)
        : step_(CxExp::normalized(early.spacing.re, 0.0, early.spacing.e - 12)),
          carried_(early.wrtConstant ? CxExp{} : step_), wrtConstant_(early.wrtConstant), power_(power)
    {}
    // The orbit may end at `point`, its point n (n > 0).
    bool endsAt(const CxExp& point, std::size_t n) const { return n > 0 && smallerThan(point, carried_); }
    void pass(const CxExp& point)
    {
        CxExp slope = power_ == 2 ? CxExp{point.re, point.im, point.e + 1} : point;
        for (int k = 2; k < power_; ++k)
            slope = slope * point;
        if (power_ != 2)
            slope = static_cast<double>(power_) * slope;
        carried_ = mulAdd(slope, carried_, wrtConstant_ ? step_ : CxExp{});
    }

private:
    CxExp step_, carried_;
    bool wrtConstant_;
    int power_;
};

} // namespace

std::size_t earlyLength(const ReferenceOrbit& orbit, int power, const EarlyEnd& early)
{
    EarlyWatch watch(early, power);
    for (std::size_t n = 0; n + 1 < orbit.size(); ++n) {
        if (watch.endsAt(orbit.zx[n], n))
            return n + 1;
        watch.pass(orbit.zx[n]);
    }
    return orbit.size();
}

CxExp toCxExp(mpfr_srcptr re, mpfr_srcptr im)
{
    long er = 0, ei = 0;
    const double mr = mpfr_get_d_2exp(&er, re, MPFR_RNDN);
    const double mi = mpfr_get_d_2exp(&ei, im, MPFR_RNDN);
    if (mr == 0.0)
        return CxExp::normalized(0.0, mi, ei);
    if (mi == 0.0)
        return CxExp::normalized(mr, 0.0, er);
    // Both parts at the larger exponent; a part far below the other is lost
    // in the sum anyway.
    const long e = er > ei ? er : ei;
    const long dr = e - er, di = e - ei;
    return CxExp::normalized(dr > 1000 ? 0.0 : mr * pow2(-dr), di > 1000 ? 0.0 : mi * pow2(-di), e);
}

std::optional<ReferenceOrbit> computeOrbit(const BigComplex& start, const BigComplex& c, int power,
                                           std::size_t length, mpfr_prec_t bits, const EarlyEnd* early,
                                           const BuildControl& control)
{
    // A few hundred points at thousands of bits take well under a
    // millisecond: a stop is seen soon, at the cost of one test.
    constexpr std::size_t kPollEvery = 256;
    const std::uint64_t counted = control.points != nullptr ? control.points->load() : 0;
    ReferenceOrbit orbit;
    orbit.z.reserve(length);
    orbit.zx.reserve(length);
    orbit.excess.reserve(length);
    orbit.rest.reserve(length);
    ComplexMath math(bits);
    BigFloat below(bits);
    BigFloat re(bits), im(bits);
    mpfr_set(re.get(), start.re.get(), MPFR_RNDN);
    mpfr_set(im.get(), start.im.get(), MPFR_RNDN);
    std::optional<EarlyWatch> watch;
    if (early != nullptr)
        watch.emplace(*early, power);
    // The spacing carried along for the precision, as log2 of a magnitude,
    // with the spacing a pass near the critical point leaves: a pixel d away
    // from a point of 0 goes |d|^p away, not 0. (For the Mandelbrot set the
    // constant keeps it above the spacing: the precision from the radius
    // always holds.)
    double spreadLog2 = 0.0;
    if (early != nullptr && !early->wrtConstant) {
        const CxExp& spacing = early->precisionSpacing.re != 0.0 ? early->precisionSpacing : early->spacing;
        spreadLog2 = log2Of(CxExp::normalized(spacing.re, 0.0, spacing.e - 12));
    }
    for (;;) {
        const CxExp point = pointOf(re.get(), im.get());
        orbit.zx.push_back(point);
        orbit.z.push_back(point.toCx());
        orbit.rest.push_back(restOf(re.get(), im.get(), orbit.z.back(), below.get()));
        bool escaped = false;
        orbit.excess.push_back(math.excess(re.get(), im.get(), orbit.z.back(), &escaped));
        if (escaped)
            break;
        if (orbit.z.size() == length)
            break;
        if (orbit.z.size() % kPollEvery == 0) {
            if (control.points != nullptr)
                control.points->store(counted + orbit.z.size(), std::memory_order_relaxed);
            if (control.stopRequested && control.stopRequested())
                return std::nullopt;
        }
        if (early != nullptr) {
            const double zLog2 = early->neededBits != nullptr ? log2Of(point) : 0.0;
            if (early->neededBits != nullptr && !point.isZero()) {
                // Far below the spread: 52 bits, as far as the frame's own
                // precision keeps the centre below its pixels.
                const double needed = std::ceil(zLog2 - spreadLog2) + 52;
                if (needed > static_cast<double>(bits) && bits < early->mostBits) {
                    *early->neededBits = std::min(static_cast<mpfr_prec_t>(needed), early->mostBits);
                    return orbit;
                }
            }
            if (watch->endsAt(point, orbit.z.size() - 1))
                break;
            watch->pass(point);
            if (early->neededBits != nullptr)
                spreadLog2 = std::max(std::log2(static_cast<double>(power)) + (power - 1) * zLog2 + spreadLog2,
                                      power * (spreadLog2 + 12) - 12);
        }
        math.power(re.get(), im.get(), power);
        mpfr_add(re.get(), re.get(), c.re.get(), MPFR_RNDN);
        mpfr_add(im.get(), im.get(), c.im.get(), MPFR_RNDN);
    }
    if (control.points != nullptr)
        control.points->store(counted + orbit.z.size(), std::memory_order_relaxed);
    return orbit;
}

bool escapesNearFour(const ReferenceOrbit& o, std::size_t m, Cx dz)
{
    const Cx Z = o.z[m];
    const double cross = 2.0 * (Z.re * dz.re + Z.im * dz.im);
    return (o.excess[m] + cross) + norm(dz) > 0.0;
}

bool escapesNearFour(const ReferenceOrbit& o, std::size_t m, const CxExp& dz)
{
    const CxExp& Z = o.zx[m];
    const CxExp cross = CxExp::normalized(2.0 * (Z.re * dz.re + Z.im * dz.im), 0.0, Z.e + dz.e);
    const CxExp square = CxExp::normalized(dz.re * dz.re + dz.im * dz.im, 0.0, 2 * dz.e);
    return (CxExp::from({o.excess[m], 0.0}) + cross + square).re > 0.0;
}
