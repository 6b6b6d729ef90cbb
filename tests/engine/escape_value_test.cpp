#include <gtest/gtest.h>

#include <atomic>
#include <charconv>
#include <climits>
#include <cmath>
#include <complex>
#include <vector>

#include "engine/block_render.h"
#include "engine/colouring.h"
#include "engine/deep/deep_evaluator.h"
#include "engine/escape_value.h"
#include "engine/plane_evaluator.h"
#include "tests/support/deep_reference.h"

namespace {

// Every pixel's escape, and how many blocks were painted whole.
class EscapeCanvas final : public FrameCanvas {
public:
    EscapeCanvas(int width, int height) : width_(width), escapes_(static_cast<std::size_t>(width) * height, {-1, 0, 0}) {}
    void plotXY(int, int, int) override {}
    void plotEscape(int x, int y, const Escape& e) override { escapes_[static_cast<std::size_t>(y) * width_ + x] = e; }
    void paintRect(const tagRECT& b, const Escape& e) override
    {
        ++painted;
        paintedEscaped += e.count < maxIters ? 1 : 0;
        FrameCanvas::paintRect(b, e);
    }
    bool userHalt() override { return false; }

    const Escape& at(int x, int y) const { return escapes_[static_cast<std::size_t>(y) * width_ + x]; }
    const std::vector<Escape>& all() const { return escapes_; }
    int painted = 0, paintedEscaped = 0;
    std::int32_t maxIters = INT32_MAX;

private:
    int width_;
    std::vector<Escape> escapes_;
};

EscapeCanvas draw(const PixelEvaluator& evaluator, const FrameSpec& f)
{
    EscapeCanvas canvas(f.width, f.height);
    canvas.maxIters = f.maxIters;
    const std::atomic<std::int32_t> limit{f.maxIters};
    GridJob job{evaluator, limit, canvas};
    doGrid({0, 0, f.width, f.height}, job);
    return canvas;
}

double smooth(const Escape& e) { return e.count + static_cast<double>(e.fraction); }

// Whatever the locale (other tests of this program change it).
double decimal(const std::string& text)
{
    double v = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

FrameSpec planeFrame(int power, double x0, double x1, double y0, double y1, int width, int height, int iters)
{
    FrameSpec f;
    f.func = powerFunc(power);
    f.view = PlaneView{x0, x1, y0, y1};
    f.width = width;
    f.height = height;
    f.maxIters = iters;
    return f;
}

} // namespace

// Count plus fraction steps by a small part of a count from pixel to pixel,
// wherever the count itself steps by one: a fraction off by a constant, a
// wrong logarithm or the wrong pass would show as a jump at each step.
TEST(EscapeValueTest, CountPlusFractionIsContinuousWhereTheCountSteps)
{
    for (const int power : {2, 3, 5, 10}) {
        // A row of pixels from far outside towards the set.
        const FrameSpec f = planeFrame(power, -3.0, -1.6, 0.3, 0.3000001, 20000, 1, 500);
        const EscapeCanvas c = draw(PlaneEvaluator(f, EscapeIsa::Scalar, EscapeDetail::Fraction), f);
        int steps = 0;
        for (int x = 1; x < f.width; ++x) {
            const Escape &a = c.at(x - 1, 0), &b = c.at(x, 0);
            if (a.count >= f.maxIters || b.count >= f.maxIters)
                continue;
            steps += a.count != b.count ? 1 : 0;
            ASSERT_LT(std::fabs(smooth(a) - smooth(b)), 0.05)
                << "z^" << power << " at pixel " << x << ": counts " << a.count << ", " << b.count << " fractions "
                << a.fraction << ", " << b.fraction;
        }
        EXPECT_GE(steps, power == 2 ? 3 : 1) << "z^" << power << ": the row crosses count boundaries";
        EXPECT_NE(c.at(0, 0).fraction, 0.0f) << "z^" << power << " far outside";
    }
}

// The kernels keep the point after the escaped one for each lane: their
// fractions are the one-at-a-time evaluation's to the bit, and no block of
// escaped points is painted whole where the colouring follows fractions;
// blocks of the interior, which have none, still are.
TEST(EscapeValueTest, LanesGiveTheScalarFractionAndOnlyTheInteriorIsPainted)
{
    for (const int power : {2, 3, 5, 10}) {
        const FrameSpec f = planeFrame(power, -2.0, 5.0, -1.5, 1.5, 140, 60, 300);
        const EscapeCanvas scalar = draw(PlaneEvaluator(f, EscapeIsa::Scalar, EscapeDetail::Fraction), f);
        EXPECT_EQ(scalar.paintedEscaped, 0);
        for (const EscapeIsa isa : batchedIsas()) {
            const EscapeCanvas lanes = draw(PlaneEvaluator(f, isa, EscapeDetail::Fraction), f);
            EXPECT_EQ(lanes.paintedEscaped, 0) << isaName(isa);
            for (std::size_t i = 0; i < lanes.all().size(); ++i) {
                ASSERT_EQ(lanes.all()[i].count, scalar.all()[i].count) << isaName(isa) << " pixel " << i;
                ASSERT_EQ(lanes.all()[i].fraction, scalar.all()[i].fraction)
                    << isaName(isa) << " z^" << power << " pixel " << i;
            }
        }
        // Without fractions the same frame paints its uniform blocks.
        EXPECT_GT(draw(PlaneEvaluator(f, EscapeIsa::Scalar), f).paintedEscaped, 0);
    }
    // The main cardioid's inside is painted in both.
    const FrameSpec inside = planeFrame(2, -0.6, 0.2, -0.4, 0.4, 200, 200, 300);
    for (const EscapeIsa isa : {EscapeIsa::Scalar, escapeIsa()}) {
        const EscapeCanvas c = draw(PlaneEvaluator(inside, isa, EscapeDetail::Fraction), inside);
        EXPECT_GT(c.painted, 0) << isaName(isa);
        EXPECT_EQ(c.paintedEscaped, 0) << isaName(isa);
    }
}

// Inside a block whose outline agrees every pixel keeps a fraction of its
// own: a wide area of one count, which the count colourings paint whole.
TEST(EscapeValueTest, AUniformCountStillVariesInItsFraction)
{
    const FrameSpec f = planeFrame(2, 3.0, 4.0, 3.0, 4.0, 64, 64, 100);
    const EscapeCanvas c = draw(PlaneEvaluator(f, escapeIsa(), EscapeDetail::Fraction), f);
    int same = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 1; x < f.width; ++x) {
            ASSERT_EQ(c.at(x, y).count, c.at(0, 0).count) << "one count throughout";
            same += c.at(x, y).fraction == c.at(x - 1, y).fraction ? 1 : 0;
        }
    EXPECT_LT(same, f.width) << "neighbours with the very same fraction";
}

