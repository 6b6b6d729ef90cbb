#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "engine/deep/bla_table.h"
#include "engine/deep/complex_exp.h"
#include "engine/deep/decimal.h"
#include "engine/deep/deep_frame.h"
#include "engine/deep/deep_lanes.h"
#include "engine/deep/lane_tables.h"
#include "engine/deep/stray.h"
#include "engine/escape_time.h"
#include "engine/view.h"
#include "tests/support/deep_reference.h"

namespace {

// How the deep counts of a frame compare with a reference: exact matches,
// and the pixel furthest off, as a share of the reference's count.
struct Agreement {
    int exact = 0, total = 0;
    double worstShare = 0.0;
    std::string worst;
    std::set<std::int32_t> counts;  // the distinct deep counts
    DeepCounters counters;
};

// Hands a frame's pixels over in row order, a few at a time, so that lanes
// are refilled while others are busy.
class AllPixels final : public EscapeFeeder {
public:
    explicit AllPixels(const FrameSpec& p) : p_(p) {}

    bool refill(EscapeRun& run) override
    {
        for (int added = 0; added < 37 && next_ < p_.width * p_.height; ++added, ++next_)
            run.addPixel({next_ % p_.width, next_ / p_.width}, p_.maxIters);
        return true;
    }

private:
    const FrameSpec& p_;
    int next_ = 0;
};

// Every batched instruction set's lanes give every pixel count()'s count and
// passes: the lanes follow its arithmetic step for step.
void expectLanesAgree(const DeepFrame& frame)
{
    const FrameSpec& p = frame.params();
    for (const EscapeIsa isa : batchedIsas()) {
        const DeepLaneKernel kernel = deepLaneKernel(frame, isa);
        if (kernel.step == nullptr)
            continue;
        SCOPED_TRACE(isaName(isa));
        EscapeRun run;
        AllPixels feeder(p);
        DeepCounters lanes;
        runDeepLanes(frame, kernel, run, feeder, lanes);
        ASSERT_EQ(run.size(), static_cast<std::size_t>(p.width * p.height));
        int differ = 0;
        std::string first;
        DeepCounters scalar;
        for (int i = 0; i < p.width * p.height; ++i) {
            const std::uint64_t before = scalar.iterations;
            const std::int32_t want = frame.count(i % p.width, i / p.width, scalar);
            const Escape& got = run.result(static_cast<std::size_t>(i));
            if (got.count == want && static_cast<std::uint64_t>(got.passes) == scalar.iterations - before)
                continue;
            if (differ++ == 0)
                first = "pixel " + std::to_string(i) + ": lanes " + std::to_string(got.count) + " in " +
                        std::to_string(got.passes) + " passes, count() " + std::to_string(want);
        }
        EXPECT_EQ(differ, 0) << first;
        EXPECT_EQ(lanes.iterations, scalar.iterations);
        EXPECT_EQ(lanes.approximated, scalar.approximated);
        // They start over where count() does, one pixel's start-overs
        // among them before lanes take it on.
        EXPECT_EQ(lanes.rebased, scalar.rebased);
        // The lanes carry count()'s estimate of straying: they recount the
        // same pixels.
        EXPECT_EQ(lanes.recounted, scalar.recounted);
    }
}

template <class Reference>
Agreement compare(const FrameSpec& p, Reference reference)
{
    const DeepFrame frame(p);
    expectLanesAgree(frame);
    Agreement a;
    for (int row = 0; row < p.height; ++row) {
        for (int col = 0; col < p.width; ++col) {
            const std::int32_t deep = frame.count(col, row, a.counters);
            const std::int32_t want = reference(col, row);
            a.counts.insert(deep);
            ++a.total;
            if (deep == want) {
                ++a.exact;
                continue;
            }
            const double share = std::abs(deep - want) / std::max(1.0, static_cast<double>(want));
            if (share >= a.worstShare) {
                a.worstShare = share;
                std::ostringstream s;
                s << "pixel (" << col << ", " << row << "): deep " << deep << ", reference " << want;
                a.worst = s.str();
            }
        }
    }
    return a;
}

Agreement compareWithMpfr(const FrameSpec& p)
{
    return compare(p, [&](int col, int row) { return bruteForceCount(p, col, row); });
}

// At least 99.9% of the pixels exact, and none off by more than 1% of an
// exact reference's count. A frame of a single count would prove little.
void expectAgreement(const Agreement& a, bool exactReference = true)
{
    EXPECT_GE(a.exact * 1000, a.total * 999) << a.total - a.exact << " of " << a.total
                                             << " pixels differ; the worst: " << a.worst;
    if (exactReference) {
        EXPECT_LE(a.worstShare, 0.01) << a.worst;
    }
    EXPECT_GT(a.counts.size(), 1u) << "the frame has one count throughout";
}

// A frame of radius 10^-digits around the copy nucleusNearI(k), its centre
// moved by `shift` radii along (1, 0.7).
FrameSpec aroundCopy(int k, int digits, double shift, int size, std::int32_t maxIters)
{
    const Nucleus copy = nucleusNearI(k);
    EXPECT_GT(copy.period, 0) << "no copy found for k = " << k;
    FrameSpec p = deepFrame();
    deepOf(p).radius = "1e-" + std::to_string(digits);
    const int places = digits + 30;
    deepOf(p).re = shift == 0.0 ? copy.re : offsetDecimal(copy.re, shift, -digits, places);
    deepOf(p).im = shift == 0.0 ? copy.im : offsetDecimal(copy.im, 0.7 * shift, -digits, places);
    p.width = p.height = size;
    p.maxIters = maxIters;
    return p;
}

int whichFuncOf(int power) { return power == 2 ? 1 : power == 3 ? 2 : power == 5 ? 3 : 4; }

} // namespace

TEST(DeepFrame, CountsEqualEscapeTimeWhereDoublesSuffice)
{
    // The same points as the explorer's frame rule at a shallow depth, for
    // every power and both sets; doubles tell these pixels apart.
    const std::int16_t saved = whichFunc;
    for (const bool julia : {false, true}) {
        for (const int power : {2, 3, 5, 10}) {
            FrameSpec p = deepFrame();
            p.FuncSwitch = julia ? kJulia : kMandelbrot;
            p.func = powerFunc(power);
            p.c.reText = "-0.1";
            p.c.imText = "0.5";
            // Few passes: over hundreds, pixels this near the boundary
            // depend on every rounding, and doubles do not settle them.
            p.maxIters = 150;
            std::tie(deepOf(p).re, deepOf(p).im) = levelCurvePoint(p, 0.3 * power + (julia ? 0.2 : 0.0), 15);
            deepOf(p).radius = "0.001";
            p.width = p.height = 32;
            whichFunc = static_cast<std::int16_t>(whichFuncOf(power));
            const double cre = std::stod(deepOf(p).re), cim = std::stod(deepOf(p).im), r = 0.001;
            const Agreement a = compare(p, [&](int col, int row) {
                const double point[2] = {cre - r + col * (2 * r / p.width), cim + r - row * (2 * r / p.width)};
                const double zero[2] = {0.0, 0.0}, c[2] = {-0.1, 0.5};
                return julia ? EscapeTime(point, c, p.maxIters).count : EscapeTime(zero, point, p.maxIters).count;
            });
            SCOPED_TRACE(std::string(julia ? "Julia" : "Mandelbrot") + " z^" + std::to_string(power));
            // EscapeTime rounds every pass to doubles, so near the boundary
            // it is itself off now and then: only the share of exact pixels
            // is held against it.
            expectAgreement(a, false);
        }
    }
    whichFunc = saved;
}

// Frames where the lanes carry the pixels for thousands of passes, without
// a bilinear step to hand them back: deltas of 1e-9 around a copy of the set
// whose orbit comes back near 0 once a period, a reference outside the set
// that escapes long before the pixels inside it, which then start over at
// the orbit's end, and a Julia set whose centre is nearer 0 than most of
// its pixels are to it (count() makes no test of the orbit point at the
// centre's start) and whose pixels start over on its orbit of 0.
TEST(DeepFrame, LanesStartOverWhereCountDoes)
{
    FrameSpec outside = deepFrame();
    deepOf(outside).re = "0.3";
    deepOf(outside).radius = "0.1";
    outside.width = outside.height = 32;
    outside.maxIters = 500;
    FrameSpec julia = outside;
    julia.FuncSwitch = kJulia;
    deepOf(julia).re = "0.000001";
    deepOf(julia).radius = "1";
    for (const FrameSpec& p : {aroundCopy(-9, 9, 0.3, 32, 3000), outside, julia}) {
        SCOPED_TRACE("radius " + deepOf(p).radius);
        const DeepFrame frame(p);
        expectLanesAgree(frame);
        DeepCounters counters;
        std::set<std::int32_t> counts;
        for (int i = 0; i < p.width * p.height; ++i)
            counts.insert(frame.count(i % p.width, i / p.width, counters));
        EXPECT_GT(counters.rebased, 0u);
        EXPECT_LT(counters.approximated, counters.iterations / 100);
        EXPECT_TRUE(counts.count(p.maxIters) == 1 && counts.size() > 20) << counts.size() << " counts";
    }
}

// The lane kernels of every instruction set this processor has.
std::vector<std::pair<EscapeIsa, DeepLaneKernel>> laneKernelsHere()
{
    std::vector<std::pair<EscapeIsa, DeepLaneKernel>> kernels;
    for (const EscapeIsa isa : batchedIsas()) {
        if (isa == EscapeIsa::Baseline)
            kernels.emplace_back(isa, baselineDeepLanes());
#if defined(__x86_64__)
        else if (isaAvailable(isa))
            kernels.emplace_back(isa, isa == EscapeIsa::Avx2 ? avx2DeepLanes() : avx512DeepLanes());
#endif
    }
    return kernels;
}

// Lanes at rest with the same pixel in the first `busy` lanes, at point m
// with passes left; the others idle.
DeepLaneState lanesWith(Cx dz, Cx dc, std::int64_t m, std::int64_t left, int busy = 1)
{
    DeepLaneState s{};
    for (int lane = 0; lane < kMostDeepLanes; ++lane) {
        s.left[lane] = INT64_MAX;
        if (lane >= busy)
            continue;
        s.dzr[lane] = dz.re;
        s.dzi[lane] = dz.im;
        s.dcr[lane] = dc.re;
        s.dci[lane] = dc.im;
        s.m[lane] = m;
        s.left[lane] = left;
        s.busy[lane] = -1;
    }
    return s;
}

