#include "engine/deep/deep_frame.h"

#include "engine/deep/stray.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace {

// A delta leaves doubles below kDeltaFloor and comes back above 2^-400.
constexpr std::int64_t kExtendedCeiling = -400;

// A pixel that a lane handed back goes back to one after this many passes
// in a row without a bilinear step: where steps come every few passes, the
// way back and forth would cost more than the lane saves.
constexpr int kPlainPassesForLane = 4;

// A lane hands its pixel back for a bilinear step only where the step is
// at least this long (bla_table.h): on the lanes' own a pass costs some
// 1.3 ns of one core, and a step that stops them several times that. (At
// 64, seahorse valley at 1e-24 draws in 0.8 of the time that steps of any
// length take, and frames around copies of the set as fast as before.)
constexpr std::int64_t kLeastStepForLanes = 64;

template <class D>
D point(const ReferenceOrbit& o, std::size_t m);
template <>
Cx point<Cx>(const ReferenceOrbit& o, std::size_t m) { return o.z[m]; }
template <>
CxExp point<CxExp>(const ReferenceOrbit& o, std::size_t m) { return o.zx[m]; }

bool closer(Cx z, Cx dz) { return norm(z) < norm(dz); }
bool closer(const CxExp& z, const CxExp& dz) { return smallerThan(z, dz); }

bool outOfRange(Cx dz) { return std::max(std::fabs(dz.re), std::fabs(dz.im)) < kDeltaFloor; }

// A delta with an extended exponent that has gone below its range is 0.
void keepInRange(Cx&) {}
void keepInRange(CxExp& dz)
{
    if (dz.e < CxExp::kLowestExponent)
        dz = {};
}
bool outOfRange(const CxExp& dz) { return !dz.isZero() && dz.e >= kExtendedCeiling; }

Cx toDoubles(Cx a) { return a; }
Cx toDoubles(const CxExp& a) { return a.toCx(); }

// |a|^2 in doubles, zero where it underflows.
double normOf(Cx a) { return norm(a); }
double normOf(const CxExp& a) { return a.e < -500 ? 0.0 : norm(a.toCx()); }

// |Z + dz|^2 > 4 for the pixel at orbit point m, whose z = Z + dz:
// doubles decide unless z lies within their rounding of the escape radius.
template <class D>
bool escapes(const ReferenceOrbit& o, std::size_t m, const D& z, const D& dz)
{
    const double n = norm(toDoubles(z));
    if (__builtin_expect(n < kFourBelow, 1))
        return false;
    if (n > kFourAbove)
        return true;
    return n == n && escapesNearFour(o, m, dz);
}

// What the bilinear table compares with its radii: |dz|^2 in doubles, |dz|
// beyond them.
double blaSize(Cx dz) { return norm(dz); }
double blaSize(const CxExp& dz)
{
    return dz.e < -1100 ? 0.0 : std::ldexp(std::sqrt(norm(Cx{dz.re, dz.im})), static_cast<int>(dz.e));
}
// How the table takes a delta. In doubles, a pixel that lanes may take on
// looks only for steps worth leaving them for; one with a derivative, which
// lanes do not carry, takes every step.
template <bool Derive>
constexpr BlaTable::Delta blaDelta(Cx)
{
    return Derive ? BlaTable::Delta::Doubles : BlaTable::Delta::Lanes;
}
template <bool>
constexpr BlaTable::Delta blaDelta(const CxExp&)
{
    return BlaTable::Delta::Extended;
}

// The binomial coefficients C(p, k) for k = 1 .. p - 1.
const double* binomials(int power)
{
    static const double c3[] = {3.0, 3.0};
    static const double c5[] = {5.0, 10.0, 10.0, 5.0};
    static const double c10[] = {10.0, 45.0, 120.0, 210.0, 252.0, 210.0, 120.0, 45.0, 10.0};
    return power == 3 ? c3 : power == 5 ? c5 : c10;
}

// (Z + dz)^p - Z^p + dc, without forming either power: for p = 2,
// (2Z + dz) dz + dc; otherwise dz times the sum of C(p, k) Z^(p-k) dz^(k-1),
// taken by Horner's rule in dz.
template <class D>
D perturbedStep(int power, const D& Z, const D& dz, const D& dc)
{
    if (power == 2)
        return (2.0 * Z + dz) * dz + dc;
    const double* binom = binomials(power);
    D zPow[10];
    zPow[1] = Z;
    for (int j = 2; j < power; ++j)
        zPow[j] = zPow[j - 1] * Z;
    D sum = dz + binom[power - 2] * Z;  // C(p, p-1) Z
    for (int k = power - 2; k >= 1; --k)
        sum = sum * dz + binom[k - 1] * zPow[power - k];
    return sum * dz + dc;
}