// The deep path finds the escaped point that the orbit in MPFR reaches:
// its fractions, by lanes and one at a time, are those of that point.
TEST(EscapeValueTest, DeepFractionsAreThoseOfTheEscapeInMpfr)
{
    for (const int power : {2, 3}) {
        FrameSpec deep = deepFrame();
        deep.func = powerFunc(power);
        deep.maxIters = 3000;
        const auto [re, im] = levelCurvePoint(deep, 0.8, 30);
        deep.view = DeepView{re, im, "1e-25"};
        deep.width = 24;
        deep.height = 20;
        const DeepFrame frame(deep);
        for (const EscapeIsa isa : {EscapeIsa::Scalar, escapeIsa()}) {
            const EscapeCanvas d = draw(DeepEvaluator(frame, isa, EscapeDetail::Fraction), deep);
            int compared = 0;
            for (int row = 0; row < deep.height; ++row)
                for (int col = 0; col < deep.width; ++col) {
                    const BruteEscape b = bruteForceEscape(deep, col, row);
                    const Escape& e = d.at(col, row);
                    ASSERT_EQ(e.count, b.count) << "pixel " << col << "," << row;
                    if (b.n < 0)
                        continue;
                    ++compared;
                    const float want = escapeFraction(power, b.count, b.n, b.zr, b.zi, b.cr, b.ci);
                    ASSERT_NEAR(e.fraction, want, 1e-4)
                        << "z^" << power << " " << isaName(isa) << " pixel " << col << "," << row << " count " << e.count;
                }
            EXPECT_GT(compared, deep.width * deep.height / 3) << "z^" << power;
        }
    }
}

namespace {

// z_m for the first m with |z_m| > B (escape_value.h), in plain complex
// doubles, from z_0 = z with constant c.
std::complex<double> farPoint(int power, std::complex<double> z, std::complex<double> c, int maxIters, int* m)
{
    const int j = power == 2 ? 5 : power == 3 ? 3 : power == 5 ? 2 : 1;
    const double b = std::exp2(std::pow(power, j));
    for (*m = 0; *m < maxIters + 64 && std::abs(z) <= b; ++*m)
        z = std::pow(z, power) + c;
    return z;
}

} // namespace

