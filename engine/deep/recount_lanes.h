#pragma once

#include <cstdint>

#include "engine/escape_batch.h"

// Pixels recounted side by side (DeepFrame::recountMany): the perturbed
// double-double passes of DeepFrame::recount, operation for operation, in
// vectors of a kernel's lanes (at most kRecountLanes) pixels, each at its
// own point of the orbits.

constexpr int kRecountLanes = 8;

// The lanes between two calls of a step function, at the top of a pass:
// the delta dz and the constant term dc in double-double, the estimate of
// how far z may have strayed and what dc's rounding adds to it a pass
// (stray.h), orbit point m of orbit 0 (the centre's) or 1 (where pixels
// start over), and the pass n. An idle lane has busy 0 and rests at point 0.
struct RecountLaneState {
    alignas(64) double dzrHi[kRecountLanes], dzrLo[kRecountLanes], dziHi[kRecountLanes], dziLo[kRecountLanes];
    alignas(64) double dcrHi[kRecountLanes], dcrLo[kRecountLanes], dciHi[kRecountLanes], dciLo[kRecountLanes];
    alignas(64) double stray[kRecountLanes], dcStray[kRecountLanes];
    alignas(64) std::int64_t m[kRecountLanes], n[kRecountLanes], orbit[kRecountLanes], busy[kRecountLanes];
};

// Both orbits' points in doubles and their rests, re and im side by side;
// pixels start over on orbit `base` (0 for the Mandelbrot set).
struct RecountOrbits {
    const double* hi[2];
    const double* lo[2];
    std::int64_t size[2];
    std::int64_t base;
    std::int64_t maxIters;
};

// Lanes (bits) that need the caller after a step call: finished at the top
// of their pass (beyond the escape radius, or at the limit), or given up
// (within rounding of the radius, or a delta below double-double's range),
// for recount() to take from the start. Given-up lanes are idle already.
struct RecountEvents {
    unsigned finished = 0, givenUp = 0;
};

using RecountStep = RecountEvents (*)(RecountLaneState& s, const RecountOrbits& o);

struct RecountKernel {
    RecountStep step = nullptr;
    int lanes = 0;  // the first of the state's lanes that the step takes
};

RecountKernel baselineRecountLanes();
RecountKernel avx2RecountLanes();
RecountKernel avx512RecountLanes();

// The kernel of the given instruction set; none for Scalar.
RecountKernel recountKernel(EscapeIsa isa);