// Counts alone hardly ever show a missed start-over at shallow depths, so
// one lane's pass by hand: the orbit point (1e-3) is closer to 0 than the
// delta (0.01) though the pixel (0.011) is not, and the lane must start over
// with dz = z before its last pass; it rests after the pass at the top of
// the next, where the same holds again.
TEST(DeepLanes, StartOverWhereTheOrbitPointIsCloserTo0ThanTheDelta)
{
    const double twiceZ[] = {0.0, 0.0, 2e-3, 0.0, 1.0, 0.5, 0.2, 0.2};
    const double radii[] = {0.0, 0.0, 0.0, 0.0};
    const std::uint64_t none[] = {0, 0, 0, 0}, never[] = {~0ull, ~0ull, ~0ull, ~0ull};  // no quiet passes
    const DeepLaneOrbit orbit{twiceZ, radii, none, none, none, none, never, never, 0.0, 0, {3, 3}};
    for (const auto& [isa, kernel] : laneKernelsHere()) {
        SCOPED_TRACE(isaName(isa));
        DeepLaneState s = lanesWith({0.01, 0.0}, {0.02, 0.01}, 1, 1);
        const DeepLaneEvents events = kernel.step(s, orbit);
        EXPECT_EQ(events.done, 1u);
        EXPECT_EQ(s.m[0], 0);
        const double restart = 1e-3 + 0.01;
        EXPECT_EQ(s.dzr[0], 1e-3 + ((2.0 * 0.0 + restart) * restart - (2.0 * 0.0 + 0.0) * 0.0 + 0.02));
        EXPECT_EQ(s.dzi[0], 0.0 + ((2.0 * 0.0 + restart) * 0.0 + (2.0 * 0.0 + 0.0) * restart + 0.01));
    }
}

// A lane tests its passes against the quiet span of the next points
// together, and must not pass over the last of them: an orbit point near 0
// eight points ahead, where the lane starts over, four passes before its
// limit.
TEST(DeepLanes, StartOverAtTheLastPointThatAQuietSpanCovers)
{
    ReferenceOrbit orbit;
    orbit.z.assign(24, Cx{0.25, 0.0});
    orbit.z[0] = {0.0, 0.0};
    orbit.z[1 + kQuietWindow] = {1e-7, 0.0};
    const std::vector<double> radii(orbit.size(), 0.0);
    const LaneTables t = laneTables({orbit, radii});
    const DeepLaneOrbit lanes = laneOrbit(t);
    for (const auto& [isa, kernel] : laneKernelsHere()) {
        SCOPED_TRACE(isaName(isa));
        DeepLaneState s = lanesWith({1e-3, 0.0}, {1e-6, 1e-6}, 1, kQuietWindow + 4);
        const DeepLaneEvents events = kernel.step(s, lanes);
        EXPECT_EQ(events.done, 1u);
        EXPECT_EQ(s.m[0], 4) << "did not start over at point " << 1 + kQuietWindow;
    }
}

namespace {

// One lane's passes as count() takes them, on an orbit with step radii
// but no steps: where it stops (handed back for a step, or at its limit),
// and its estimate of straying, built from stray.h.
struct LaneReplay {
    std::int64_t m;
    double stray;
    bool handedBack;
};

LaneReplay replayLane(const std::vector<Cx>& Z, const std::vector<double>& radii, std::size_t m, Cx dz, Cx dc,
                      int passes)
{
    double s = 0.0;
    for (int n = 0;; ++n) {
        if (n == passes)
            return {static_cast<std::int64_t>(m), s, false};
        const Cx z{Z[m].re + dz.re, Z[m].im + dz.im};
        const double nz = norm(z), nZ = norm(Z[m]);
        if (nz < norm(dz) || (m != 0 && nZ < norm(dz)) || m + 1 == Z.size()) {
            s = stray::rebased(s, nz, nZ);
            dz = z;
            m = 0;
        }
        if (norm(dz) < radii[m])
            return {static_cast<std::int64_t>(m), s, true};
        s = stray::passed(2, s, nz, norm(dz), norm(dc));
        const Cx t{2.0 * Z[m].re + dz.re, 2.0 * Z[m].im + dz.im};
        dz = {t.re * dz.re - t.im * dz.im + dc.re, t.re * dz.im + t.im * dz.re + dc.im};
        ++m;
    }
}

} // namespace