CxExp toExtended(const BigFloat& v)
{
    long e = 0;
    const double m = mpfr_get_d_2exp(&e, v.get(), MPFR_RNDN);
    return CxExp::normalized(m, 0.0, e);
}

BigComplex zero(mpfr_prec_t bits) { return {BigFloat(bits), BigFloat(bits)}; }

} // namespace

double radiusLog2(const std::string& radius)
{
    const BigFloat r = readDecimal(radius);
    long e = 0;
    const double m = mpfr_get_d_2exp(&e, r.get(), MPFR_RNDN);
    return std::log2(m) + static_cast<double>(e);
}

std::int32_t deepAutoIters(const std::string& radius)
{
    const double digits = std::floor(-radiusLog2(radius) * std::log10(2.0));
    return static_cast<std::int32_t>(std::clamp(1000.0 * digits, 1000.0, 10'000'000.0));
}

struct DeepFrame::Track {
    const ReferenceOrbit* orbit;
    const BlaTable* table;
    std::size_t m;
    std::int32_t n;
    // For a lane: goes back to one at the top of a pass that a lane takes
    // the same way, after kPlainPassesForLane such passes in a row.
    bool fromLane = false;
    // Where asked for, the derivative of z, carried along.
    CxExp* derivative = nullptr;
    // How far z may have strayed from the true orbit (stray.h), squared.
    double stray = 0.0;
};

void DeepFrame::readView()
{
    const DeepView& view = params_.deepView();
    radius_ = toExtended(readDecimal(view.radius));
    centre_ = {mpfr_get_d(readDecimal(view.re).get(), MPFR_RNDN), mpfr_get_d(readDecimal(view.im).get(), MPFR_RNDN)};
}

DeepFrame::DeepFrame(const FrameSpec& p, Unbuilt) : params_(p), power_(integerPower(p.func)), bits_(0) { readView(); }

DeepFrame::DeepFrame(const FrameSpec& p, const BuildControl& control, bool anySize)
    : params_(p), power_(integerPower(p.func)), anySize_(anySize)
{
    readView();
    bits_ = startingBits(p);
    // Most orbits need no more; one that passes near the critical point
    // asks for more, at once, and is computed again: at most what one pass
    // there needs, the power times as many digits.
    mostBits_ = power_ * bits_;
    for (;;) {
        const mpfr_prec_t needed = buildAt(control);
        if (needed == 0 || stopped_)
            return;
        bits_ = std::min(needed + 32, mostBits_);
        if (control.points != nullptr)
            control.points->store(0);
    }
}

mpfr_prec_t DeepFrame::buildAt(const BuildControl& control)
{
    const FrameSpec& p = params_;
    const DeepView& view = p.deepView();
    const BigComplex centre{readDecimal(view.re, bits_), readDecimal(view.im, bits_)};
    BigComplex start = zero(bits_);
    mpfr_set(start.re.get(), centre.re.get(), MPFR_RNDN);
    mpfr_set(start.im.get(), centre.im.get(), MPFR_RNDN);
    // The centre as typed may hold more digits than the orbit needs; the
    // rest is part of every pixel's delta, taken exactly.
    const mpfr_prec_t wide = std::max({mpfr_get_prec(centre.re.get()), mpfr_get_prec(centre.im.get()), bits_});
    BigComplex rest = zero(wide);
    mpfr_sub(rest.re.get(), centre.re.get(), start.re.get(), MPFR_RNDN);
    mpfr_sub(rest.im.get(), centre.im.get(), start.im.get(), MPFR_RNDN);
    offset_ = toCxExp(rest.re.get(), rest.im.get());

    const auto length = static_cast<std::size_t>(p.maxIters);
    const auto stopped = [&](const std::optional<ReferenceOrbit>& orbit) {
        stopped_ = !orbit || (control.stopRequested && control.stopRequested());
        return stopped_;
    };
    // The centre's orbit may end early where it comes back near 0. The
    // orbit of 0 of a Julia set, where its pixels start over, may not: how
    // fast a pixel moves with the frame there is the pixel's own. It is
    // computed at the precision the centre's orbit needs.
    mpfr_prec_t needed = 0;
    // The precision serves frames of any size; the early end this one's
    // pixels, or a spacing finer than any frame's.
    EarlyEnd early = ownEarlyEnd();
    early.mostBits = mostBits_;
    early.precisionSpacing = CxExp::normalized(radius_.re * 2.0, 0.0, radius_.e - kOrbitSideLog2);
    if (anySize_)
        early.spacing = CxExp::normalized(radius_.re * 2.0, 0.0, radius_.e - kOrbitSideLog2 - 4);
    if (!p.julia()) {
        std::optional<ReferenceOrbit> orbit = computeOrbit(zero(bits_), start, power_, length, bits_, &early, control);
        if (stopped(orbit) || needed != 0)
            return needed;
        orbit_ = std::move(*orbit);
        buildTables();
        return 0;
    }
    const BigComplex c{readDecimal(p.c.reText, bits_), readDecimal(p.c.imText, bits_)};
    early.wrtConstant = false;
    early.neededBits = &needed;
    std::optional<ReferenceOrbit> orbit = computeOrbit(start, c, power_, length, bits_, &early, control);
    if (stopped(orbit) || needed != 0)
        return needed;
    orbit_ = std::move(*orbit);
    orbit = computeOrbit(zero(bits_), c, power_, length, bits_, nullptr, control);
    if (stopped(orbit))
        return 0;
    critical_ = std::move(*orbit);
    buildTables();
    return 0;
}

