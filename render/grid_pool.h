#pragma once

#include "engine/block_render.h"

// Draws StartRect of a frame on `threads` threads, each evaluation under
// the limit `iters` holds at that moment. Every quarter that must be
// quartered again becomes a task that any of them may take; a block's
// pixels depend only on the block, so the picture and the counts are those
// of a single doGrid. With one thread it is exactly doGrid.
RenderStats renderParallel(tagRECT StartRect, const PixelEvaluator& evaluator, const std::atomic<std::int32_t>& iters,
                           FrameCanvas& canvas, int threads);