// Starting over in the middle of plain passes, where lanes may take it
// without stopping, as count() does: on the orbit point's distance alone
// from a lane that began at the centre's start, and before a bilinear
// step at the point it starts over at, or at the one after it. The lane
// ends where count() would, with the same estimate of straying, bit for
// bit.
TEST(DeepLanes, StartOverAmidPlainPassesAsCountDoes)
{
    ReferenceOrbit orbit;
    orbit.z.assign(20, Cx{0.25, 0.0});
    orbit.z[0] = {0.0, 0.0};
    orbit.z[3] = {1e-3, 0.0};  // closer to 0 than the delta, the pixel not
    const Cx dc{0.004, 0.0};
    struct Case {
        const char* what;
        std::size_t m;
        Cx dz;
        std::size_t stepAt;  // where a step may start, below radius
        double radius;
        bool handedBack;
        std::int64_t endsAt;
    };
    const Case cases[] = {{"from the centre's start", 0, {0.002, 0.0}, 0, 0.0, false, 2},
                          {"a step where it starts over", 1, {0.004, 0.0}, 0, 1.0, true, 0},
                          {"a step one point on", 2, {0.006016, 0.0}, 1, 3e-5, true, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> radii(orbit.size(), 0.0);
        radii[c.stepAt] = c.radius;
        const LaneReplay want = replayLane(orbit.z, radii, c.m, c.dz, dc, 5);
        ASSERT_EQ(want.handedBack, c.handedBack);
        ASSERT_EQ(want.m, c.endsAt);
        const LaneTables t = laneTables({orbit, radii});
        for (const auto& [isa, kernel] : laneKernelsHere()) {
            SCOPED_TRACE(isaName(isa));
            DeepLaneState s = lanesWith(c.dz, dc, static_cast<std::int64_t>(c.m), 5, 2);
            // A second lane beside it that never starts over, and keeps its
            // own estimate when the first does.
            const Cx other{1e-4, 1e-4};
            s.dzr[1] = other.re;
            s.dzi[1] = other.im;
            s.m[1] = 5;
            const DeepLaneEvents events = kernel.step(s, laneOrbit(t));
            EXPECT_EQ(events.handBack, c.handedBack ? 1u : 0u);
            EXPECT_EQ(events.done, c.handedBack ? 0u : 3u);
            EXPECT_EQ(s.m[0], want.m);
            EXPECT_EQ(s.stray[0], want.stray);
            const LaneReplay beside = replayLane(orbit.z, radii, 5, other, dc, static_cast<int>(5 - s.left[1]));
            EXPECT_EQ(s.m[1], beside.m);
            EXPECT_EQ(s.stray[1], beside.stray);
        }
    }
}

// A lane that starts over again and again, every three passes, takes a
// thousand passes on an orbit of twenty points without stopping: it ends
// where count() would, and neither it nor the idle lanes beside it read
// outside the orbit's tables (as the sanitizers check).
TEST(DeepLanes, StartingOverAgainAndAgainStaysOnTheOrbit)
{
    ReferenceOrbit orbit;
    orbit.z.assign(20, Cx{0.25, 0.0});
    orbit.z[0] = {0.0, 0.0};
    orbit.z[3] = {1e-3, 0.0};
    const Cx dc{0.004, 0.0}, dz{0.002, 0.0};
    const std::vector<double> radii(orbit.size(), 0.0);
    const LaneReplay want = replayLane(orbit.z, radii, 0, dz, dc, 1000);
    ASSERT_FALSE(want.handedBack);
    const LaneTables t = laneTables({orbit, radii});
    for (const auto& [isa, kernel] : laneKernelsHere()) {
        SCOPED_TRACE(isaName(isa));
        DeepLaneState s = lanesWith(dz, dc, 0, 1000);
        DeepLaneEvents events{0, 0};
        for (int calls = 0; events.done == 0 && calls < 2000; ++calls)
            events = kernel.step(s, laneOrbit(t));
        EXPECT_EQ(events.done, 1u);
        EXPECT_EQ(s.m[0], want.m);
        EXPECT_EQ(s.stray[0], want.stray);
    }
}

// A Julia pixel starts on the centre's orbit and starts over on the orbit
// of 0, which follows it in the tables. At the centre's start count() makes
// no test of the orbit point: a lane there stays on the centre's orbit
// however near 0 the centre is.
TEST(DeepLanes, NoOrbitPointTestAtTheCentresStart)
{
    ReferenceOrbit centre, critical;
    centre.z.assign(12, Cx{0.3, 0.1});
    centre.z[0] = {1e-6, 0.0};
    critical.z.assign(12, Cx{0.25, 0.0});
    critical.z[0] = {0.0, 0.0};
    const std::vector<double> radii(12, 0.0);
    const LaneOrbit restart{critical, radii};
    const LaneTables t = laneTables({centre, radii}, &restart);
    ASSERT_EQ(t.restart, 12);
    for (const auto& [isa, kernel] : laneKernelsHere()) {
        SCOPED_TRACE(isaName(isa));
        DeepLaneState s = lanesWith({1e-3, 0.0}, {}, 0, 3);
        const DeepLaneEvents events = kernel.step(s, laneOrbit(t));
        EXPECT_EQ(events.done, 1u);
        EXPECT_EQ(s.m[0], 3) << "started over at the centre's start";
    }
}

// A delta that shrinks pass by pass must go back to count() at the first
// point where a bilinear step may start, however quiet its passes were.
TEST(DeepLanes, HandBackWhereTheDeltaShrinksBelowTheBilinearSteps)
{
    ReferenceOrbit orbit;
    orbit.z.assign(300, Cx{0.45, 0.0});  // each pass takes dz to about 0.9 dz
    orbit.z[0] = {0.0, 0.0};
    const double stepRadius = 1e-20;
    const std::vector<double> radii(orbit.size(), stepRadius);
    const LaneTables t = laneTables({orbit, radii});
    const DeepLaneOrbit lanes = laneOrbit(t);
    std::int64_t first = 1;  // where |dz|^2 first falls below the radius
    for (Cx dz{1e-3, 0.0}; !(norm(dz) < stepRadius); ++first)
        dz = (2.0 * orbit.z[static_cast<std::size_t>(first)] + dz) * dz;
    ASSERT_GT(first, 100);
    for (const auto& [isa, kernel] : laneKernelsHere()) {
        SCOPED_TRACE(isaName(isa));
        // Every lane busy: an idle one would send the others through every
        // test on each pass.
        DeepLaneState s = lanesWith({1e-3, 0.0}, {}, 1, 290, kernel.lanes);
        const DeepLaneEvents events = kernel.step(s, lanes);
        EXPECT_EQ(events.handBack, (1u << kernel.lanes) - 1);
        EXPECT_EQ(s.m[0], first);
        EXPECT_EQ(s.m[kernel.lanes - 1], first);
    }
}

// A quiet pass takes neither of count()'s turns at its point: with |dz|^2
// just below the bound, along Z (towards escaping) and against it (towards
// 0), z stays inside the escape radius and both z and Z farther from 0 than
// dz, for orbit points from near 0 to near the escape radius.
TEST(LaneTables, QuietPassesNeitherEscapeNorStartOver)
{
    // Chosen sizes and angles, and twenty thousand more spread over both,
    // with deltas along Z and against it, turned a little either way: at the
    // bound a delta opposite Z leaves z about as far from 0 as from Z but for
    // the bound's margin, which the norms' roundings must not eat (without
    // it, one such turned delta in three thousand would start over).
    std::vector<std::pair<double, double>> points;
    for (const double size : {1e-100, 1e-9, 0.01, 0.5, 1.0, 1.7, 1.99, 2.0 - 1e-8})
        for (const double angle : {0.0, 0.7, 2.0, -2.9})
            points.emplace_back(size, angle);
    for (int i = 1; i <= 20000; ++i)
        points.emplace_back(std::pow(10.0, -30.0 * std::fmod(i * 0.7548776662, 1.0)) * 1.99,
                            6.283185307 * std::fmod(i * 0.5698402910, 1.0));
    int failures = 0;
    for (const auto& [size, angle] : points) {
        const Cx Z{size * std::cos(angle), size * std::sin(angle)};
        const double bound = quietBound(Z);
        ASSERT_GT(bound, 0.0) << "|Z| " << size;
        for (const double along : {1.0, -1.0}) {
            for (const double turn : {0.0, 1e-9, -1e-9}) {
                const Cx unit{along * (Z.re - turn * Z.im) / size, along * (Z.im + turn * Z.re) / size};
                // The largest such delta in that direction whose norm is below the bound.
                double scale = std::sqrt(bound);
                Cx dz{scale * unit.re, scale * unit.im};
                while (!(norm(dz) < bound)) {
                    scale = std::nextafter(scale, 0.0);
                    dz = {scale * unit.re, scale * unit.im};
                }
                const Cx z = Z + dz;
                const bool quiet = !(norm(z) > 4.0) && !(norm(z) < norm(dz)) && !(norm(Z) < norm(dz));
                if (!quiet && failures++ < 5)
                    ADD_FAILURE() << "|Z| " << size << ", angle " << angle << ", along " << along << ", turned "
                                  << turn << ": the pass escapes or starts over";
            }
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(quietBound({0.0, 0.0}), 0.0);
    EXPECT_EQ(quietBound({2.0, 0.0}), 0.0);
    EXPECT_EQ(quietBound({-1.5, 1.5}), 0.0);
}

TEST(DeepFrame, CopyOfTheSetAtRadius1e20MatchesMpfr)
{
    const Agreement a = compareWithMpfr(aroundCopy(-2, 20, 0.3, 32, 2000));
    expectAgreement(a);
    EXPECT_GT(a.counters.rebased, 0u) << "no pixel came closer to 0 than to the reference";
    EXPECT_GT(a.counters.approximated, 0u) << "the bilinear steps skipped nothing";
}

TEST(DeepFrame, CopyOfTheSetAtRadius1e60MatchesMpfr)
{
    const Agreement a = compareWithMpfr(aroundCopy(25, 60, 0.3, 32, 3000));
    expectAgreement(a);
    EXPECT_GT(a.counters.rebased, 0u);
    EXPECT_GT(a.counters.approximated, a.counters.iterations / 2);
}

TEST(DeepFrame, CopyOfTheSetAtRadius1e200MatchesMpfr)
{
    const Agreement a = compareWithMpfr(aroundCopy(119, 200, 0.3, 32, 2500));
    expectAgreement(a);
    EXPECT_GT(a.counters.rebased, 0u);
    EXPECT_GT(a.counters.approximated, a.counters.iterations / 2);
}

// 10^16 times wider than the copy: the Julia set of the copy's hub, embedded
// around it, whose pixels come back near 0 once per period, each at its own
// distance.
TEST(DeepFrame, EmbeddedJuliaSetAtRadius1e60MatchesMpfr)
{
    const Agreement a = compareWithMpfr(aroundCopy(35, 60, 0.3, 32, 2000));
    expectAgreement(a);
    EXPECT_GT(a.counters.rebased, 0u);
}

TEST(DeepFrame, EmbeddedJuliaSetAtRadius1e200MatchesMpfr)
{
    const Agreement a = compareWithMpfr(aroundCopy(127, 200, 0.3, 32, 2000));
    expectAgreement(a);
    EXPECT_GT(a.counters.rebased, 0u);
}

TEST(DeepFrame, BelowTheDoubleRangeAtRadius1e300MatchesMpfr)
{
    expectAgreement(compareWithMpfr(aroundCopy(185, 300, 0.0, 16, 5000)));
}

TEST(DeepFrame, AtRadius1e1000MatchesMpfr)
{
    expectAgreement(compareWithMpfr(aroundCopy(651, 1000, 0.0, 4, 12000)));
}

TEST(DeepFrame, OtherPowersAndJuliaSetsMatchMpfrAtRadius1e20)
{
    struct Case {
        bool julia;
        int power;
        double angle;
    };
    for (const Case c : {Case{false, 3, 0.9}, Case{false, 5, 2.0}, Case{false, 10, 0.4}, Case{true, 2, 1.2},
                         Case{true, 3, 0.5}}) {
        FrameSpec p = deepFrame();
        p.FuncSwitch = c.julia ? kJulia : kMandelbrot;
        p.func = powerFunc(c.power);
        p.c.reText = "-0.12";
        p.c.imText = "0.75";
        p.maxIters = 300;
        std::tie(deepOf(p).re, deepOf(p).im) = levelCurvePoint(p, c.angle, 40);
        deepOf(p).radius = "1e-20";
        p.width = p.height = 32;
        SCOPED_TRACE(std::string(c.julia ? "Julia" : "Mandelbrot") + " z^" + std::to_string(c.power));
        expectAgreement(compareWithMpfr(p));
    }
}

TEST(DeepFrame, ExtendedExponentArithmetic)
{
    // Values far below the doubles keep their ratios.
    const CxExp tiny = CxExp::normalized(1.5, -0.5, -3000);
    const CxExp square = tiny * tiny;
    EXPECT_EQ(square.e, -6000 + 1);
    EXPECT_DOUBLE_EQ(square.re, 2.0 / 2.0);  // (1.5 - 0.5i)^2 = 2 - 1.5i, scaled to [1, 2)
    EXPECT_DOUBLE_EQ(square.im, -1.5 / 2.0);
    // Sums align the exponents; a term 2^-200 times smaller leaves no trace.
    const CxExp sum = tiny + CxExp::normalized(1.0, 0.0, -3001);
    EXPECT_DOUBLE_EQ(sum.re, 2.0 / 2.0);
    EXPECT_EQ(sum.e, -2999);
    EXPECT_EQ((tiny + CxExp::normalized(1.0, 0.0, -3200)).re, tiny.re);
    EXPECT_TRUE((tiny - tiny).isZero());
    // Round trips through doubles, subnormals included, and underflow to 0.
    for (const double v : {3.25, -1e-300, 4e-320, 1e300}) {
        EXPECT_EQ(CxExp::from(Cx{v, -v}).toCx().re, v);
        EXPECT_EQ(CxExp::from(Cx{v, -v}).toCx().im, -v);
    }
    EXPECT_EQ(CxExp::normalized(1.0, 1.0, -1200).toCx().re, 0.0);
    // Comparisons of magnitude across exponents.
    EXPECT_TRUE(smallerThan(CxExp::normalized(1.9, 0.0, -2000), CxExp::normalized(1.0, 0.0, -1999)));
    EXPECT_FALSE(smallerThan(CxExp::normalized(1.0, 0.0, -1999), CxExp::normalized(1.9, 0.0, -2000)));
    EXPECT_TRUE(smallerThan(CxExp::normalized(1.0, 1.0, -5000), CxExp::normalized(1.0, 0.0, 0)));
    EXPECT_TRUE(smallerThan(CxExp{}, tiny));
    EXPECT_FALSE(smallerThan(tiny, CxExp{}));
    // a b + c in one go, whichever term is the larger: (1.5 - 0.5i)(1 + i)
    // = 2 + i, at 2^-3010.
    const CxExp a = CxExp::normalized(1.5, -0.5, -3000), b = CxExp::normalized(1.0, 1.0, -10);
    const auto expectExp = [](const CxExp& got, double re, double im, std::int64_t e) {
        EXPECT_EQ(got.re, re);
        EXPECT_EQ(got.im, im);
        EXPECT_EQ(got.e, e);
    };
    expectExp(mulAdd(a, b, CxExp{}), 1.0, 0.5, -3009);
    expectExp(mulAdd(a, b, CxExp::normalized(1.0, 0.0, -3012)), 1.125, 0.5, -3009);   // 2.25 + i
    expectExp(mulAdd(a, b, CxExp::normalized(1.0, 0.0, -3005)), 1.0625, 0.03125, -3005);  // (2 + i) / 32 + 1
    expectExp(mulAdd(a, b, CxExp::normalized(1.0, 0.0, -2960)), 1.0 + 0x1p-49, 0x1p-50, -2960);
}

TEST(DeepFrame, DecimalsAreReadExactlyAsTyped)
{
    for (const char* good : {"0", "-1.5", "+.5", "5.", "1e-300", "2.5E-1000", "-0.000123e+4", "7e0"})
        EXPECT_TRUE(isDecimal(good)) << good;
    for (const char* bad : {"", "-", ".", "1e", "1e+", "0x10", "1.2.3", " 1", "1 ", "inf", "nan", "1,5", "--1", "e5"})
        EXPECT_FALSE(isDecimal(bad)) << bad;
    // Two centres that differ in the 200th digit are two different numbers.
    const std::string a = "0." + std::string(199, '3') + "1", b = "0." + std::string(199, '3') + "2";
    EXPECT_NE(mpfr_cmp(readDecimal(a).get(), readDecimal(b).get()), 0);
    EXPECT_EQ(mpfr_cmp_d(readDecimal("1e-300").get(), 1e-300) < 0 || mpfr_cmp_d(readDecimal("1e-300").get(), 1e-300) > 0,
              true) << "1e-300 is not a double and must not be read as one";
    EXPECT_TRUE(mpfr_zero_p(readDecimal("1e-9999999999999999999").get()) || mpfr_cmp_d(readDecimal("1e-9999999999999999999").get(), 1e-300) < 0);
    EXPECT_TRUE(mpfr_inf_p(readDecimal("1e99999999999999999999").get()));
}

TEST(DeepFrame, AutomaticLimitGrowsWithDepth)
{
    EXPECT_EQ(deepAutoIters("1e-10"), 10000);
    EXPECT_EQ(deepAutoIters("2.5e-100"), 99000);
    EXPECT_EQ(deepAutoIters("1e-1000"), 1000000);
    EXPECT_EQ(deepAutoIters("0.5"), 1000);
    EXPECT_EQ(deepAutoIters("1e-20000"), 10000000);
    EXPECT_NEAR(radiusLog2("1e-1000"), -1000 * std::log2(10.0), 1e-6);
}

TEST(DeepFrame, PrecisionFollowsTheRadius)
{
    FrameSpec p = deepFrame();
    deepOf(p).re = "-1.75";
    p.maxIters = 10;
    p.width = p.height = 100;
    deepOf(p).radius = "1e-100";
    const mpfr_prec_t at100 = DeepFrame(p).precisionBits();
    deepOf(p).radius = "1e-200";
    const mpfr_prec_t at200 = DeepFrame(p).precisionBits();
    EXPECT_GE(at100, 333 + 7);
    EXPECT_NEAR(static_cast<double>(at200 - at100), 100 * std::log2(10.0), 2.0);
}

// At the tip c = -2 the orbit is -2, 2, 2, ...: |Z|^2 is 4 exactly, and a
// pixel's |z|^2 differs from 4 by about 4e-30, which no double can show.
// Every point left of -2 escapes in its first pass (count 0); the orbit's
// own |Z|^2 - 4, from MPFR, tells them apart, in count() and in every
// instruction set's lanes.
TEST(DeepFrame, AtTheTipOfTheSetEveryPixelIsTheTrueOrbits)
{
    FrameSpec p = deepFrame();
    deepOf(p) = DeepView{"-2", "0", "1e-30"};
    p.width = p.height = 32;
    p.maxIters = 3000;
    const Agreement a = compareWithMpfr(p);
    EXPECT_EQ(a.exact, a.total) << a.worst;
    EXPECT_TRUE(a.counts.count(0) == 1 && a.counts.count(3000) == 1) << "both sides of the tip";
    // A point on the radius itself has not escaped: c = -2, the centre.
    DeepCounters counters;
    EXPECT_EQ(DeepFrame(p).count(16, 16, counters), 3000);
}

// The Julia set of z^2 - 2 is the segment from -2 to 2, and around 0 the
// first pass takes every pixel within rounding of the escape radius, -2:
// those off the segment by more than they are along it escape there. The
// lanes take the pixels from that pass on, and must not decide alone: at
// 1e-7 the deltas are past every bilinear step, which would hand them back.
TEST(DeepFrame, NextToTheSegmentOfAJuliaSetThePixelsOnTheRadiusEscapeExactly)
{
    for (const char* radius : {"1e-7", "1e-30"}) {
        SCOPED_TRACE(radius);
        FrameSpec p = deepFrame();
        p.FuncSwitch = kJulia;
        p.c = juliaOfDecimals("-2", "0");
        deepOf(p) = DeepView{"0", "0", radius};
        p.width = p.height = 24;
        p.maxIters = 400;
        // |z_1|^2 - 4 is 4 Im(z_0)^4 on the diagonals: four times the
        // radius's digits tell it.
        const auto bits = static_cast<mpfr_prec_t>(-4 * radiusLog2(radius) + 200);
        const Agreement a = compare(p, [&](int col, int row) { return bruteForceCount(p, col, row, bits); });
        EXPECT_EQ(a.exact, a.total) << a.worst;
        EXPECT_TRUE(a.counts.count(0) == 1 && a.counts.size() > 5) << a.counts.size() << " counts";
    }
}

// A Julia frame on the critical point 0: one pass squares the deltas, and
// the orbit must resolve those, not the radius: twice its digits. The
// reference counts take as many.
TEST(DeepFrame, AJuliaFrameOnTheCriticalPointHasThePrecisionItsSquaredDeltasNeed)
{
    FrameSpec p = deepFrame();
    p.FuncSwitch = kJulia;
    p.c = juliaOfDecimals("0", "1");
    deepOf(p) = DeepView{"1e-61", "2e-61", "1e-60"};
    p.width = p.height = 24;
    p.maxIters = 2000;
    const double radiusBits = 60 * std::log2(10.0);
    EXPECT_GE(DeepFrame(p).precisionBits(), 2 * radiusBits);
    const auto bits = static_cast<mpfr_prec_t>(2 * radiusBits + 200);
    const Agreement a = compare(p, [&](int col, int row) { return bruteForceCount(p, col, row, bits); });
    EXPECT_EQ(a.exact, a.total) << a.worst;
    EXPECT_GT(a.counts.size(), 10u);
}

// Where 0 is periodic, every pass of its period squares (cubes) the deltas
// of the pixels near it, without end: they never escape, and neither the
// precision nor the deltas' exponent may run away with them.
TEST(DeepFrame, ASuperattractingCycleKeepsItsPixelsInside)
{
    const struct {
        int power;
        const char* c;
    } cycles[] = {{2, "-1"}, {3, "1"}};  // 0 -> -1 -> 0; z^3 + i: 0 -> i -> 0
    for (const auto& cycle : cycles) {
        SCOPED_TRACE("z^" + std::to_string(cycle.power));
        FrameSpec p = deepFrame();
        p.FuncSwitch = kJulia;
        p.func = powerFunc(cycle.power);
        p.c = cycle.power == 2 ? juliaOfDecimals(cycle.c, "0") : juliaOfDecimals("0", cycle.c);
        deepOf(p) = DeepView{"1e-61", "2e-61", "1e-60"};
        p.width = p.height = 8;
        p.maxIters = 2000;
        const DeepFrame frame(p);
        EXPECT_LE(frame.precisionBits(), cycle.power * 300);
        DeepCounters counters;
        for (int i = 0; i < p.width * p.height; ++i)
            ASSERT_EQ(frame.count(i % p.width, i / p.width, counters), 2000) << "pixel " << i;
    }
}

TEST(DeepFrame, JuliaSetsOfEveryPowerMatchMpfrAt1e100And1e300)
{
    // Around a repelling fixed point the Julia set's edge shows at every
    // depth; below 1e-120 the deltas start in the extended exponent, where
    // the powers above 2 take their Horner steps.
    struct Case {
        int power;
        int digits;
        std::int32_t maxIters;
    };
    for (const Case c : {Case{2, 100, 2000}, Case{2, 300, 3000}, Case{3, 300, 1500}, Case{5, 100, 600},
                         Case{10, 300, 400}}) {
        FrameSpec p = deepFrame();
        p.FuncSwitch = kJulia;
        p.func = powerFunc(c.power);
        p.c.reText = "-0.12";
        p.c.imText = "0.75";
        std::tie(deepOf(p).re, deepOf(p).im) = repellingFixedPoint(c.power, p.c.reText, p.c.imText, c.digits + 10);
        deepOf(p).radius = "1e-" + std::to_string(c.digits);
        p.width = p.height = 16;
        p.maxIters = c.maxIters;
        SCOPED_TRACE("z^" + std::to_string(c.power) + " at 1e-" + std::to_string(c.digits));
        const Agreement a = compareWithMpfr(p);
        expectAgreement(a);
        EXPECT_GT(a.counters.rebased, 0u);
    }
}

// Centred on a copy's nucleus, the reference orbit comes back to within far
// less than a pixel of 0 once a period: it ends there, and every pixel
// starts over from its start, with counts still those of MPFR, in lanes as
// in count(). A few pixels off the nucleus, starting over at that return
// would cost digits: the orbit goes on to its limit.
TEST(DeepFrame, ReferenceOrbitEndsWhereItReturnsToZero)
{
    FrameSpec p = aroundCopy(17, 49, 0.0, 16, 1500);
    const int period = nucleusNearI(17).period;
    {
        const DeepFrame frame(p);
        EXPECT_EQ(frame.orbit().size(), static_cast<std::size_t>(period + 1));
        EXPECT_EQ(frame.referenceIterations(), static_cast<std::size_t>(period));
    }
    const Agreement a = compareWithMpfr(p);
    expectAgreement(a);
    EXPECT_GT(a.counters.approximated, a.counters.iterations / 2);

    // Three pixel spacings (of 2R/16) off the nucleus.
    p = aroundCopy(17, 49, 3 * 2.0 / 16, 16, 1500);
    const DeepFrame off(p);
    EXPECT_EQ(off.orbit().size(), static_cast<std::size_t>(p.maxIters));
}

// Along an orbit that comes back near 0 once a period, the bilinear steps
// end at each return and start after it: a pixel that has started over
// there (at point 1, or 1 past a return) crosses the rest of the period in
// one step, and a shorter limit on its passes gives the longest step
// within it. So too where the orbit comes back near 0 only as near as the
// frame's pixels are to one another (its centre a radius off the nucleus).
// An orbit whose deltas outgrow every step's radius on its way out keeps
// its steps for a pixel whose delta stays small.
// The radii of merged bilinear steps on an orbit built by hand: a single
// step from Z holds while |dz| < 2^-53 |2Z| (its square then stays below the
// rounding of 2Z dz), and x then y holds while x holds and x's result, at
// most |A_x| |dz| + |B_x| dcMax, stays within y's radius.
TEST(BlaTable, MergedStepsKeepTheRadiiTheirHalvesAllow)
{
    ReferenceOrbit orbit;
    for (const Cx z : {Cx{0.0, 0.0}, Cx{0.9, 0.0}, Cx{0.5, 0.5}, Cx{-0.8, 0.3}, Cx{0.2, -0.6}, Cx{0.3, 0.9},
                       Cx{1.0, 0.0}, Cx{0.7, -0.6}}) {
        orbit.z.push_back(z);
        orbit.zx.push_back(CxExp::from(z));
        orbit.excess.push_back(norm(z) - 4.0);
    }
    const double dcMax = 1e-17, eps = 0x1p-53;
    const BlaTable table(orbit, dcMax, true, CxExp::from({1e-30, 0.0}));
    const auto magnitude = [](Cx a) { return std::sqrt(norm(a)); };
    struct Step {
        Cx A, B;
        double r;
    };
    const auto single = [&](int m) { return Step{2.0 * orbit.z[m], {1.0, 0.0}, eps * magnitude(2.0 * orbit.z[m])}; };
    const auto merged = [&](const Step& x, const Step& y) {
        const double rest = (y.r - magnitude(x.B) * dcMax) / magnitude(x.A);
        return Step{y.A * x.A, y.A * x.B + y.B, std::min(x.r, std::max(0.0, rest))};
    };
    const Step two = merged(single(1), single(2)), four = merged(two, merged(single(3), single(4)));
    std::int64_t len = 0;
    const BlaStep* s = table.lookup(1, 1e-40, BlaTable::Delta::Doubles, 2, &len);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(len, 2);
    EXPECT_EQ(s->r, two.r);
    EXPECT_LT(two.r, single(1).r) << "the second half's radius decides";
    EXPECT_LT(two.r, single(2).r / magnitude(single(1).A) * 0.97) << "and the constant term takes its share";
    s = table.lookup(1, 1e-40, BlaTable::Delta::Doubles, 4, &len);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(s->r, four.r);
    EXPECT_EQ(s->A.re, four.A.re);
    EXPECT_EQ(s->B.im, four.B.im);
    // Beyond its radius the step is not taken; the shorter one may be.
    EXPECT_EQ(table.lookup(1, four.r * four.r * 1.0001, BlaTable::Delta::Doubles, 4, &len), two.r > four.r * 1.0001 ? s - 1 : nullptr);
}

TEST(DeepFrame, BilinearStepsCrossAPeriodAtOnce)
{
    const Nucleus copy = nucleusNearI(17);
    const mpfr_prec_t bits = 256;
    const BigComplex zero{BigFloat(bits), BigFloat(bits)};
    const auto orbitFrom = [&](const std::string& re, const std::string& im, std::size_t length) {
        return *computeOrbit(zero, {readDecimal(re, bits), readDecimal(im, bits)}, 2, length, bits);
    };
    // Ten radii off, the orbit comes back only as near as pixels a few
    // frames away, and escapes after some periods.
    for (const double shift : {0.0, 1.0, 10.0}) {
        SCOPED_TRACE(shift);
        const ReferenceOrbit orbit =
            orbitFrom(offsetDecimal(copy.re, shift, -50, 80), offsetDecimal(copy.im, 0.7 * shift, -50, 80),
                      static_cast<std::size_t>(10 * copy.period));
        ASSERT_GT(orbit.size(), static_cast<std::size_t>(5 * copy.period));
        const BlaTable table(orbit, 1.5e-50, true, CxExp::from({1.5e-50, 0.0}));
        const double dz2 = 1e-120;  // |dz|^2 of a pixel at that depth
        for (const int m : {1, copy.period + 1, 4 * copy.period + 1}) {
            SCOPED_TRACE(m);
            std::int64_t len = 0;
            const BlaStep* s = table.lookup(static_cast<std::size_t>(m), dz2, BlaTable::Delta::Doubles, 100000, &len);
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(len, copy.period - 1);
            ASSERT_NE(table.lookup(static_cast<std::size_t>(m), dz2, BlaTable::Delta::Doubles, 40, &len), nullptr);
            EXPECT_EQ(len, 32);
            // Beyond the step's radius it is not taken.
            EXPECT_EQ(table.lookup(static_cast<std::size_t>(m), s->r2 * 1.01, BlaTable::Delta::Doubles, 100000, &len) == s, false);
        }
    }
    // Ten radii off the copy, a delta of 1e-150 walks the whole orbit in a
    // few steps.
    const ReferenceOrbit out =
        orbitFrom(offsetDecimal(copy.re, 10.0, -50, 80), offsetDecimal(copy.im, 7.0, -50, 80), 10000);
    ASSERT_LT(out.size(), 10000u);
    const BlaTable table(out, 1.5e-50, true, CxExp::from({1.5e-50, 0.0}));
    int plain = 0, steps = 0;
    for (std::size_t m = 1; m + 1 < out.size();) {
        std::int64_t len = 1;
        if (table.lookup(m, 1e-300, BlaTable::Delta::Doubles, 100000, &len) != nullptr)
            ++steps;
        else
            ++plain;
        m += static_cast<std::size_t>(len);
    }
    EXPECT_LE(plain + steps, 40) << plain << " passes without a step in an orbit of " << out.size();
}

// Lanes leave their passes only for steps of at least the table's least
// length, or for a whole run where the run is shorter than that; pixels
// iterated one at a time, in doubles or beyond, take every step. The radii
// the lanes test are those of the shortest step they may take.
TEST(BlaTable, LanesTakeOnlyStepsWorthLeavingThemFor)
{
    const mpfr_prec_t bits = 256;
    const BigComplex zero{BigFloat(bits), BigFloat(bits)};
    for (const int k : {17, -2}) {  // periods 70 and 32
        const Nucleus copy = nucleusNearI(k);
        SCOPED_TRACE(copy.period);
        const ReferenceOrbit orbit = *computeOrbit(zero, {readDecimal(copy.re, bits), readDecimal(copy.im, bits)}, 2,
                                                   static_cast<std::size_t>(3 * copy.period), bits);
        const double dcMax = 1.5e-50;
        const CxExp frameDc = CxExp::from({dcMax, 0.0});
        const BlaTable every(orbit, dcMax, true, frameDc), lanes(orbit, dcMax, true, frameDc, 64);
        // Runs from 1 past each return near 0 up to the next, or to the
        // orbit's last point.
        const int run = copy.period - 1;
        const double dz2 = dcMax * dcMax;
        int laneSteps = 0;
        for (std::size_t m = 1; m + 1 < orbit.size(); ++m) {
            SCOPED_TRACE(m);
            const std::size_t start = m - m % copy.period + 1;
            const std::size_t end = std::min(start + run, orbit.size() - 1);
            const auto least = static_cast<std::int64_t>(std::min<std::size_t>(64, end - start));
            for (const std::int64_t most : {std::int64_t{40}, least, std::int64_t{100000}}) {
                std::int64_t len = 0, lenAll = 0;
                const BlaStep* s = lanes.lookup(m, dz2, BlaTable::Delta::Lanes, most, &len);
                const BlaStep* all = every.lookup(m, dz2, BlaTable::Delta::Doubles, most, &lenAll);
                // Every step is still there for one pixel at a time.
                const BlaStep* same = lanes.lookup(m, dz2, BlaTable::Delta::Doubles, most, &len);
                EXPECT_EQ(same != nullptr, all != nullptr);
                if (same != nullptr && all != nullptr) {
                    EXPECT_EQ(same->len, all->len);
                    EXPECT_EQ(same->A.re, all->A.re);
                }
                std::int64_t lenExt = 0;
                const BlaStep* ext = lanes.lookup(m, std::sqrt(dz2), BlaTable::Delta::Extended, most, &lenExt);
                EXPECT_EQ(ext != nullptr, all != nullptr);
                if (s == nullptr) {
                    // Lanes go without where the only steps are short.
                    EXPECT_TRUE(all == nullptr || all->len < least) << all->len;
                    continue;
                }
                ++laneSteps;
                EXPECT_GE(s->len, least);
                ASSERT_NE(all, nullptr);
                EXPECT_EQ(s->len, all->len) << "where both may, lanes take the longest step too";
                EXPECT_EQ(s->A.re, all->A.re) << "and the same";
            }
            // Lanes hand a pixel back just below the radius of the shortest
            // step they may take, not at it.
            const double r2 = lanes.laneRadii2()[m];
            std::int64_t len = 0;
            EXPECT_EQ(lanes.lookup(m, r2, BlaTable::Delta::Lanes, 100000, &len), nullptr);
            if (r2 > 0.0) {
                EXPECT_NE(lanes.lookup(m, r2 * (1.0 - 0x1p-20), BlaTable::Delta::Lanes, 100000, &len), nullptr);
                // That step is `least` long: the first past the short ones.
                const BlaStep* shortest = every.lookup(m, dz2, BlaTable::Delta::Doubles, least, &len);
                ASSERT_NE(shortest, nullptr);
                EXPECT_EQ(len, least);
                EXPECT_EQ(shortest->r2, r2);
            }
        }
        // Each period, from point 1 past its start, the whole run at once.
        EXPECT_GE(laneSteps, 3 * 2);
        const std::int64_t least = std::min(64, run);
        std::int64_t len = 0;
        const BlaStep* s = lanes.lookup(1, dz2, BlaTable::Delta::Lanes, 100000, &len);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(len, run);
        if (run > 64) {
            ASSERT_NE(lanes.lookup(1, dz2, BlaTable::Delta::Lanes, 64, &len), nullptr);
            EXPECT_EQ(len, 64);
        }
        EXPECT_EQ(lanes.lookup(1, dz2, BlaTable::Delta::Lanes, least - 1, &len), nullptr);
        ASSERT_NE(every.lookup(1, dz2, BlaTable::Delta::Doubles, least - 1, &len), nullptr);
    }
    // Along an orbit whose points do not repeat (seahorse valley), each
    // step a lane takes from m is the one from m: its A is the product of
    // 2 Z over the passes it crosses.
    const ReferenceOrbit orbit = *computeOrbit(
        zero, {readDecimal("-0.743643887037158704752191506114774", bits), readDecimal("0.131825904205311970493132056385139", bits)},
        2, 3000, bits);
    const double dcMax = 1.5e-24;
    const BlaTable lanes(orbit, dcMax, true, CxExp::from({dcMax, 0.0}), 64);
    int taken = 0;
    for (std::size_t m = 1; m + 1 < orbit.size(); ++m) {
        for (const std::int64_t most : {std::int64_t{64}, std::int64_t{100}, std::int64_t{100000}}) {
            std::int64_t len = 0;
            const BlaStep* s = lanes.lookup(m, 1e-60, BlaTable::Delta::Lanes, most, &len);
            if (s == nullptr)
                continue;
            ++taken;
            Cx A{1.0, 0.0};
            for (std::int64_t i = 0; i < len; ++i)
                A = 2.0 * orbit.z[m + static_cast<std::size_t>(i)] * A;
            ASSERT_LT(std::sqrt(norm(s->A - A) / norm(A)), 1e-9) << m << ", " << len << " passes";
        }
    }
    EXPECT_GT(taken, 30);
}

// A frame drawn against the orbits of a deeper one around the same centre
// (a zoom video's keyframes) matches the brute force as a frame drawn on its
// own does, computes no orbit, and lanes and count() agree on it; frames
// that do not fit (another centre, a higher limit, a deeper radius) get none.
TEST(DeepFrame, AShallowerFrameDrawsAgainstADeeperOnesOrbits)
{
    for (const bool julia : {false, true}) {
        SCOPED_TRACE(julia ? "Julia set" : "Mandelbrot set");
        FrameSpec deep = aroundCopy(25, 60, 0.3, 32, 3000);
        if (julia) {
            deep.FuncSwitch = kJulia;
            deep.c = juliaOfDecimals("-0.75", "0.11");
            deep.maxIters = 2000;
            std::tie(deepOf(deep).re, deepOf(deep).im) = repellingFixedPoint(2, "-0.75", "0.11", 70);
        }
        const DeepFrame deeper(deep);
        FrameSpec shallow = deep;
        deepOf(shallow).radius = "1e-40";
        shallow.maxIters = deep.maxIters - 500;
        shallow.width = 40;
        shallow.height = 24;
        const std::unique_ptr<const DeepFrame> frame = DeepFrame::alongside(shallow, deeper);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->precisionBits(), deeper.precisionBits());
        EXPECT_LE(frame->orbit().size(), static_cast<std::size_t>(shallow.maxIters));
        expectLanesAgree(*frame);
        Agreement a;
        for (int row = 0; row < shallow.height; ++row)
            for (int col = 0; col < shallow.width; ++col) {
                const std::int32_t got = frame->count(col, row, a.counters), want = bruteForceCount(shallow, col, row);
                a.counts.insert(got);
                ++a.total;
                a.exact += got == want ? 1 : 0;
                a.worstShare = std::max(a.worstShare, std::abs(got - want) / std::max(1.0, static_cast<double>(want)));
            }
        expectAgreement(a);

        FrameSpec moved = shallow;
        deepOf(moved).re += "1";
        FrameSpec longer = shallow;
        longer.maxIters = deep.maxIters + 1;
        FrameSpec deeperStill = shallow;
        deepOf(deeperStill).radius = "1e-61";
        FrameSpec otherSet = shallow;
        otherSet.FuncSwitch = julia ? kMandelbrot : kJulia;
        for (const FrameSpec& misfit : {moved, longer, deeperStill, otherSet})
            EXPECT_FALSE(DeepFrame::alongside(misfit, deeper));
    }
}

// Within rounding of the escape radius the orbit's own |Z|^2 - 4 decides,
// with the pixel's part 2 Re(conj(Z) dz) + |dz|^2: where |Z| is exactly 2,
// a delta along Z escapes and one against it does not, in doubles and with
// an extended exponent, whichever way Z points.
TEST(DeepFrame, AtTheEscapeRadiusTheDeltasDirectionDecides)
{
    for (const Cx Z : {Cx{1.2, 1.6}, Cx{-1.6, 1.2}, Cx{0.0, -2.0}, Cx{-1.2, -1.6}}) {
        ReferenceOrbit o;
        o.z = {Z};
        o.zx = {CxExp::from(Z)};
        o.excess = {0.0};
        SCOPED_TRACE("Z = " + std::to_string(Z.re) + " + " + std::to_string(Z.im) + "i");
        const Cx along{Z.re * 1e-17, Z.im * 1e-17}, against{-along.re, -along.im};
        // Across Z the cross term vanishes and |dz|^2 alone lifts z outside.
        const Cx across{-Z.im * 1e-17, Z.re * 1e-17};
        EXPECT_TRUE(escapesNearFour(o, 0, along));
        EXPECT_FALSE(escapesNearFour(o, 0, against));
        EXPECT_TRUE(escapesNearFour(o, 0, across));
        const CxExp deepAlong = CxExp::normalized(Z.re, Z.im, -1200), deepAgainst = CxExp::normalized(-Z.re, -Z.im, -1200);
        EXPECT_TRUE(escapesNearFour(o, 0, deepAlong));
        EXPECT_FALSE(escapesNearFour(o, 0, deepAgainst));
        // An orbit point just inside the radius: a delta too small to
        // reach across stays inside.
        o.excess = {-1e-30};
        EXPECT_FALSE(escapesNearFour(o, 0, Cx{Z.re * 1e-32, Z.im * 1e-32}));
        EXPECT_TRUE(escapesNearFour(o, 0, Cx{Z.re * 1e-29, Z.im * 1e-29}));
    }
}

// A complex MPFR value keeps both parts however far apart their sizes, up to
// the 2^-1000 below which the smaller is lost in any sum with the larger.
TEST(DeepFrame, BothPartsOfACentreOffsetAreKept)
{
    const auto log2Of = [](double m, long e) { return std::log2(std::fabs(m)) + static_cast<double>(e); };
    for (const long apart : {0L, 40L, 300L, 900L}) {
        BigFloat re(128), im(128);
        mpfr_set_d(re.get(), 0.75, MPFR_RNDN);
        mpfr_mul_2si(re.get(), re.get(), -500, MPFR_RNDN);
        mpfr_set_d(im.get(), -0.625, MPFR_RNDN);
        mpfr_mul_2si(im.get(), im.get(), -500 - apart, MPFR_RNDN);
        for (const bool swapped : {false, true}) {
            const CxExp v = swapped ? toCxExp(im.get(), re.get()) : toCxExp(re.get(), im.get());
            const double big = swapped ? v.im : v.re, small = swapped ? v.re : v.im;
            EXPECT_NEAR(log2Of(big, v.e), std::log2(0.75) - 500, 1e-12) << apart;
            EXPECT_NEAR(log2Of(small, v.e), std::log2(0.625) - 500 - apart, 1e-9) << apart;
            EXPECT_LT(small, 0.0);
        }
    }
    BigFloat one(64), tiny(64);
    mpfr_set_d(one.get(), 1.0, MPFR_RNDN);
    mpfr_set_d(tiny.get(), 1.0, MPFR_RNDN);
    mpfr_mul_2si(tiny.get(), tiny.get(), -1100, MPFR_RNDN);
    EXPECT_EQ(toCxExp(one.get(), tiny.get()).im, 0.0);
}

namespace {

std::vector<unsigned char> saved(const DeepFrame& frame)
{
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(frame.save([&](const void* data, std::size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), p, p + size);
        return true;
    }));
    return bytes;
}

std::unique_ptr<const DeepFrame> loaded(const FrameSpec& frame, const std::vector<unsigned char>& bytes,
                                        std::string* error)
{
    std::size_t at = 0;
    return DeepFrame::load(
        frame,
        [&](void* data, std::size_t size) {
            if (bytes.size() - at < size)
                return false;
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), size, static_cast<unsigned char*>(data));
            at += size;
            return true;
        },
        error);
}

} // namespace