mpfr_prec_t DeepFrame::startingBits(const FrameSpec& p)
{
    const double depthBits = std::ceil(std::max(0.0, -radiusLog2(p.deepView().radius)));
    return static_cast<mpfr_prec_t>(depthBits + kOrbitSideLog2 + 64.0);
}

EarlyEnd DeepFrame::ownEarlyEnd() const
{
    return {CxExp::normalized(radius_.re * 2.0 / params_.height, 0.0, radius_.e), !params_.julia()};
}

void DeepFrame::endEarly()
{
    const std::size_t keep = earlyLength(orbit_, power_, ownEarlyEnd());
    orbit_.z.resize(keep);
    orbit_.zx.resize(keep);
    orbit_.excess.resize(keep);
    orbit_.rest.resize(keep);
}

DeepFrame::TableBounds DeepFrame::tableBounds() const
{
    if (params_.julia())
        return {};
    // The largest |dc| of the frame: at a corner.
    const double aspect = static_cast<double>(params_.width) / params_.height;
    const double corner = std::sqrt(aspect * aspect + 1.0);
    return {std::sqrt(norm(offset_.toCx())) + radius_.toCx().re * corner,
            CxExp::normalized(std::sqrt(norm(Cx{offset_.re, offset_.im})), 0.0, offset_.e) +
                CxExp::normalized(radius_.re * corner, 0.0, radius_.e)};
}

void DeepFrame::buildTables()
{
    if (power_ != 2)
        return;
    if (!params_.julia()) {
        const TableBounds bounds = tableBounds();
        table_ = BlaTable(orbit_, bounds.dcMax, true, bounds.extended, kLeastStepForLanes);
    } else {
        table_ = BlaTable(orbit_, 0.0, false, {}, kLeastStepForLanes);
        criticalTable_ = BlaTable(critical_, 0.0, false, {}, kLeastStepForLanes);
    }
    buildLanes();
}

void DeepFrame::buildLanes()
{
    if (!hasLanes())
        return;
    if (!params_.julia()) {
        lanes_ = ::laneTables({orbit_, table_.laneRadii2()});
        return;
    }
    const LaneOrbit critical{critical_, criticalTable_.laneRadii2()};
    lanes_ = ::laneTables({orbit_, table_.laneRadii2()}, &critical);
}

namespace {

// The first `length` points of an orbit, at most.
ReferenceOrbit firstPoints(const ReferenceOrbit& o, std::size_t length)
{
    const auto end = static_cast<std::ptrdiff_t>(std::min(length, o.size()));
    return {std::vector<Cx>(o.z.begin(), o.z.begin() + end), std::vector<CxExp>(o.zx.begin(), o.zx.begin() + end),
            std::vector<double>(o.excess.begin(), o.excess.begin() + end),
            std::vector<Cx>(o.rest.begin(), o.rest.begin() + end)};
}

} // namespace

DeepFrame::DeepFrame(const FrameSpec& p, const DeepFrame& deeper)
    : params_(p), power_(deeper.power_), bits_(deeper.bits_), mostBits_(deeper.mostBits_), offset_(deeper.offset_),
      orbit_(firstPoints(deeper.orbit_, static_cast<std::size_t>(p.maxIters))),
      critical_(firstPoints(deeper.critical_, static_cast<std::size_t>(p.maxIters)))
{
    readView();
    buildTables();
}