// The distance is |z| ln|z| / |dz| at the far point, in pixels: against a
// derivative taken by finite differences at the same pass, in c for the
// Mandelbrot set and in z_0 for a Julia set, for every power.
TEST(EscapeValueTest, DistancesFollowTheDerivativeThatFiniteDifferencesGive)
{
    for (const int power : {2, 3, 5, 10})
        for (const bool julia : {false, true}) {
            FrameSpec f = planeFrame(power, -1.6, 0.8, -1.2, 1.2, 24, 24, 400);
            f.FuncSwitch = julia ? kJulia : kMandelbrot;
            f.c = juliaOfDoubles(-0.4, 0.6);
            const EscapeCanvas c = draw(PlaneEvaluator(f, EscapeIsa::Scalar, EscapeDetail::Distance), f);
            const double pixel = 2.4 / 24;
            int compared = 0;
            for (int row = 0; row < f.height; ++row)
                for (int col = 0; col < f.width; ++col) {
                    const Escape& e = c.at(col, row);
                    if (e.count >= f.maxIters || e.count < 3)
                        continue;
                    const std::complex<double> p(-1.6 + col * pixel, 1.2 - row * pixel), k(-0.4, 0.6);
                    const double h = 1e-7 * pixel;
                    int m = 0, m2 = 0;
                    const std::complex<double> z = julia ? farPoint(power, p, k, 400, &m) : farPoint(power, 0, p, 400, &m);
                    const std::complex<double> z2 =
                        julia ? farPoint(power, p + h, k, 400, &m2) : farPoint(power, 0, p + h, 400, &m2);
                    // On the edge of a far pass, or where the difference is no
                    // longer linear in h.
                    if (m != m2 || std::abs(z2 - z) > 1e-4 * std::abs(z) || std::abs(p) < 0.05)
                        continue;  // (and z_0 = 0, where a Julia set's derivative vanishes)
                    const double derivative = std::abs(z2 - z) / h;
                    const double want = std::abs(z) * std::log(std::abs(z)) / derivative / pixel;
                    ASSERT_NEAR(e.distance / want, 1.0, 0.01)
                        << "z^" << power << (julia ? " Julia" : " Mandelbrot") << " pixel " << col << "," << row;
                    ++compared;
                }
            EXPECT_GT(compared, power == 10 && julia ? 5 : 30) << "z^" << power << (julia ? " Julia" : " Mandelbrot");
        }
}

// The deep path carries the derivative through its perturbed passes,
// rebasing and bilinear steps: at a depth that doubles reach as well, the
// distances agree with the plane's wherever the counts do.
TEST(EscapeValueTest, DeepDistancesAgreeWithThePlanesAtRadius1e6)
{
    for (const bool julia : {false, true}) {
        FrameSpec deep = deepFrame();
        deep.FuncSwitch = julia ? kJulia : kMandelbrot;
        deep.c = juliaOfDecimals("-0.12", "0.75");
        deep.maxIters = 200;  // counts mostly below 300 around the point
        const auto [re, im] = levelCurvePoint(deep, julia ? 2.2 : 0.8, 12);
        deep.maxIters = 1000;
        deep.view = DeepView{re, im, "1e-6"};
        deep.width = 40;
        deep.height = 32;
        const double cre = decimal(re), cim = decimal(im), r = 1e-6, across = r * 40 / 32;
        FrameSpec plane = planeFrame(2, cre - across, cre + across, cim - r, cim + r, 40, 32, 1000);
        plane.FuncSwitch = deep.FuncSwitch;
        plane.c = juliaOfDoubles(-0.12, 0.75);
        const EscapeCanvas p = draw(PlaneEvaluator(plane, EscapeIsa::Scalar, EscapeDetail::Distance), plane);
        const DeepFrame frame(deep);
        const EscapeCanvas d = draw(DeepEvaluator(frame, escapeIsa(), EscapeDetail::Distance), deep);
        int compared = 0;
        for (std::size_t i = 0; i < d.all().size(); ++i) {
            const Escape &a = d.all()[i], &b = p.all()[i];
            // Doubles stray from the true orbit at high counts.
            if (a.count != b.count || a.count >= 200)
                continue;
            ++compared;
            ASSERT_GT(b.distance, 0.0f) << "pixel " << i;
            ASSERT_NEAR(a.distance / b.distance, 1.0, 1e-2) << (julia ? "Julia" : "Mandelbrot") << " pixel " << i;
            ASSERT_NEAR(a.fraction, b.fraction, 1e-2) << (julia ? "Julia" : "Mandelbrot") << " pixel " << i;
        }
        EXPECT_GT(compared, 200) << (julia ? "Julia" : "Mandelbrot");
    }
}