// An orbit saved for frames of any size is cut, for each frame, where the
// frame's own orbit ends early, and every pixel counts as in the frame
// built on its own: 1e-69 from a copy's nucleus, where a frame's orbit
// ends after one period but one for finer pixels goes on; for frames of
// other sizes and shapes, in count() and in lanes.
TEST(DeepFrame, SavedOrbitsDrawFramesOfAnySizeAsTheirOwn)
{
    for (const bool julia : {false, true}) {
        SCOPED_TRACE(julia ? "Julia set" : "Mandelbrot set");
        FrameSpec made = aroundCopy(25, 60, 1e-9, 600, 3000);
        if (julia) {
            made.FuncSwitch = kJulia;
            made.c = juliaOfDecimals("-0.75", "0.11");
            made.maxIters = 2000;
            std::tie(deepOf(made).re, deepOf(made).im) = repellingFixedPoint(2, "-0.75", "0.11", 70);
        }
        const std::unique_ptr<const DeepFrame> shared = DeepFrame::buildForAnySize(made, {});
        ASSERT_TRUE(shared);
        const std::vector<unsigned char> bytes = saved(*shared);
        for (const auto& [width, height] : {std::pair{600, 600}, {40, 24}, {17, 31}}) {
            FrameSpec p = made;
            p.width = width;
            p.height = height;
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
            const DeepFrame own(p);
            std::string error;
            const std::unique_ptr<const DeepFrame> frame = loaded(p, bytes, &error);
            ASSERT_TRUE(frame) << error;
            if (!julia) {
                EXPECT_LT(own.orbit().size(), shared->orbit().size());  // the cut is this frame's
            }
            EXPECT_EQ(frame->orbit().size(), own.orbit().size());
            EXPECT_EQ(frame->precisionBits(), own.precisionBits());
            if (width > 100)
                continue;
            expectLanesAgree(*frame);
            DeepCounters a, b;
            for (int row = 0; row < height; ++row)
                for (int col = 0; col < width; ++col)
                    ASSERT_EQ(frame->count(col, row, a), own.count(col, row, b)) << col << "," << row;
            EXPECT_EQ(a.iterations, b.iterations);
            EXPECT_EQ(a.approximated, b.approximated);  // the same bilinear steps
        }
    }
}

