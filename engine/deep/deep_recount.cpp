// Pixels whose orbit in doubles may have strayed (stray.h), counted again:
// perturbed in double-double against the same reference orbits, from the
// pixel's exact place, or where that cannot serve, with every pass in MPFR.
#include <cmath>
#include <optional>

#include "engine/deep/complex_math.h"
#include "engine/deep/deep_frame.h"
#include "engine/deep/double_double.h"
#include "engine/deep/stray.h"

namespace {

using stray::kDdFloor;
using stray::kDdUnit2;

Dd ddOf(mpfr_srcptr v, mpfr_ptr scratch)
{
    const double hi = mpfr_get_d(v, MPFR_RNDN);
    mpfr_sub_d(scratch, v, hi, MPFR_RNDN);
    return {hi, mpfr_get_d(scratch, MPFR_RNDN)};
}

void setExtended(mpfr_ptr out, double mantissa, std::int64_t e)
{
    mpfr_set_d(out, mantissa, MPFR_RNDN);
    mpfr_mul_2si(out, out, static_cast<long>(e), MPFR_RNDN);
}

double size(const CxDd& a) { return std::fmax(std::fabs(a.re.hi), std::fabs(a.im.hi)); }
double normHi(const CxDd& a) { return a.re.hi * a.re.hi + a.im.hi * a.im.hi; }

} // namespace

bool DeepFrame::recountsInDoubleDouble() const
{
    return power_ == 2 && orbit_.rest.size() == orbit_.size() && critical_.rest.size() == critical_.size() &&
           radius_.e > -800;
}

namespace {

// A pixel's delta from the orbit's start, exactly: k R / H on each axis, and
// the offset of the exact centre from that start.
CxDd exactDelta(const FrameSpec& p, mpfr_prec_t bits, const CxExp& offset_, int col, int row)
{
    const BigFloat radius = readDecimal(p.deepView().radius, bits);
    BigFloat re(bits), im(bits), scratch(bits);
    mpfr_mul_si(re.get(), radius.get(), 2L * col - p.width, MPFR_RNDN);
    mpfr_div_si(re.get(), re.get(), p.height, MPFR_RNDN);
    mpfr_mul_si(im.get(), radius.get(), static_cast<long>(p.height) - 2L * row, MPFR_RNDN);
    mpfr_div_si(im.get(), im.get(), p.height, MPFR_RNDN);
    BigFloat ore(bits), oim(bits);
    setExtended(ore.get(), offset_.re, offset_.e);
    setExtended(oim.get(), offset_.im, offset_.e);
    mpfr_add(ore.get(), ore.get(), re.get(), MPFR_RNDN);
    mpfr_add(oim.get(), oim.get(), im.get(), MPFR_RNDN);
    return {ddOf(ore.get(), scratch.get()), ddOf(oim.get(), scratch.get())};
}

} // namespace

