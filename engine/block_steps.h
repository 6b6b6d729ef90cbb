#pragma once

// The pieces DoRect is made of, shared by its one-at-a-time and batched forms.

#include <algorithm>

#include "engine/block_render.h"
#include "engine/escape_batch.h"

// The job's iteration limit as it stands now, at least 1.
inline std::int32_t currentLimit(const GridJob& job) { return std::max(1, job.iters.load()); }

// The outline test's samples in order: 0 is the block's upper-left corner,
// then four a step: top row, the row just below the block, the column just
// right of it, the left column. A block whose width and height differ by
// more than a pixel (a frame that is not square) goes on along its longer
// sides, two a step, until its whole outline is sampled; any other has its
// rows sampled as far as it is high.
int outlineSamples(const tagRECT& b);
tagPOINT outlineSample(const tagRECT& b, int n);

// The part of b that the job's canvas keeps; empty when none.
inline tagRECT wantedPart(const tagRECT& b, const GridJob& job)
{
    const tagRECT w = job.canvas.wanted();
    return {std::max(b.left, w.left), std::max(b.top, w.top), std::min(b.right, w.right), std::min(b.bottom, w.bottom)};
}
inline bool isEmpty(const tagRECT& r) { return r.right <= r.left || r.bottom <= r.top; }

// Whether a block whose outline agrees on e is still evaluated pixel by
// pixel: where the evaluator gives fractions, each pixel has its own, unless
// the outline never escaped (then no pixel inside has a fraction to show).
inline bool eachPixel(const Escape& e, const GridJob& job)
{
    return job.evaluator.fractions() && e.count < currentLimit(job);
}

// Every pixel of the block with the evaluation of its outline, or of its
// own where eachPixel says so.
void paintBlock(const tagRECT& b, const Escape& e, GridJob& job);

// Quarters a block that failed its outline test again: in place, or by
// handing it to the job's deferQuarter.
void splitQuarter(const tagRECT& quarter, GridJob& job);

// The batched forms of DoRect's two operations.
bool outlineBatched(const tagRECT& b, GridJob& job);
bool computeBatched(const tagRECT& b, GridJob& job);

// doGrid's four quarters, batched: their outline tests in one run, then in
// their order each passing quarter painted and each failing one quartered
// again, or, when the quarters are `small`, all failing ones computed in one
// run. Draws what doGrid draws, in the same order.
void quartersBatched(const tagRECT (&quarters)[4], bool small, GridJob& job);