// The precision of a view's orbit does not follow the frame's size, so that
// a tile and the whole poster share one orbit.
TEST(DeepFrame, PrecisionIsTheSameForEverySize)
{
    FrameSpec p = aroundCopy(25, 60, 0.3, 16, 1000);
    const mpfr_prec_t small = DeepFrame(p).precisionBits();
    p.width = 1 << 20;
    p.height = 1 << 19;
    EXPECT_EQ(DeepFrame(p).precisionBits(), small);
}

// Saved orbits for another view, limit or set are refused, and bytes that
// end early or were changed anywhere never make a frame.
TEST(DeepFrame, SavedOrbitsAreRefusedForAnotherFrameOrWhenDamaged)
{
    const FrameSpec p = aroundCopy(25, 60, 0.3, 16, 1000);
    const std::vector<unsigned char> bytes = saved(*DeepFrame::buildForAnySize(p, {}));
    std::string error;
    FrameSpec other = p;
    other.maxIters = 999;
    EXPECT_FALSE(loaded(other, bytes, &error));
    EXPECT_NE(error.find("another view or limit"), std::string::npos) << error;
    other = p;
    deepOf(other).radius = "1e-61";
    EXPECT_FALSE(loaded(other, bytes, &error));
    other = p;
    other.FuncSwitch = kJulia;
    EXPECT_FALSE(loaded(other, bytes, &error));
    ASSERT_TRUE(loaded(p, bytes, &error)) << error;
    for (std::size_t cut = 0; cut < bytes.size(); cut += 1 + cut / 3) {
        EXPECT_FALSE(loaded(p, std::vector<unsigned char>(bytes.begin(), bytes.begin() + cut), &error)) << cut;
    }
    for (std::size_t at = 0; at < bytes.size(); at += 1 + at / 2) {
        std::vector<unsigned char> changed = bytes;
        changed[at] ^= 0x04;
        EXPECT_FALSE(loaded(p, changed, &error)) << "byte " << at;
    }
}

