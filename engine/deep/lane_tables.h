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
// where |dz|^2 lies in [max(r_m, 2^-898) (1 + 2^-20), quietBound(Z_m)), r_m
// being the radius below which a bilinear step starts there; the margin is
// far above the rounding of a norm, fused or not.

// The orbit points that one window covers.
constexpr int kQuietWindow = 8;

// Ranges of |dz|^2 per orbit point, in the bits of doubles, which order as
// unsigned integers as non-negative doubles do: from low, span wide; span
// is zero where the range is empty.
struct QuietRanges {
    std::vector<std::uint64_t> low, span;
};

// The frame's orbits, one after the other: the centre's, from point 0,
// and where the pixels start over unless that is the centre's own (a Julia
// set's orbit of 0), from point `restart`.
struct LaneTables {
    // 2 Z_m, re and im of each point in turn: the step's 2 Z + dz in one
    // addition. Halving it gives Z back exactly.
    std::vector<double> twiceZ;
    // Per point, the |dz|^2 below which a bilinear step starts there.
    std::vector<double> radii;
    // The quiet range of point m, and the range quiet at every point from
    // m + 1 to m + kQuietWindow. Empty at each orbit's end, where pixels
    // start over.
    QuietRanges point, window;
    // For lanes that test starting over and escaping themselves each pass:
    // the least |dz|^2 (in bits) at which a pass at point m takes no
    // bilinear step and stays in doubles, the low end of its quiet range,
    // and the most of those from m + 1 to m + kQuietWindow. All ones at
    // each orbit's end, and for windows that reach one.
    std::vector<std::uint64_t> pointFloor, windowFloor;
    // Below nearBound a lane may need a bilinear step (the largest radius)
    // or leave doubles (kDeltaFloor squared, with room to spare).
    double nearBound = 0.0;
    std::int64_t restart = 0;
    std::int64_t lastPoints[2] = {0, 0};  // of each orbit
};

// The |dz|^2 below which a pixel at the orbit point Z neither escapes nor
// starts over there, whatever the roundings of count()'s tests: its
// |Z| + |dz| stays below 2, and its |dz| below |Z| / 2, so that both z and
// Z are farther from 0 than dz. Zero where no delta is so plain: near 0 and
// beyond the escape radius.
double quietBound(Cx Z);

// A reference orbit with its step radii: per point, the |dz|^2 below which
// a bilinear step starts there (BlaTable::laneRadii2()).
struct LaneOrbit {
    const ReferenceOrbit& orbit;
    const std::vector<double>& stepRadii;
};

// The centre's orbit, and the one where pixels start over when that is
// another.
LaneTables laneTables(const LaneOrbit& centre, const LaneOrbit* restart = nullptr);
