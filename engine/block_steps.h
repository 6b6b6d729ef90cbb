#pragma once

// The pieces DoRect is made of, shared by its scalar and batched forms.

#include <algorithm>

#include "engine/block_render.h"
#include "engine/escape_batch.h"

// The job's iteration limit as it stands now, at least 1.
inline std::int32_t currentLimit(const GridJob& job) { return std::max(1, job.iters.load()); }

// The outline test's samples in order: 0 is the block's upper-left corner,
// then four per row of the block: top row, the row just below the block, the
// column just right of it, the left column.
int outlineSamples(const tagRECT& b);
tagPOINT outlineSample(const tagRECT& b, int n);

// Every pixel of the block with the evaluation of its outline.
void paintBlock(const tagRECT& b, const Escape& e, GridJob& job);

// The batched forms of DoRect's two operations, for the integer powers.
bool outlineBatched(const BatchEvaluator& kernel, const double* JuliaC, const tagRECT& b, GridJob& job);
bool computeBatched(const BatchEvaluator& kernel, const double* JuliaC, const tagRECT& b, GridJob& job);