// The derivative carried through bilinear steps and rebasing, deep: the
// distances of a frame at 1e-25 are those of the orbit and its derivative
// in MPFR, for the Mandelbrot set and a Julia set.
TEST(EscapeValueTest, DeepDistancesAreThoseOfTheDerivativeInMpfr)
{
    for (const bool julia : {false, true}) {
        FrameSpec deep = deepFrame();
        deep.FuncSwitch = julia ? kJulia : kMandelbrot;
        deep.c = juliaOfDecimals("-0.12", "0.75");
        deep.maxIters = 3000;
        const auto [re, im] = levelCurvePoint(deep, julia ? 2.2 : 0.8, 30);
        deep.view = DeepView{re, im, "1e-25"};
        deep.width = 20;
        deep.height = 16;
        const DeepFrame frame(deep);
        const EscapeCanvas d = draw(DeepEvaluator(frame, escapeIsa(), EscapeDetail::Distance), deep);
        const double pixelLog2 = std::log2(2e-25 / 16);
        int compared = 0;
        for (int row = 0; row < deep.height; ++row)
            for (int col = 0; col < deep.width; ++col) {
                const BruteEscape b = bruteForceEscape(deep, col, row);
                const Escape& e = d.at(col, row);
                ASSERT_EQ(e.count, b.count) << "pixel " << col << "," << row;
                if (b.n < 0)
                    continue;
                ++compared;
                const EscapeValue want = escapeValue(2, b.count, b.n, b.zr, b.zi, b.cr, b.ci,
                                                     {CxExp::from({b.dzr, b.dzi}), julia, pixelLog2});
                ASSERT_GT(want.distance, 0.0f);
                ASSERT_NEAR(e.distance / want.distance, 1.0, 1e-3)
                    << (julia ? "Julia" : "Mandelbrot") << " pixel " << col << "," << row << " count " << e.count;
            }
        EXPECT_GT(compared, deep.width * deep.height / 3) << (julia ? "Julia" : "Mandelbrot");
    }
}

namespace {

// A canvas of part of a frame: what it keeps, and where else anything landed.
class PartCanvas final : public FrameCanvas {
public:
    PartCanvas(int width, int height, tagRECT part) : inner_(width, height), part_(part) {}
    void plotXY(int, int, int) override {}
    void plotEscape(int x, int y, const Escape& e) override
    {
        outside += PtInRect(part_, {x, y}) ? 0 : 1;
        inner_.plotEscape(x, y, e);
    }
    void paintRect(const tagRECT& b, const Escape& e) override
    {
        for (int y = b.top; y < b.bottom; ++y)
            for (int x = b.left; x < b.right; ++x)
                plotEscape(x, y, e);
    }
    bool userHalt() override { return false; }
    tagRECT wanted() const override { return part_; }
    const EscapeCanvas& drawn() const { return inner_; }
    int outside = 0;

private:
    EscapeCanvas inner_;
    tagRECT part_;
};

} // namespace