std::unique_ptr<const DeepFrame> DeepFrame::alongside(const FrameSpec& frame, const DeepFrame& deeper)
{
    const FrameSpec& d = deeper.params_;
    if (!frame.deep() || deeper.stopped_ || frame.deepView().re != d.deepView().re ||
        frame.deepView().im != d.deepView().im || frame.FuncSwitch != d.FuncSwitch || !(frame.func == d.func) ||
        (frame.julia() && (frame.c.reText != d.c.reText || frame.c.imText != d.c.imText)) ||
        frame.maxIters > d.maxIters || radiusLog2(frame.deepView().radius) < radiusLog2(d.deepView().radius))
        return nullptr;
    return std::unique_ptr<const DeepFrame>(new DeepFrame(frame, deeper));
}

std::unique_ptr<const DeepFrame> DeepFrame::buildForAnySize(const FrameSpec& frame, const BuildControl& control)
{
    std::unique_ptr<const DeepFrame> built(new DeepFrame(frame, control, true));
    if (built->stopped_ || (control.stopRequested && control.stopRequested()))
        return nullptr;
    return built;
}

std::unique_ptr<const DeepFrame> DeepFrame::build(const FrameSpec& frame, const BuildControl& control)
{
    std::unique_ptr<const DeepFrame> built(new DeepFrame(frame, control));
    if (built->stopped_ || (control.stopRequested && control.stopRequested()))
        return nullptr;
    return built;
}

std::size_t DeepFrame::referenceIterations() const
{
    return orbit_.size() - 1 + (critical_.size() > 0 ? critical_.size() - 1 : 0);
}

// Iterates in the arithmetic D until the pixel is done (Done, its count in
// t.n), its delta leaves D's range (OutOfRange) or, for a pixel from a lane,
// a lane may take it on (ForLane: at the top of pass t.n, rebased, with no
// bilinear step from there). On entry point t.n has been tested and has not
// escaped, and t.n < maxIters.
template <class D>
DeepFrame::Outcome DeepFrame::iterate(Track& t, D& delta, const D& dc, DeepCounters& counters) const
{
    for (;;) {
        const Outcome outcome =
            t.derivative ? passes<D, true>(t, delta, dc, counters) : passes<D, false>(t, delta, dc, counters);
        if (outcome != Outcome::NearFour)
            return outcome;
        if (escapesNearFour(*t.orbit, t.m, delta))
            return Outcome::Done;
    }
}

