#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The frames of a zoom video, resampled from its keyframes in linear light.

// A picture in linear light, three floats a pixel, rows from the top.
struct LinearImage {
    int width = 0, height = 0;
    std::vector<float> rgb;
};

// A keyframe's PNG (8-bit sRGB) in linear light; empty, with the reason,
// where it cannot be read or is not width x height.
LinearImage readKeyframe(const std::string& path, int width, int height, std::string* error);
// Each pixel the mean of a 2 x 2 group (sides halved, rounding down).
LinearImage halfSize(const LinearImage& image);

// Where frames sit in their keyframes. Keyframe i is 2W x 2H pixels at
// radius r_i, and a frame W x H at radius r = rho r_i, rho in (1/2, 1],
// lies in it at no magnification: a frame's pixel spans 2 rho keyframe
// pixels, and is their mean, weighted by the area each shares with it. Keyframe i + 1, at half the radius, covers the middle of the
// frame; its half-size spans the same 2 rho pixels a frame's pixel, and is
// blended in over the outer one within `kInsetBlend` frame pixels of its
// edge. Pixels stand for the points at their supersampled centres (K x K
// samples), the keyframes' and the frame's alike.
constexpr double kInsetBlend = 4.0;
struct FrameGeometry {
    int width, height;  // the frame's
    double rho;
    int supersample;
};

// The frame, as 8-bit sRGB rows, from the outer keyframe and the half-size
// of the inner one (null past the last keyframe), on `threads` threads.
void composeFrame(const FrameGeometry& g, const LinearImage& outer, const LinearImage* innerHalf, std::uint8_t* rgb,
                  int threads);
