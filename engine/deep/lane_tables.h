#pragma once

#include <cstdint>
#include <vector>

#include "engine/deep/complex_exp.h"
#include "engine/deep/reference_orbit.h"

// What the lanes of a frame (deep_lanes.h) read besides their pixels.
//
// Most passes of most pixels are quiet: the pixel neither escapes nor
// starts over, takes no bilinear step and stays in doubles. A lane tests a
// pass for being quiet with one norm and one comparison, and makes all of
// count()'s tests only where that fails. A pass at orbit point m is quiet
// where |dz|^2 lies in [quietFloor, quietBound(Z_m)).

// The orbit points that one window span covers.
constexpr int kQuietWindow = 8;

struct LaneTables {
    // 2 Z_m, re and im of each point in turn: the step's 2 Z + dz in one
    // addition. Halving it gives Z back exactly.
    std::vector<double> twiceZ;
    // Per orbit point m, the quiet range of point m (pointSpans) and the
    // narrowest quiet range of points m + 1 to m + kQuietWindow (windowSpans),
    // each as the width of the range in the bits of doubles, which order as
    // unsigned integers as non-negative doubles do; zero where the range is
    // empty, as it is at the orbit's end, where pixels start over.
    std::vector<std::uint64_t> pointSpans, windowSpans;
    // Below nearBound a lane may need a bilinear step (the frame's largest
    // radius) or leave doubles (kDeltaFloor squared, with room to spare).
    // quietFloor is above it by more than the rounding of a norm.
    double nearBound = 0.0, quietFloor = 0.0;
};

// The |dz|^2 below which a pixel at the orbit point Z neither escapes nor
// starts over there, whatever the roundings of count()'s tests: its
// |Z| + |dz| stays below 2, and its |dz| below |Z| / 2, so that both z and
// Z are farther from 0 than dz. Zero where no delta is so plain: near 0 and
// beyond the escape radius.
double quietBound(Cx Z);

// mostStepRadius: the largest |dz|^2 for which a bilinear step starts
// anywhere on the orbit.
LaneTables laneTables(const ReferenceOrbit& orbit, double mostStepRadius);