// iterate()'s passes, up to a point within rounding of the escape radius
// (NearFour, undecided).
template <class D, bool Derive>
DeepFrame::Outcome DeepFrame::passes(Track& t, D& delta, const D& dc, DeepCounters& counters) const
{
    const std::int32_t maxIters = params_.maxIters;
    const ReferenceOrbit& base = params_.julia() ? critical_ : orbit_;
    const BlaTable& baseTable = params_.julia() ? criticalTable_ : table_;
    // Locals, not the caller's fields, so that they stay in registers.
    const ReferenceOrbit* orbit = t.orbit;
    const BlaTable* table = t.table;
    std::size_t m = t.m;
    std::int32_t n = t.n;
    D dz = delta;
    D Z = point<D>(*orbit, m);
    D z = Z + dz;
    // In doubles only: below them the pixel keeps so close to the orbit that
    // its delta's roundings stay relative to it (finish()).
    double strayed = t.stray;
    const double dcNorm = normOf(dc);
    Outcome outcome = Outcome::OutOfRange;
    int plain = 0;  // passes in a row without a bilinear step
    for (;;) {
        // Closer to 0 than to the orbit point, or at the orbit's end: follow
        // the orbit of 0 from its start, with the whole point as the delta.
        // So too where the orbit point is closer to 0 than the pixel is to
        // it: there the orbit starts over on its own (a copy's nucleus comes
        // back to 0 once a period), and the bilinear steps, which cannot
        // reach across such a point, start over with it from their longest.
        const bool nearZero = closer(z, dz) || (m != 0 && closer(Z, dz));
        if (__builtin_expect(nearZero || m + 1 == orbit->size(), 0)) {
            counters.rebased += nearZero ? 1 : 0;
            if constexpr (std::is_same_v<D, Cx>)
                strayed = stray::rebased(strayed, norm(z), norm(Z));
            orbit = &base;
            table = &baseTable;
            m = 0;
            dz = z;
        }
        if (outOfRange(dz))
            break;
        std::int64_t len = 1;
        if (const BlaStep* s = table->lookup(m, blaSize(dz), blaDelta<Derive>(dz), maxIters - n, &len)) {
            // The step is linear in dz and dc: so is the derivative's.
            if constexpr (Derive)
                *t.derivative = mulAdd(CxExp::from(s->A), *t.derivative,
                                       params_.julia() ? CxExp{} : CxExp::from(s->B));
            if constexpr (std::is_same_v<D, Cx>)
                strayed = stray::stepped(strayed, norm(s->A), norm(dz), norm(s->B), dcNorm);
            dz = s->A * dz + s->B * dc;
            counters.approximated += static_cast<std::uint64_t>(len);
            plain = 0;
        } else {
            if (std::is_same_v<D, Cx> && t.fromLane && ++plain > kPlainPassesForLane) {
                outcome = Outcome::ForLane;
                break;
            }
            len = 1;
            if constexpr (Derive)
                *t.derivative = derivativeStep(power_, toDoubles(z), *t.derivative, params_.julia());
            if constexpr (std::is_same_v<D, Cx>)
                strayed = stray::passed(power_, strayed, norm(z), norm(dz), dcNorm);
            dz = perturbedStep(power_, point<D>(*orbit, m), dz, dc);
            keepInRange(dz);
        }
        m += static_cast<std::size_t>(len);
        n += static_cast<std::int32_t>(len);
        if (n == maxIters) {
            outcome = Outcome::Done;
            break;
        }
        Z = point<D>(*orbit, m);
        z = Z + dz;
        // Escaped, or within rounding of the radius: iterate() decides that,
        // outside this loop, which then calls nothing.
        if (const double n = norm(toDoubles(z)); n >= kFourBelow) {
            outcome = n > kFourAbove ? Outcome::Done : Outcome::NearFour;
            break;
        }
    }
    t.orbit = orbit;
    t.table = table;
    t.m = m;
    t.n = n;
    t.stray = strayed;
    delta = dz;
    return outcome;
}

CxExp DeepFrame::pixelDelta(int col, int row) const
{
    const double w = params_.width, h = params_.height;
    return CxExp::normalized(radius_.re * (2.0 * col - w) / h, radius_.re * (h - 2.0 * row) / h, radius_.e) +
           offset_;
}

// Below the normal doubles the constant term cannot move a delta that
// doubles hold (at least 2^-450).
Cx DeepFrame::inDoubles(const CxExp& dc) { return dc.e >= -1000 ? dc.toCx() : Cx{}; }

std::int32_t DeepFrame::count(int col, int row, DeepCounters& counters, EscapePoint* escape) const
{
    return countFrom(col, row, counters, escape, nullptr);
}

std::int32_t DeepFrame::countToLane(int col, int row, LanePoint& at, Cx& dc, DeepCounters& counters,
                                    EscapePoint* escape) const
{
    const std::int32_t n = countFrom(col, row, counters, escape, &at);
    if (n == kForLane)
        dc = params_.julia() ? Cx{} : inDoubles(pixelDelta(col, row));
    return n;
}

std::int32_t DeepFrame::countFrom(int col, int row, DeepCounters& counters, EscapePoint* escape,
                                  LanePoint* forLane) const
{
    const CxExp pixel = pixelDelta(col, row);
    Track t{&orbit_, &table_, 0, 0, forLane != nullptr};
    if (escape && escape->derive) {
        escape->dz = params_.julia() ? CxExp{1.0, 0.0, 0} : CxExp{};
        t.derivative = &escape->dz;
    }
    CxExp dz, dc;
    if (params_.julia()) {
        dz = pixel;
        t.stray = 4.0 * stray::kUnit2 * normOf(pixel);  // the start's rounding
        if (escapes(orbit_, 0, orbit_.zx[0] + pixel, pixel)) {
            if (escape) {
                escape->n = 0;
                escape->z = orbit_.z[0] + pixel.toCx();
            }
            return 0;
        }
    } else {
        dc = pixel;
    }
    Cx d;
    const std::int32_t n = finish(t, dz, d, dc, false, counters, escape);
    if (n == kForLane) {
        *forLane = {t.m + (t.orbit == &critical_ ? static_cast<std::size_t>(lanes_.restart) : 0), t.n, d, t.stray};
        return n;
    }
    return stray::strayed(t.stray) ? recount(col, row, counters, escape) : n;
}

