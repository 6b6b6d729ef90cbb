#include <gtest/gtest.h>

#include <cmath>

#include "engine/colour_space.h"
#include "engine/deep/deep_frame.h"
#include "tools/zoom_frames.h"
#include "tools/zoom_plan.h"

namespace {

ZoomPlan planTo(const std::string& radius, const std::string& from = "2")
{
    ZoomPlan p;
    p.frame.view = DeepView{"-0.75", "0.1", radius};
    p.frame.width = 64;
    p.frame.height = 36;
    p.zoomFrom = from;
    p.look.colouring = Colouring::Smooth;
    return p;
}

} // namespace

// Keyframes halve the radius from R0 down to the first at or below R_END;
// frames run from R0 to R_END at the rate asked for.
TEST(ZoomPlan, KeyframesHalveTheRadiusDownToTheEnd)
{
    const ZoomPlan exact = planTo("0.001953125");  // 2 / 2^10
    EXPECT_EQ(keyframeCount(exact), 11);
    EXPECT_EQ(keyframeCount(planTo("0.0019")), 12);
    for (const int i : {0, 1, 7, 10}) {
        const FrameSpec k = keyframe(exact, i);
        EXPECT_NEAR(radiusLog2(k.deepView().radius), 1.0 - i, 1e-12) << i;
        EXPECT_EQ(k.width, 128);
        EXPECT_EQ(k.height, 72);
        EXPECT_EQ(k.maxIters, deepAutoIters(k.deepView().radius));
        EXPECT_EQ(k.deepView().re, "-0.75");
    }
    ZoomPlan fixed = exact;
    fixed.autoIters = false;
    fixed.frame.maxIters = 777;
    EXPECT_EQ(keyframe(fixed, 9).maxIters, 777);
    ZoomPlan p = exact;
    p.fps = 24;
    p.secondsPerDoubling = 0.5;
    EXPECT_EQ(frameCount(p), 10 * 12 + 1);  // 5 s at 24 frames a second, and the last
    EXPECT_DOUBLE_EQ(frameDepth(p, 0), 0.0);
    EXPECT_DOUBLE_EQ(frameDepth(p, 60), 5.0);
    EXPECT_DOUBLE_EQ(frameDepth(p, 120), 10.0);
    // Deep ends too: the radii are decimals of their own.
    const ZoomPlan deep = planTo("1e-300");
    EXPECT_NEAR(radiusLog2(keyframe(deep, keyframeCount(deep) - 1).deepView().radius), 1.0 - 998, 1e-9);
}

// A folder's manifest reads back as the plan it was written for, and one
// changed in any way is refused or named as another zoom's.
TEST(ZoomPlan, TheManifestNamesTheZoomItServes)
{
    ZoomPlan p = planTo("1e-20");
    p.frame.FuncSwitch = kJulia;
    p.frame.c = juliaOfDecimals("-0.8", "0.156");
    p.look.supersample = 3;
    p.look.density = 2.5;
    p.fps = 25;
    const std::string text = manifestText(p);
    std::string error;
    const std::optional<ZoomPlan> back = readManifest(text, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(manifestText(*back), text);
    EXPECT_EQ(manifestDifference(p, *back), "");
    EXPECT_EQ(back->frame.c.imText, "0.156");
    EXPECT_EQ(back->look.supersample, 3);

    ZoomPlan moved = p;
    std::get<DeepView>(moved.frame.view).im = "0.1000001";
    EXPECT_NE(manifestDifference(moved, p).find("center"), std::string::npos);
    ZoomPlan bigger = p;
    bigger.frame.width = 128;
    EXPECT_NE(manifestDifference(bigger, p).find("size"), std::string::npos);
    ZoomPlan recoloured = p;
    recoloured.look.colouring = Colouring::Distance;
    EXPECT_NE(manifestDifference(recoloured, p).find("colouring"), std::string::npos);

    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"set julia", "set jul1a"}, {"power 2", "power 4"}, {"size 64x36", "size 64"},
             {"fps 25", "fps 0"}, {"kavrel-render zoom", "kavrel-render zoon"}, {"radius 1e-20", "radius 3"}}) {
        std::string edited = text;
        edited.replace(edited.find(from), from.size(), to);
        EXPECT_FALSE(readManifest(edited, &error)) << to;
    }
    EXPECT_FALSE(readManifest(text + "extra line\n", &error));
}

namespace {

// Light that varies linearly across the plane: resampling by area or
// bilinearly keeps it exactly, so every frame pixel must show the light of
// its own point.
float lightAt(double u, double v, int channel)
{
    return static_cast<float>(0.45 + 0.25 * u + 0.1 * v + 0.05 * channel);
}

// A keyframe (2W x 2H at radius r) of that light, its pixels at their
// points: pixel (c, row) stands for r ((c + s - W) / H, (H - row - s) / H),
// s the supersampling's shift.
LinearImage gradientKeyframe(int W, int H, double r, double s)
{
    LinearImage im{2 * W, 2 * H, std::vector<float>(static_cast<std::size_t>(4) * W * H * 3)};
    for (int row = 0; row < 2 * H; ++row)
        for (int c = 0; c < 2 * W; ++c)
            for (int k = 0; k < 3; ++k)
                im.rgb[(static_cast<std::size_t>(row) * 2 * W + c) * 3 + k] =
                    lightAt(r * (c + s - W) / H, r * (H - row - s) / H, k);
    return im;
}

} // namespace

// Frames sit where their radius puts them in both keyframes: at every
// scale between two keyframes, for one sample a pixel and for several.
TEST(ZoomFrames, EachFramePixelShowsItsOwnPoint)
{
    const int W = 40, H = 24;
    for (const int k : {1, 3}) {
        const double s = (k - 1) / (2.0 * k);
        const LinearImage outer = gradientKeyframe(W, H, 1.0, s), inner = gradientKeyframe(W, H, 0.5, s);
        const LinearImage innerHalf = halfSize(inner);
        for (const double rho : {1.0, 0.8, 0.6, 0.51}) {
            std::vector<std::uint8_t> rgb(static_cast<std::size_t>(W) * H * 3);
            composeFrame({W, H, rho, k}, outer, &innerHalf, rgb.data(), 2);
            int worst = 0;
            double total = 0;
            // Away from the edge, where the outer keyframe's edge repeats.
            for (int y = 2; y < H - 2; ++y)
                for (int x = 2; x < W - 2; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const double u = rho * (2.0 * (x + s) - W) / H, v = rho * (H - 2.0 * (y + s)) / H;
                        const int want = linearToSrgb(lightAt(u, v, c));
                        const int off = std::abs(want - rgb[(static_cast<std::size_t>(y) * W + x) * 3 + c]);
                        worst = std::max(worst, off);
                        total += off;
                    }
            // Rounding alone is off by a level now and then (a mean under
            // 0.07); the inner keyframe read a quarter of its pixel off
            // moves the mean to 0.15 and more.
            EXPECT_LE(worst, 1) << "rho " << rho << ", " << k << " x " << k << " samples";
            EXPECT_LT(total / ((W - 4) * (H - 4) * 3), 0.1) << "rho " << rho << ", " << k << " x " << k << " samples";
        }
    }
}
