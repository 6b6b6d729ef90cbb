#pragma once

#include <cstdint>

#include "engine/deep/deep_frame.h"
#include "engine/deep/recount_lanes.h"
#include "engine/escape_batch.h"

// Deep pixels evaluated in lanes: vectors of pixel deltas stepped side by
// side against the frame's reference orbits, each lane at its own point of
// them. A lane goes back to DeepFrame where the scalar evaluator would take a
// bilinear step or leave doubles, so every count is count()'s.

constexpr int kMostDeepLanes = 16;

// The lanes between two calls of a step function, one element per lane. At
// rest every lane is at the top of a pass: delta dz, orbit point m, passes
// left before the limit. An idle lane has busy 0, everything else 0 but
// passes left without end, and stays harmlessly near the orbit's start.
struct DeepLaneState {
    alignas(64) double dzr[kMostDeepLanes], dzi[kMostDeepLanes], dcr[kMostDeepLanes], dci[kMostDeepLanes];
    // How far z may have strayed (stray.h), squared.
    alignas(64) double stray[kMostDeepLanes];
    alignas(64) std::int64_t m[kMostDeepLanes], left[kMostDeepLanes], busy[kMostDeepLanes];
    // Pixels started over where they came closer to 0 than to their orbit
    // point (DeepCounters::rebased), which each step adds to.
    std::uint64_t rebased = 0;
};

// The frame's lane tables (lane_tables.h) as plain arrays. A lane takes
// most passes as quiet ones, tested against the window of the point where
// the test was last made, and against that point's own range only where
// that fails (the AVX-512 lanes, which test escaping and starting over
// themselves, take only the floors below those ranges). Pixels start over
// at point `restart`, and at the last point of either orbit.
struct DeepLaneOrbit {
    const double* twiceZ;
    const double* radii;
    const std::uint64_t *pointLow, *pointSpan, *windowLow, *windowSpan;
    const std::uint64_t *pointFloor, *windowFloor;
    double nearBound;
    std::int64_t restart, lastPoints[2];
};

DeepLaneOrbit laneOrbit(const LaneTables& t);

// Lanes (bits) that need the caller after a step call: their pixel is done
// (escaped or at its limit), or must be handed back to DeepFrame, which
// for an undecided one first decides whether its |z|^2, within rounding of
// 4, is above it.
struct DeepLaneEvents {
    unsigned done, handBack, undecided = 0;
};

// Steps every lane until one of the busy ones needs the caller.
using DeepLaneStep = DeepLaneEvents (*)(DeepLaneState& s, const DeepLaneOrbit& o);

struct DeepLaneKernel {
    DeepLaneStep step = nullptr;
    int lanes = 0;
    // Where the same instruction set recounts pixels that may have strayed.
    RecountKernel recount{};
};

// Each instruction set's file; the wider ones exist on x86-64 only.
DeepLaneKernel baselineDeepLanes();
DeepLaneKernel avx2DeepLanes();
DeepLaneKernel avx512DeepLanes();

// The kernel of the given instruction set; none for Scalar, nor where the
// frame has no lanes.
DeepLaneKernel deepLaneKernel(const DeepFrame& frame, EscapeIsa isa);

// Evaluates a run of pixels (EscapeRun::addPixel) for the block scheme.
// Results get the curve colouring's index; `counters` sums what the pixels
// cost.
void runDeepLanes(const DeepFrame& frame, DeepLaneKernel kernel, EscapeRun& run, EscapeFeeder& feeder,
                  DeepCounters& counters);