std::int32_t DeepFrame::recount(int col, int row, DeepCounters& counters, EscapePoint* escape,
                               double* estimate) const
{
    ++counters.recounted;
    recounted_.fetch_add(1, std::memory_order_relaxed);
    const FrameSpec& p = params_;
    const bool julia = p.julia();
    const bool derive = escape && escape->derive;
    const auto finished = [&](std::int32_t n, Cx z, const CxExp& derivative) {
        if (escape && n < p.maxIters) {
            escape->n = n;
            escape->z = z;
            escape->dz = derivative;
        }
        return n <= 1 ? 0 : n;
    };
    if (recountsInDoubleDouble()) {
        // Against the reference orbits, from the exact pixel.
        const CxDd delta = exactDelta(p, bits_ + 192, offset_, col, row);
        const ReferenceOrbit* orbit = &orbit_;
        const ReferenceOrbit& base = julia ? critical_ : orbit_;
        const CxDd dc = julia ? CxDd{} : delta;
        CxDd dz = julia ? delta : CxDd{};
        const double dcNorm = normHi(dc);
        double strayed = 4.0 * kDdUnit2 * normHi(dz);
        CxExp derivative = julia ? CxExp{1.0, 0.0, 0} : CxExp{};
        std::size_t m = 0;
        std::optional<std::int32_t> count;
        Cx escapedAt;
        for (std::int32_t n = 0;; ++n) {
            const CxDd Z{{orbit->z[m].re, orbit->rest[m].re}, {orbit->z[m].im, orbit->rest[m].im}};
            // The tests take z in doubles, far from where they could tell
            // otherwise; z in full only where it is needed.
            const Cx near{Z.re.hi + dz.re.hi, Z.im.hi + dz.im.hi};
            const double nz = norm(near);
            if (nz >= kFourBelow) {
                // Near 4 or beyond: the norm in double-double, and where even
                // that cannot tell, MPFR.
                const CxDd z = Z + dz;
                const Dd exact = z.re * z.re + z.im * z.im - Dd{4.0, 0.0};
                if (std::fabs(exact.hi) < 0x1p-90)
                    break;
                if (exact.hi > 0.0) {
                    count = n;
                    escapedAt = {z.re.hi, z.im.hi};
                    break;
                }
            }
            if (n == p.maxIters) {
                count = n;
                break;
            }
            const double ndz = normHi(dz);
            if (nz < ndz || (m != 0 && normHi(Z) < ndz) || m + 1 == orbit->size()) {
                strayed += 4.0 * kDdUnit2 * (nz + normHi(Z));
                orbit = &base;
                m = 0;
                dz = Z + dz;
            }
            if ((dz.re.hi != 0.0 || dz.im.hi != 0.0) && size(dz) < kDdFloor)
                break;
            if (derive)
                derivative = derivativeStep(2, near, derivative, julia);
            strayed = 4.0 * nz * (strayed + 16.0 * kDdUnit2 * normHi(dz)) + 4.0 * kDdUnit2 * dcNorm;
            const CxDd Zm{{orbit->z[m].re, orbit->rest[m].re}, {orbit->z[m].im, orbit->rest[m].im}};
            dz = perturbedPass(Zm, dz, dc);
            ++m;
        }
        if (estimate != nullptr)
            *estimate = strayed;
        if (count && !stray::strayed(strayed))
            return finished(*count, escapedAt, derivative);
    }

    // Every pass in MPFR, at the orbit's precision and more, from the
    // pixel's place: the centre plus k R / H on each axis.
    ++counters.recountedInMpfr;
    const mpfr_prec_t bits = bits_ + 192;
    const BigFloat radius = readDecimal(p.deepView().radius, bits);
    BigFloat dre(bits), dim(bits);
    mpfr_mul_si(dre.get(), radius.get(), 2L * col - p.width, MPFR_RNDN);
    mpfr_div_si(dre.get(), dre.get(), p.height, MPFR_RNDN);
    mpfr_mul_si(dim.get(), radius.get(), static_cast<long>(p.height) - 2L * row, MPFR_RNDN);
    mpfr_div_si(dim.get(), dim.get(), p.height, MPFR_RNDN);
    BigFloat zr(bits), zi(bits), cr(bits), ci(bits);
    const BigFloat centreRe = readDecimal(p.deepView().re, bits), centreIm = readDecimal(p.deepView().im, bits);
    mpfr_add(dre.get(), dre.get(), centreRe.get(), MPFR_RNDN);
    mpfr_add(dim.get(), dim.get(), centreIm.get(), MPFR_RNDN);
    if (julia) {
        mpfr_set(zr.get(), dre.get(), MPFR_RNDN);
        mpfr_set(zi.get(), dim.get(), MPFR_RNDN);
        // Named: mpfr_set is a macro that would outlive a temporary.
        const BigFloat re = readDecimal(p.c.reText, bits), im = readDecimal(p.c.imText, bits);
        mpfr_set(cr.get(), re.get(), MPFR_RNDN);
        mpfr_set(ci.get(), im.get(), MPFR_RNDN);
    } else {
        mpfr_set(cr.get(), dre.get(), MPFR_RNDN);
        mpfr_set(ci.get(), dim.get(), MPFR_RNDN);
    }
    ComplexMath math(bits);
    CxExp derivative = julia ? CxExp{1.0, 0.0, 0} : CxExp{};
    for (std::int32_t n = 0;; ++n) {
        const Cx z{mpfr_get_d(zr.get(), MPFR_RNDN), mpfr_get_d(zi.get(), MPFR_RNDN)};
        bool escaped = false;
        math.excess(zr.get(), zi.get(), z, &escaped);
        if (escaped)
            return finished(n, z, derivative);
        if (n == p.maxIters)
            return finished(n, {}, derivative);
        if (derive)
            derivative = derivativeStep(power_, z, derivative, julia);
        math.power(zr.get(), zi.get(), power_);
        mpfr_add(zr.get(), zr.get(), cr.get(), MPFR_RNDN);
        mpfr_add(zi.get(), zi.get(), ci.get(), MPFR_RNDN);
    }
}