// The centre's orbit ends early where the rounding of starting over stays
// far below the pixels' spacing, 2R / height whatever the width: 1.2e-65
// from a copy's nucleus, frames 16 pixels high end it after one period,
// frames 64 high, whose pixels are 4 times finer, go on.
TEST(DeepFrame, TheOrbitEndsEarlyByThePixelsSpacing)
{
    FrameSpec p = aroundCopy(25, 60, 1e-5, 16, 3000);
    const std::size_t square = DeepFrame(p).orbit().size();
    p.width = 64;
    const std::size_t wide = DeepFrame(p).orbit().size();
    p.width = 16;
    p.height = 64;
    const std::size_t tall = DeepFrame(p).orbit().size();
    EXPECT_LT(square, 200u);
    EXPECT_EQ(wide, square);
    EXPECT_GT(tall, 2 * square);
}

namespace {

// A copy of period 8007 at 1e-26, its centre cut short: after two periods
// near the copy most pixels wander near the set for a thousand passes and
// more, where each pass multiplies what doubles rounded by |2z|. Doubles
// lose the true orbit of the pixels below, by up to 470 passes (one by
// 2.6%), unless they are counted again.
FrameSpec wanderingMinibrot()
{
    FrameSpec p = deepFrame();
    deepOf(p) = DeepView{"-0.74364388703715870475219150611477977821525",
                         "0.13182590420531197049313205638514067897295", "1e-26"};
    p.width = p.height = 48;
    p.maxIters = 30000;
    return p;
}

// A Julia frame of z^2 at 1e-20 on the set's edge, `size` pixels a side.
FrameSpec juliaAtTheEdge(int size)
{
    FrameSpec julia = deepFrame();
    julia.FuncSwitch = kJulia;
    julia.c.reText = "-0.12";
    julia.c.imText = "0.75";
    julia.maxIters = 400;
    std::tie(deepOf(julia).re, deepOf(julia).im) = levelCurvePoint(julia, 1.2, 40);
    deepOf(julia).radius = "1e-20";
    julia.width = julia.height = size;
    return julia;
}

constexpr std::pair<int, int> kWandering[] = {{39, 4},  {3, 13},  {5, 14},  {9, 26},  {11, 26},
                                              {31, 34}, {45, 35}, {28, 38}, {36, 41}, {8, 42}};

} // namespace

