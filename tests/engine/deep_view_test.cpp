#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "engine/deep/decimal.h"
#include "engine/deep/deep_frame.h"
#include "engine/deep/deep_view.h"
#include "engine/frame_spec.h"
#include "engine/plane_evaluator.h"
#include "tests/support/deep_reference.h"

namespace {

double asDouble(const std::string& decimal) { return std::strtod(decimal.c_str(), nullptr); }

// |a - b| in units of 10^scaleLog10, worked out in MPFR.
double apart(const std::string& a, const std::string& b, double scaleLog10)
{
    const mpfr_prec_t bits = 4000;
    BigFloat x = readDecimal(a, bits), y = readDecimal(b, bits);
    mpfr_sub(x.get(), x.get(), y.get(), MPFR_RNDN);
    long e = 0;
    const double m = mpfr_get_d_2exp(&e, x.get(), MPFR_RNDN);
    if (m == 0.0)
        return 0.0;
    return std::fabs(m) * std::pow(10.0, std::log10(2.0) * static_cast<double>(e) - scaleLog10);
}

TEST(DoublesSufficeTest, TheSwitchLiesAtAPixelOf2ToTheMinus40OfTheEdgesAndAbove2ToTheMinus1000)
{
    EXPECT_TRUE(doublesSuffice({-2.0, 2.0, -2.0, 2.0}, 300, 300));
    // Edges of magnitude 0.25 + a little: the switch is at a pixel of 2^-42.
    for (const double above : {1.01, 0.99}) {
        const double w = 100 * 0x1p-42 * above;
        const PlaneView v{0.25, 0.25 + w, -w / 2, w / 2};
        EXPECT_EQ(doublesSuffice(v, 100, 100), above > 1.0) << "a pixel of " << above << " times the margin";
        // On the negative side the magnitude decides alike.
        EXPECT_EQ(doublesSuffice({-0.25 - w, -0.25, -w / 2, w / 2}, 100, 100), above > 1.0);
    }
    // The finer of the two pixel sizes decides.
    EXPECT_FALSE(doublesSuffice({0.25, 0.25 + 100 * 0x1p-41, 0.0, 100 * 0x1p-43}, 100, 100));
    // Near 0 the relative margin would hold far below the normal doubles.
    EXPECT_TRUE(doublesSuffice({0.0, 100 * 0x1p-999, 0.0, 100 * 0x1p-999}, 100, 100));
    EXPECT_FALSE(doublesSuffice({0.0, 100 * 0x1p-1001, 0.0, 100 * 0x1p-1001}, 100, 100));
    // A collapsed or broken view is never carried by doubles.
    EXPECT_FALSE(doublesSuffice({0.5, 0.5, 0.0, 1.0}, 100, 100));
    EXPECT_FALSE(doublesSuffice({0.5, NAN, 0.0, 1.0}, 100, 100));
    EXPECT_FALSE(doublesSuffice({-2.0, 2.0, -2.0, 2.0}, 0, 0));
}

TEST(ExactDecimalTest, EveryDoubleIsWrittenAsItsExactValue)
{
    EXPECT_EQ(exactDecimal(0.1), "0.1000000000000000055511151231257827021181583404541015625");
    EXPECT_EQ(exactDecimal(-2.0), "-2");
    EXPECT_EQ(exactDecimal(0.0), "0");
    EXPECT_EQ(exactDecimal(1e22), "10000000000000000000000");
    const std::string tiniest = exactDecimal(4.9406564584124654e-324);
    EXPECT_EQ(tiniest.size(), 2u + 1074u);
    std::mt19937_64 bits(7);
    for (int i = 0; i < 300; ++i) {
        const double v = std::ldexp(static_cast<double>(bits() >> 11), static_cast<int>(bits() % 200) - 150) *
                         (i % 2 ? -1.0 : 1.0);
        const std::string text = exactDecimal(v);
        ASSERT_TRUE(isDecimal(text)) << text;
        BigFloat read = readDecimal(text, 2400), exact(2400);
        mpfr_set_d(exact.get(), v, MPFR_RNDN);
        ASSERT_EQ(mpfr_cmp(read.get(), exact.get()), 0) << text << " is not exactly " << v;
    }
    // The Julia constant keeps both forms.
    const JuliaConstant c = juliaOfDoubles(-0.75, 0.1);
    EXPECT_EQ(c.reText, "-0.75");
    EXPECT_EQ(asDouble(c.imText), 0.1);
    const JuliaConstant d = juliaOfDecimals("0.100000000000000000000000000000001", "-1e-400");
    EXPECT_EQ(d.re, 0.1);
    EXPECT_EQ(d.im, -0.0);
    EXPECT_EQ(d.reText, "0.100000000000000000000000000000001");
}

TEST(DeepViewTest, APixelsPointIsWorkedOutExactlyToTheDepthsDigits)
{
    const DeepView v{"0.5", "-0.25", "1e-30"};
    // A pixel of 2e-32: 32 decimals and ten more, trailing zeros dropped.
    EXPECT_EQ(deepPixelPoint(v, 100, {0, 0}), std::make_pair(std::string("0.499999999999999999999999999999"),
                                                              std::string("-0.249999999999999999999999999999")));
    EXPECT_EQ(deepPixelPoint(v, 100, {50, 50}), std::make_pair(std::string("0.5"), std::string("-0.25")));
    EXPECT_EQ(deepPixelPoint(v, 100, {1, 99}), std::make_pair(std::string("0.49999999999999999999999999999902"),
                                                               std::string("-0.25000000000000000000000000000098")));
    // A size that does not divide the radius in decimals: rounded to a
    // ten-billionth of the pixel.
    const auto [re, im] = deepPixelPoint(v, 3, {1, 0});
    EXPECT_NEAR(apart(re, "0.5", -30), 1.0 / 3, 1e-10) << re;
    EXPECT_LT(apart(im, "-0.249999999999999999999999999999", -30), 1e-10) << im;
    EXPECT_LE(re.size(), 2u + 31u + 11u) << "more digits than the depth needs: " << re;
}

TEST(DeepViewTest, AZoomCentresOnTheSelectionAndTakesHalfItsWidthAsRadius)
{
    const DeepView v{"-0.7436438870371587047521915061147797782152", "0.1318259042053119704931320563851406789729",
                     "3e-25"};
    const int n = 195;
    // An even selection: centred on a pixel of the old frame.
    const DeepView a = zoomDeep(v, n, {60, 100, 64, 104});
    const auto [re, im] = deepPixelPoint(v, n, {62, 102});
    const double newPixelLog10 = std::log10(3e-25 * 4 / n * 2 / n);
    EXPECT_LT(apart(a.re, re, newPixelLog10), 1e-9);
    EXPECT_LT(apart(a.im, im, newPixelLog10), 1e-9);
    EXPECT_LT(apart(a.radius, "6.1538461538461538e-27", -27), 1e-15) << a.radius << " is not 3e-25 * 4 / 195";
    // An odd one: halfway between two pixels, and its width 5.
    const DeepView b = zoomDeep(v, n, {0, 0, 5, 5});
    const auto [re0, im0] = deepPixelPoint(v, n, {2, 2});
    const auto [re1, im1] = deepPixelPoint(v, n, {3, 3});
    const double pixel = 2 * 3e-25 / n;
    EXPECT_NEAR(apart(b.re, re0, std::log10(pixel)), 0.5, 1e-9);
    EXPECT_NEAR(apart(b.re, re1, std::log10(pixel)), 0.5, 1e-9);
    EXPECT_NEAR(apart(b.im, im0, std::log10(pixel)), 0.5, 1e-9);
    EXPECT_NEAR(apart(b.re, v.re, std::log10(pixel)), 195 / 2.0 - 2.5, 1e-9);
    EXPECT_NEAR(apart(b.im, im1, std::log10(pixel)), 0.5, 1e-9) << "rows grow downwards";
    EXPECT_LT(apart(b.radius, "7.6923076923076923e-27", -27), 1e-15) << b.radius;
    // Sixty zooms by 40 keep a radius that reads as a decimal.
    DeepView deep = v;
    for (int i = 0; i < 60; ++i)
        deep = zoomDeep(deep, n, {95, 95, 100, 100});
    EXPECT_TRUE(isDecimal(deep.radius) && isDecimal(deep.re) && isDecimal(deep.im));
    EXPECT_NEAR(radiusLog2(deep.radius), std::log2(3e-25) + 60 * std::log2(5.0 / n), 1e-6);
}

TEST(DeepViewTest, TheFirstZoomPastTheSwitchShowsThePointsThePlaneFrameWouldHave)
{
    // A plane view whose pixel rule is exact in doubles: its points are the
    // deep view's, and the edges of the deep view are the plane's.
    const double xmin = 0.3, ymax = -0.2, pixel = 0x1p-45;
    const int n = 128;
    const DeepView whole = zoomPlaneToDeep(xmin, ymax, pixel, pixel, n, {0, 0, n, n});
    const PlaneView edges = nearestPlane(whole);
    EXPECT_EQ(edges, (PlaneView{xmin, xmin + n * pixel, ymax - n * pixel, ymax}));
    for (const tagPOINT p : {tagPOINT{0, 0}, tagPOINT{1, 127}, tagPOINT{77, 5}}) {
        const auto [re, im] = deepPixelPoint(whole, n, p);
        EXPECT_EQ(asDouble(re), p.x * pixel + xmin) << "column " << p.x;
        EXPECT_EQ(asDouble(im), ymax - p.y * pixel) << "row " << p.y;
    }
    // A part of the frame: the corners of the selection are its edges.
    const DeepView part = zoomPlaneToDeep(xmin, ymax, pixel, pixel, n, {10, 20, 14, 24});
    EXPECT_EQ(nearestPlane(part), (PlaneView{xmin + 10 * pixel, xmin + 14 * pixel, ymax - 24 * pixel, ymax - 20 * pixel}));
}

TEST(DeepViewTest, AtTheSwitchTheDeepFrameCountsWhatThePlaneFrameCounts)
{
    // Just past the switch around c = i, on the boundary, where counts are
    // low enough for doubles to follow the orbits: the plane frame and the
    // same frame as a deep one agree on almost every pixel (they may part
    // where the last bits of an orbit decide).
    FrameSpec f = deepFrame();
    f.maxIters = 3000;
    const int n = 64;
    const double pixel = 0x1p-41;
    const double xmin = -32 * pixel, ymax = 1.0 + 32 * pixel;
    FrameSpec plane = f;
    plane.view = PlaneView{xmin, xmin + n * pixel, ymax - n * pixel, ymax};
    plane.width = plane.height = n;
    ASSERT_FALSE(doublesSuffice(plane.plane(), n, n)) << "past the switch";
    FrameSpec deep = plane;
    deep.view = zoomPlaneToDeep(xmin, ymax, pixel, pixel, n, {0, 0, n, n});
    const PlaneEvaluator doubles(plane);
    const DeepFrame frame(deep);
    int same = 0;
    std::set<std::int32_t> counts;
    DeepCounters counters;
    for (int row = 0; row < n; ++row)
        for (int col = 0; col < n; ++col) {
            const std::int32_t a = doubles.evaluate({col, row}, f.maxIters).count;
            const std::int32_t b = frame.count(col, row, counters);
            same += a == b ? 1 : 0;
            counts.insert(b);
        }
    EXPECT_GE(same, n * n * 99 / 100) << "of " << n * n << " pixels";
    EXPECT_GT(counts.size(), 20u) << "a frame with structure";
}

TEST(DeepViewTest, TheWindowsLimitMeetsTheExplorersAtTheSwitchAndGrows1000ADigit)
{
    // Edges of magnitude 1.5 + R: the switch is at a pixel of 2^-40 of that.
    const int n = 200;
    const auto view = [&](double pixelOverSwitch) {
        const double switchPixel = 0x1p-40 * 1.5;
        const double r = switchPixel * pixelOverSwitch * n / 2;
        char text[64];
        std::snprintf(text, sizeof text, "%.17e", r);
        return DeepView{"1.5", "0", text};
    };
    EXPECT_NEAR(deepWindowIters(view(1.0), n), 9000, 1);
    EXPECT_NEAR(deepWindowIters(view(1e-3), n), 12000, 1);
    EXPECT_NEAR(deepWindowIters(view(1e-50), n), 59000, 1);
    EXPECT_EQ(deepWindowIters(view(10.0), n), 9000) << "never below the explorer's highest";
    EXPECT_EQ(deepWindowIters(DeepView{"1.5", "0", "1e-100000"}, n), 10'000'000);
    // Around 0, doubles end at a pixel of 2^-1000.
    EXPECT_NEAR(deepWindowIters(DeepView{"0", "0", "1e-300"}, 100),
                9000 + 1000 * std::log10(0x1p-1000 / 2e-302), 1.0);
}

TEST(DeepBuildTest, AStopEndsTheOrbitWithinAFewHundredPointsAndTheCountShowsTheWay)
{
    FrameSpec f = deepFrame();
    deepOf(f) = DeepView{"-0.1", "0.05", "1e-600"};  // inside the set: the orbit runs to the limit
    f.maxIters = 200000;
    f.width = f.height = 50;
    std::atomic<std::uint64_t> points{0};
    int polls = 0;
    const BuildControl stopSoon{[&] { return ++polls > 20; }, &points};
    EXPECT_EQ(DeepFrame::build(f, stopSoon), nullptr);
    EXPECT_GE(points.load(), 20u * 256u);
    EXPECT_LE(points.load(), 22u * 256u) << "the stop was seen late";

    // Left alone, a Julia frame counts both its orbits.
    f.FuncSwitch = kJulia;
    f.c = juliaOfDecimals("-0.1", "0.1");
    f.maxIters = 3000;
    points = 0;
    const auto built = DeepFrame::build(f, BuildControl{[] { return false; }, &points});
    ASSERT_NE(built, nullptr);
    EXPECT_EQ(points.load(), built->referenceIterations() + 2);
    EXPECT_EQ(built->orbit().size(), 3000u);
}

} // namespace