EscapeValue DeepFrame::values(int col, int row, std::int32_t count, const EscapePoint& escape) const
{
    const Cx c = params_.julia() ? Cx{params_.c.re, params_.c.im} : centre_ + pixelDelta(col, row).toCx();
    if (!escape.derive)
        return {escapeFraction(power_, count, escape.n, escape.z.re, escape.z.im, c.re, c.im), 0.0f};
    // A pixel is 2 R / H.
    const double pixelLog2 =
        std::log2(radius_.re) + static_cast<double>(radius_.e) + 1.0 - std::log2(static_cast<double>(params_.height));
    return escapeValue(power_, count, escape.n, escape.z.re, escape.z.im, c.re, c.im,
                       {escape.dz, params_.julia(), pixelLog2});
}

std::int32_t DeepFrame::finish(Track& t, CxExp dz, Cx& d, const CxExp& dc, bool doubles, DeepCounters& counters,
                               EscapePoint* escape) const
{
    const Cx dcDoubles = inDoubles(dc);
    bool extended = false;  // the last passes were taken with an extended exponent
    for (;;) {
        if (!doubles) {
            if (iterate(t, dz, dc, counters) == Outcome::Done) {
                extended = true;
                break;
            }
            d = dz.toCx();
            // What the passes below doubles rounded, each about 2^-53 of the
            // delta, which grew with it.
            t.stray = std::max(t.stray, 16.0 * stray::kUnit2 * t.n * norm(d));
        }
        doubles = false;
        const Outcome outcome = iterate(t, d, dcDoubles, counters);
        if (outcome == Outcome::Done)
            break;
        if (outcome == Outcome::ForLane)
            return kForLane;
        dz = CxExp::from(d);
    }
    if (escape && t.n < params_.maxIters) {
        escape->n = t.n;
        escape->z = t.orbit->z[t.m] + (extended ? dz.toCx() : d);
    }
    counters.iterations += static_cast<std::uint64_t>(t.n);
    if (t.n <= 1)
        return 0;
    return t.n;
}

bool DeepFrame::hasLanes() const
{
    return power_ == 2 && params_.maxIters >= 2 && orbit_.size() >= 2 &&
           (!params_.julia() || critical_.size() >= 2);
}

bool DeepFrame::laneStart(int col, int row, LanePoint& at, Cx& dc) const
{
    const CxExp pixel = pixelDelta(col, row);
    // count() stays with the extended exponent while the delta is below 2^-400.
    if (pixel.isZero() || pixel.e < kExtendedCeiling)
        return false;
    if (!params_.julia()) {
        dc = pixel.toCx();
        at = {1, 1, dc, 16.0 * stray::kUnit2 * norm(dc)};  // as finish() leaves its first pass
        return norm(orbit_.z[1] + dc) < kFourBelow;
    }
    dc = {};
    at = {0, 0, pixel.toCx(), 4.0 * stray::kUnit2 * normOf(pixel)};
    return norm(orbit_.z[0] + at.dz) < kFourBelow && !closer(orbit_.zx[0] + pixel, pixel);
}

std::int32_t DeepFrame::resume(int col, int row, LanePoint& at, DeepCounters& counters, bool undecided,
                              EscapePoint* escape, bool deferStrayed) const
{
    const auto recounted = [&] { return deferStrayed ? kStrayed : recount(col, row, counters, escape); };
    // A Julia pixel's points from lanes_.restart on are its orbit of 0's.
    const auto restart = static_cast<std::size_t>(lanes_.restart);
    const bool critical = params_.julia() && at.m >= restart;
    Track t{critical ? &critical_ : &orbit_, critical ? &criticalTable_ : &table_, critical ? at.m - restart : at.m,
            at.n, true};
    t.stray = at.stray;
    if (undecided && escapesNearFour(*t.orbit, t.m, at.dz)) {
        if (escape) {
            escape->n = at.n;
            escape->z = t.orbit->z[t.m] + at.dz;
        }
        counters.iterations += static_cast<std::uint64_t>(at.n);
        if (stray::strayed(at.stray))
            return recounted();
        return at.n <= 1 ? 0 : at.n;
    }
    const CxExp dc = params_.julia() ? CxExp{} : pixelDelta(col, row);
    const std::int32_t count = finish(t, CxExp{}, at.dz, dc, true, counters, escape);
    at.m = t.m + (t.orbit == &critical_ ? restart : 0);
    at.n = t.n;
    at.stray = t.stray;
    if (count != kForLane && stray::strayed(t.stray))
        return recounted();
    return count;
}