// The pixels doubles lose are recounted and come out as MPFR's, in count(),
// in every instruction set's lanes, and against saved orbits; so does a
// sample of the rest of the frame.
TEST(DeepFrame, AMinibrotsWanderingPixelsCountAsMpfr)
{
    const FrameSpec p = wanderingMinibrot();
    const DeepFrame frame(p);
    const std::unique_ptr<const DeepFrame> fromFile = [&] {
        std::string error;
        auto f = loaded(p, saved(*DeepFrame::buildForAnySize(p, {})), &error);
        EXPECT_TRUE(f) << error;
        return f;
    }();
    ASSERT_TRUE(fromFile);
    DeepCounters counters, filed;
    for (const auto& [col, row] : kWandering) {
        const std::int32_t want = bruteForceCount(p, col, row);
        EXPECT_EQ(frame.count(col, row, counters), want) << "pixel " << col << ", " << row;
        EXPECT_EQ(fromFile->count(col, row, filed), want) << "pixel " << col << ", " << row << " from the file";
    }
    EXPECT_EQ(counters.recounted, std::size(kWandering));
    EXPECT_EQ(frame.recounted(), std::size(kWandering));
    // In double-double, against the file's orbit too: it keeps what lies
    // below the orbit's doubles, and an orbit that ends early, its rest with
    // it. All but the worst pixel: even double-double's roundings may lose
    // its orbit, so it takes every pass in MPFR.
    EXPECT_EQ(counters.recountedInMpfr, 1u);
    EXPECT_EQ(filed.recountedInMpfr, 1u);
    expectLanesAgree(frame);
    int wrong = 0;
    for (int i = 0; i < p.width * p.height; i += 13)
        wrong += frame.count(i % p.width, i / p.width, counters) != bruteForceCount(p, i % p.width, i / p.width);
    EXPECT_EQ(wrong, 0);
}

// Recounts side by side, in every instruction set, are recount()'s one by
// one: counts, escape points and estimates of straying, for a Mandelbrot
// frame and two Julia frames (one at its critical point, where count()
// keeps to the centre's orbit at the first pass, though the pixels are
// farther from the centre than 0 is), with more pixels than lanes so that
// lanes are refilled as others finish.
TEST(DeepFrame, RecountsInLanesAreRecountsOneByOne)
{
    FrameSpec critical = juliaAtTheEdge(8);
    critical.c.reText = "0";
    critical.c.imText = "1";
    deepOf(critical) = DeepView{"1e-31", "2e-31", "1e-30"};
    for (const FrameSpec& p : {wanderingMinibrot(), juliaAtTheEdge(8), critical}) {
        const DeepFrame frame(p);
        std::vector<DeepFrame::RecountPixel> pixels;
        for (int i = 0; i < p.width * p.height; i += p.julia() ? 3 : 97)
            pixels.push_back({i % p.width, i / p.width});
        if (!p.julia())
            for (const auto& [col, row] : kWandering)
                pixels.push_back({col, row});
        std::vector<DeepFrame::Recounted> want(pixels.size());
        DeepCounters one;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            want[i].escape.n = -1;  // as it stays where the pixel never escapes
            want[i].count = frame.recount(pixels[i].col, pixels[i].row, one, &want[i].escape, &want[i].estimate);
        }
        int kernels = 0;
        for (const EscapeIsa isa : batchedIsas()) {
            const RecountKernel kernel = recountKernel(isa);
            ASSERT_NE(kernel.step, nullptr) << isaName(isa);
            ++kernels;
            std::vector<DeepFrame::Recounted> got(pixels.size());
            DeepCounters many;
            frame.recountMany(kernel, pixels.data(), pixels.size(), got.data(), many);
            EXPECT_EQ(many.recounted, pixels.size());
            EXPECT_EQ(many.recountedInMpfr, one.recountedInMpfr);
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                SCOPED_TRACE(std::string(isaName(isa)) + " pixel " + std::to_string(pixels[i].col) + ", " +
                             std::to_string(pixels[i].row));
                EXPECT_EQ(got[i].count, want[i].count);
                EXPECT_EQ(got[i].estimate, want[i].estimate);
                EXPECT_EQ(got[i].escape.n, want[i].escape.n);
                if (want[i].escape.n >= 0) {
                    EXPECT_EQ(got[i].escape.z.re, want[i].escape.z.re);
                    EXPECT_EQ(got[i].escape.z.im, want[i].escape.z.im);
                }
            }
        }
        EXPECT_GT(kernels, 0);
    }
}

// Passes below doubles round each some 2^-53 of the delta, which grows with
// it: the estimate a pixel comes into doubles with is the size of how far
// its delta is there from the exact one (its orbit less the centre's, in
// MPFR), within a factor of 8 either way. (Around this copy, after some 2800
// passes, the error comes out 1.6 to 3.5 times the estimate's root: the
// copy's periods add roundings up that the estimate takes as independent.
// The bound for recounting leaves room for that.)
TEST(DeepFrame, ComingIntoDoublesTheEstimateIsThatOfThePassesBelowThem)
{
    const FrameSpec p = aroundCopy(185, 300, 0.0, 16, 5000);
    const DeepFrame frame(p);
    int handedOn = 0;
    for (int i = 0; i < p.width * p.height; i += 3) {
        const int col = i % p.width, row = i / p.width;
        DeepFrame::LanePoint at;
        Cx dc;
        DeepCounters counters;
        if (frame.countToLane(col, row, at, dc, counters, nullptr) != DeepFrame::kForLane)
            continue;
        ++handedOn;
        EXPECT_GT(at.n, 100) << "the delta starts far below doubles";
        const Cx exact = exactDelta(p, col, row, frame.precisionBits(), at.n, static_cast<int>(at.m),
                                    frame.precisionBits() + 1000);
        const double off = norm(Cx{at.dz.re - exact.re, at.dz.im - exact.im});
        EXPECT_LE(off, 64.0 * at.stray) << "pixel " << col << ", " << row << " after " << at.n << " passes";
        EXPECT_GE(off, at.stray / 64.0) << "pixel " << col << ", " << row << " after " << at.n << " passes";
    }
    EXPECT_GT(handedOn, 40);
}