void DeepFrame::recountMany(RecountKernel kernel, const RecountPixel* pixels, std::size_t count, Recounted* out,
                            DeepCounters& counters) const
{
    const auto oneByOne = [&](std::size_t i) {
        out[i].escape.n = -1;
        out[i].count = recount(pixels[i].col, pixels[i].row, counters, &out[i].escape, &out[i].estimate);
    };
    if (kernel.step == nullptr || !recountsInDoubleDouble()) {
        for (std::size_t i = 0; i < count; ++i)
            oneByOne(i);
        return;
    }
    const bool julia = params_.julia();
    const ReferenceOrbit& base = julia ? critical_ : orbit_;
    const RecountOrbits orbits{{&orbit_.z[0].re, &base.z[0].re},
                               {&orbit_.rest[0].re, &base.rest[0].re},
                               {static_cast<std::int64_t>(orbit_.size()), static_cast<std::int64_t>(base.size())},
                               julia ? 1 : 0,
                               params_.maxIters};
    RecountLaneState s{};
    std::size_t pixel[kRecountLanes] = {};
    std::size_t next = 0;
    int busy = 0;
    const auto fill = [&] {
        for (int lane = 0; lane < kernel.lanes && next < count; ++lane) {
            if (s.busy[lane] != 0)
                continue;
            const CxDd delta = exactDelta(params_, bits_ + 192, offset_, pixels[next].col, pixels[next].row);
            const CxDd dz = julia ? delta : CxDd{}, dc = julia ? CxDd{} : delta;
            s.dzrHi[lane] = dz.re.hi;
            s.dzrLo[lane] = dz.re.lo;
            s.dziHi[lane] = dz.im.hi;
            s.dziLo[lane] = dz.im.lo;
            s.dcrHi[lane] = dc.re.hi;
            s.dcrLo[lane] = dc.re.lo;
            s.dciHi[lane] = dc.im.hi;
            s.dciLo[lane] = dc.im.lo;
            s.stray[lane] = 4.0 * kDdUnit2 * normHi(dz);
            s.dcStray[lane] = 4.0 * kDdUnit2 * normHi(dc);
            s.m[lane] = s.n[lane] = s.orbit[lane] = 0;
            s.busy[lane] = -1;
            pixel[lane] = next++;
            ++busy;
        }
    };
    const auto idle = [&](int lane) {
        s.dzrHi[lane] = s.dzrLo[lane] = s.dziHi[lane] = s.dziLo[lane] = 0.0;
        s.dcrHi[lane] = s.dcrLo[lane] = s.dciHi[lane] = s.dciLo[lane] = 0.0;
        s.stray[lane] = s.dcStray[lane] = 0.0;
        s.m[lane] = s.n[lane] = s.orbit[lane] = s.busy[lane] = 0;
        --busy;
    };
    fill();
    while (busy > 0) {  // which fill() and idle() change
        const RecountEvents events = kernel.step(s, orbits);
        for (unsigned lanes = events.givenUp; lanes != 0; lanes &= lanes - 1) {
            const int lane = __builtin_ctz(lanes);
            oneByOne(pixel[lane]);
            idle(lane);
        }
        for (unsigned lanes = events.finished; lanes != 0; lanes &= lanes - 1) {
            const int lane = __builtin_ctz(lanes);
            const std::size_t i = pixel[lane];
            if (stray::strayed(s.stray[lane])) {
                oneByOne(i);  // which goes on to MPFR
            } else {
                ++counters.recounted;
                recounted_.fetch_add(1, std::memory_order_relaxed);
                const auto n = static_cast<std::int32_t>(s.n[lane]);
                out[i].escape.n = -1;
                if (n < params_.maxIters) {
                    // As recount() has it: z = Z + dz in full.
                    const ReferenceOrbit& o = s.orbit[lane] != 0 ? base : orbit_;
                    const auto m = static_cast<std::size_t>(s.m[lane]);
                    const CxDd Z{{o.z[m].re, o.rest[m].re}, {o.z[m].im, o.rest[m].im}};
                    const CxDd dz{{s.dzrHi[lane], s.dzrLo[lane]}, {s.dziHi[lane], s.dziLo[lane]}};
                    const CxDd z = Z + dz;
                    out[i].escape.n = n;
                    out[i].escape.z = {z.re.hi, z.im.hi};
                }
                out[i].count = n <= 1 ? 0 : n;
                out[i].estimate = s.stray[lane];
            }
            idle(lane);
        }
        fill();
    }
}