// A canvas that keeps a band or a tile gets exactly the pixels of the whole
// frame there, counts and fractions, however the quartering's blocks cross
// its edges: every block that reaches it is tested on its whole outline.
// And it costs less: blocks wholly outside are not drawn.
TEST(EscapeValueTest, APartOfTheFrameIsDrawnAsInTheWholeFrame)
{
    // Wide blocks of the inside of the set and of one count outside, which a
    // part's edges cut.
    const FrameSpec plane = planeFrame(2, -2.2, 1.0, -1.2, 1.2, 213, 161, 300);
    FrameSpec deep = deepFrame();
    deep.maxIters = 3000;
    const auto [re, im] = levelCurvePoint(deep, 0.8, 30);
    deep.view = DeepView{re, im, "1e-25"};
    deep.width = 120;
    deep.height = 90;
    const DeepFrame frame(deep);
    for (const EscapeDetail detail : {EscapeDetail::Count, EscapeDetail::Fraction})
        for (const EscapeIsa isa : {EscapeIsa::Scalar, escapeIsa()})
            for (const bool isDeep : {false, true}) {
                const FrameSpec& f = isDeep ? deep : plane;
                const PlaneEvaluator planeEvaluator(plane, isa, detail);
                const DeepEvaluator deepEvaluator(frame, isa, detail);
                const PixelEvaluator& evaluator =
                    isDeep ? static_cast<const PixelEvaluator&>(deepEvaluator) : planeEvaluator;
                const EscapeCanvas whole = draw(evaluator, f);
                RenderStats wholeStats;
                {
                    EscapeCanvas again(f.width, f.height);
                    const std::atomic<std::int32_t> limit{f.maxIters};
                    GridJob job{evaluator, limit, again};
                    doGrid({0, 0, f.width, f.height}, job);
                    wholeStats = job.stats;
                }
                for (const tagRECT part : {tagRECT{0, 13, f.width, 31}, tagRECT{37, 5, 80, 60}, tagRECT{60, 40, std::min(150, f.width), 90},
                                           tagRECT{f.width - 9, 0, f.width, f.height}}) {
                    PartCanvas c(f.width, f.height, part);
                    const std::atomic<std::int32_t> limit{f.maxIters};
                    GridJob job{evaluator, limit, c};
                    doGrid({0, 0, f.width, f.height}, job);
                    EXPECT_EQ(c.outside, 0);
                    EXPECT_LT(job.stats.evaluations, wholeStats.evaluations);
                    for (int y = part.top; y < part.bottom; ++y)
                        for (int x = part.left; x < part.right; ++x) {
                            const Escape &a = c.drawn().at(x, y), &b = whole.at(x, y);
                            ASSERT_EQ(a.count, b.count) << (isDeep ? "deep " : "plane ") << isaName(isa) << " pixel "
                                                        << x << "," << y << " of part " << part.left << ","
                                                        << part.top;
                            ASSERT_EQ(a.fraction, b.fraction) << "pixel " << x << "," << y;
                        }
                }
            }
}

namespace {

// Count 5 everywhere but at a few pixels, for outlines made to measure.
// One at a time, or in runs as the kernels take them.
class DotsEvaluator final : public PixelEvaluator {
public:
    DotsEvaluator(std::vector<tagPOINT> dots, bool batched) : dots_(std::move(dots)), batched_(batched) {}
    Escape evaluate(tagPOINT p, std::int32_t) const override
    {
        for (const tagPOINT& d : dots_)
            if (d == p)
                return {9, 9, 10};
        return {5, 5, 6};
    }
    bool batched() const override { return batched_; }
    void addToRun(EscapeRun& run, tagPOINT p, std::int32_t maxIters) const override { run.addPixel(p, maxIters); }
    void evaluateRun(EscapeRun& run, EscapeFeeder& feeder) const override
    {
        for (std::size_t next = run.size();;) {
            const std::size_t before = run.size();
            if (!feeder.refill(run) || run.size() == before)
                return;
            const EscapeSlots slots = run.slotArrays();
            for (; next < slots.end; ++next)
                if (slots.out[next - slots.first].passes != EscapeRun::kCancelled)
                    slots.out[next - slots.first] = evaluate(slots.pixels[next - slots.first], 0);
        }
    }

private:
    std::vector<tagPOINT> dots_;
    bool batched_;
};

} // namespace

// The quarter [0, 32) x [0, 32) of a 64-pixel frame has a dot on its top
// row, outside the part kept, and one inside it: the whole frame computes
// the quarter, so the part must show the inner dot. Had the part's own
// outline been tested, it would have agreed, and the dot been painted over.
TEST(EscapeValueTest, APartTestsTheOutlineOfTheWholeBlock)
{
    for (const bool batched : {false, true}) {
        const DotsEvaluator dots({{31, 0}, {8, 16}}, batched);
        PartCanvas c(64, 64, {0, 0, 16, 32});
        const std::atomic<std::int32_t> limit{100};
        GridJob job{dots, limit, c};
        doGrid({0, 0, 64, 64}, job);
        EXPECT_EQ(c.drawn().at(8, 16).count, 9) << (batched ? "in runs" : "one at a time");
        EXPECT_EQ(c.drawn().at(9, 16).count, 5);
        EXPECT_EQ(c.outside, 0);
    }
}