// A lane starts a pixel where count() leaves its first passes: from there
// both come to the same pass for a lane to take on, with the same delta and
// estimate of straying, bit for bit (what a lane's start sets of the
// estimate is too small to change a count, but it adds up with the rest).
TEST(DeepFrame, ALanesStartIsWhereCountLeavesAPixel)
{
    for (const FrameSpec& p : {wanderingMinibrot(), juliaAtTheEdge(12)}) {
        SCOPED_TRACE(p.julia() ? "julia" : "minibrot");
        const DeepFrame frame(p);
        int handedOn = 0;
        for (int i = 0; i < p.width * p.height; i += 5) {
            const int col = i % p.width, row = i / p.width;
            SCOPED_TRACE("pixel " + std::to_string(col) + ", " + std::to_string(row));
            DeepFrame::LanePoint fromLane, fromCount;
            Cx dc, dcFromCount;
            DeepCounters resumed, counted;
            if (!frame.laneStart(col, row, fromLane, dc))
                continue;
            const std::int32_t n = frame.resume(col, row, fromLane, resumed);
            ASSERT_EQ(frame.countToLane(col, row, fromCount, dcFromCount, counted, nullptr), n);
            if (n != DeepFrame::kForLane)
                continue;
            ++handedOn;
            EXPECT_EQ(fromLane.m, fromCount.m);
            EXPECT_EQ(fromLane.n, fromCount.n);
            EXPECT_EQ(fromLane.dz.re, fromCount.dz.re);
            EXPECT_EQ(fromLane.dz.im, fromCount.dz.im);
            EXPECT_EQ(fromLane.stray, fromCount.stray);
            EXPECT_EQ(dc.re, dcFromCount.re);
            EXPECT_EQ(dc.im, dcFromCount.im);
        }
        EXPECT_GT(handedOn, 20);
    }
}

// What a lane carried of a pixel's estimate goes on with it: a pixel that
// doubles keep to its orbit, handed back as if strayed, is recounted (to
// the same count).
TEST(DeepFrame, APixelHandedBackStrayedIsRecounted)
{
    const FrameSpec p = wanderingMinibrot();
    const DeepFrame frame(p);
    for (const double stray : {0.0, 1.0}) {
        DeepFrame::LanePoint at;
        Cx dc;
        ASSERT_TRUE(frame.laneStart(0, 0, at, dc));
        at.stray = std::max(at.stray, stray);
        DeepCounters counters;
        std::int32_t count = DeepFrame::kForLane;
        while (count == DeepFrame::kForLane)
            count = frame.resume(0, 0, at, counters);
        EXPECT_EQ(counters.recounted, stray > 0.0 ? 1u : 0u);
        EXPECT_EQ(count, bruteForceCount(p, 0, 0));
    }
}

// Where doubles keep to the true orbits no pixel is counted twice: around a
// copy at 1e-60, on the boundary at 1e-20. (Not so at the tip: on the real
// axis next to -2 the orbits stay near 2, where each pass doubles every
// error twice over, and only the axis's symmetry keeps them real.)
TEST(DeepFrame, FramesThatDoublesServeAreNotRecounted)
{
    FrameSpec edge = deepFrame();
    edge.maxIters = 2000;
    std::tie(deepOf(edge).re, deepOf(edge).im) = levelCurvePoint(edge, 1.1, 40);
    deepOf(edge).radius = "1e-20";
    edge.width = edge.height = 40;
    for (const FrameSpec& p : {aroundCopy(25, 60, 0.3, 40, 3000), edge}) {
        const DeepFrame frame(p);
        DeepCounters counters;
        for (int i = 0; i < p.width * p.height; ++i)
            frame.count(i % p.width, i / p.width, counters);
        EXPECT_EQ(counters.recounted, 0u) << deepOf(p).re;
    }
}

// recount() on its own, in double-double (z^2 down to 1e-240, the
// Mandelbrot and a Julia set) and in MPFR (deeper, other powers, and the
// tip at 1e-34, whose left half escapes at once, |c|^2 above 4 by less than
// double-double can tell): MPFR's count, escape point and derivative, pixel
// by pixel.
TEST(DeepFrame, RecountsAreMpfrsCountsAndEscapes)
{
    const FrameSpec julia = juliaAtTheEdge(12);
    FrameSpec cubic = julia;
    cubic.FuncSwitch = kMandelbrot;
    cubic.func = powerFunc(3);
    std::tie(deepOf(cubic).re, deepOf(cubic).im) = levelCurvePoint(cubic, 0.9, 40);
    FrameSpec cubicJulia = julia;
    cubicJulia.func = powerFunc(3);
    std::tie(deepOf(cubicJulia).re, deepOf(cubicJulia).im) = levelCurvePoint(cubicJulia, 0.5, 40);
    FrameSpec tip = deepFrame();
    deepOf(tip) = DeepView{"-2", "0", "1e-34"};
    tip.width = tip.height = 8;
    tip.maxIters = 300;
    enum class Mpfr { Never, Always };  // which recounts take every pass in MPFR
    const std::pair<FrameSpec, Mpfr> frames[] = {{aroundCopy(25, 60, 0.3, 12, 1000), Mpfr::Never},
                                                 {aroundCopy(144, 240, 0.4, 12, 5000), Mpfr::Never},
                                                 {julia, Mpfr::Never},
                                                 {tip, Mpfr::Always},
                                                 {cubic, Mpfr::Always},
                                                 {cubicJulia, Mpfr::Always},
                                                 {aroundCopy(185, 300, 0.2, 8, 5000), Mpfr::Always}};
    for (const auto& [p, mpfr] : frames) {
        SCOPED_TRACE(deepOf(p).radius + (p.julia() ? " julia" : "") + " z^" + std::to_string(integerPower(p.func)));
        const DeepFrame frame(p);
        // A saved orbit serves frames of any size, and each cuts it where its
        // own orbit would have ended: the copies' come back near 0 early.
        std::string error;
        const std::unique_ptr<const DeepFrame> filed = loaded(p, saved(*DeepFrame::buildForAnySize(p, {})), &error);
        ASSERT_TRUE(filed) << error;
        std::set<std::int32_t> counts;
        int escaped = 0, inMpfr = 0, pixels = 0;
        for (int i = 0; i < p.width * p.height; i += 3) {
            const int col = i % p.width, row = i / p.width;
            DeepCounters counters, fromFile;
            DeepFrame::EscapePoint e{-1, {}, true, {}};
            const std::int32_t n = frame.recount(col, row, counters, &e);
            const BruteEscape want = bruteForceEscape(p, col, row);
            counts.insert(n);
            ++pixels;
            EXPECT_EQ(filed->recount(col, row, fromFile, nullptr), n) << "pixel " << col << ", " << row << " from the file";
            EXPECT_EQ(fromFile.recountedInMpfr, counters.recountedInMpfr) << "pixel " << col << ", " << row;
            inMpfr += static_cast<int>(counters.recountedInMpfr);
            EXPECT_EQ(n, want.count) << "pixel " << col << ", " << row;
            EXPECT_EQ(counters.recounted, 1u);
            if (want.n < 0)
                continue;
            ++escaped;
            EXPECT_EQ(e.n, want.n);
            EXPECT_NEAR(e.z.re, want.zr, 1e-12 * std::fabs(want.zr) + 1e-300);
            EXPECT_NEAR(e.z.im, want.zi, 1e-12 * std::fabs(want.zi) + 1e-300);
            const Cx d = e.dz.toCx();
            EXPECT_LT(std::hypot(d.re - want.dzr, d.im - want.dzi), 1e-6 * std::hypot(want.dzr, want.dzi));
        }
        EXPECT_GT(counts.size(), 1u);
        EXPECT_GT(escaped, 0);
        EXPECT_EQ(inMpfr, mpfr == Mpfr::Never ? 0 : pixels);
    }
}

// The minibrot's wandering pixels magnify a change of where they start
// some 10^17 times by the time they escape (moving one by 1e-17 of a pixel
// changes its count): their recounts escape where MPFR's orbits do, to nine
// digits, only if every pass keeps double-double's precision.
TEST(DeepFrame, WanderingPixelsRecountedEscapeWhereMpfrsOrbitsDo)
{
    const FrameSpec p = wanderingMinibrot();
    const DeepFrame frame(p);
    for (const auto& [col, row] : kWandering) {
        DeepCounters counters;
        DeepFrame::EscapePoint e{-1, {}, false, {}};
        const std::int32_t n = frame.recount(col, row, counters, &e);
        const BruteEscape want = bruteForceEscape(p, col, row, 400);
        ASSERT_GE(want.n, 0);
        EXPECT_EQ(n, want.count);
        EXPECT_EQ(e.n, want.n);
        EXPECT_NEAR(e.z.re, want.zr, 1e-9 * std::fabs(want.zr)) << "pixel " << col << ", " << row;
        EXPECT_NEAR(e.z.im, want.zi, 1e-9 * std::fabs(want.zi)) << "pixel " << col << ", " << row;
    }
}

// An estimate that overflows stays strayed, even where a pass then takes it
// times a zero derivative (z exactly 0): inf * 0 is NaN, which no bound
// admits.
TEST(DeepFrame, AnEstimateThatOverflowsStaysStrayed)
{
    double s = 1.0;
    for (int pass = 0; pass < 2000 && !std::isinf(s); ++pass)
        s = stray::passed(2, s, 1e3, 1e-3, 0.0);
    ASSERT_TRUE(std::isinf(s));
    EXPECT_TRUE(stray::strayed(s));
    EXPECT_TRUE(stray::strayed(stray::passed(2, s, 0.0, 0.0, 0.0)));
    EXPECT_FALSE(stray::strayed(stray::passed(2, 0.0, 0.0, 0.0, 0.0)));
}

// Each operation's estimate covers at least what its own result can round
// to, one unit of each part it sums (with nothing carried in): a perturbed
// pass's new delta, whose product is |2z| |dz| and whose constant is |dc|;
// a bilinear step's A dz and B dc; a start-over's z = Z + dz.
TEST(Stray, EachOperationCoversItsOwnRoundings)
{
    const double u2 = stray::kUnit2;
    for (const double nz : {1e-6, 0.5, 3.9})
        for (const double ndz : {1e-30, 1e-3})
            for (const double ndc : {0.0, 1e-40, 1e-10}) {
                EXPECT_GE(stray::passed(2, 0.0, nz, ndz, ndc), u2 * (4.0 * nz * ndz + ndc));
                for (const double nA : {1e-4, 1.0, 1e12})
                    for (const double nB : {1e-4, 1.0, 1e12})
                        EXPECT_GE(stray::stepped(0.0, nA, ndz, nB, ndc), u2 * (nA * ndz + nB * ndc))
                            << "|A|^2 " << nA << ", |B|^2 " << nB << ", |dz|^2 " << ndz << ", |dc|^2 " << ndc;
                EXPECT_GE(stray::rebased(0.0, nz, ndz), u2 * nz);
            }
}
