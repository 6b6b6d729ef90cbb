#pragma once

#include <cstdint>

#include "engine/block_render.h"
#include "engine/deep/deep_frame.h"

// What a deep render cost: the block scheme's evaluations and passes, the
// passes the bilinear steps skipped, and the reference orbit's length and
// precision.
struct DeepRenderStats {
    RenderStats grid;
    std::uint64_t approximated = 0;
    std::uint64_t referenceIterations = 0;
    long precisionBits = 0;
};

// Draws a deep frame with the explorer's block scheme on `threads` threads:
// the same quartering and outline tests, each pixel evaluated against the
// frame's one reference orbit. Every pixel's count depends on that pixel
// alone, so any thread count gives the same picture and counts. Canvas
// pixels get the curve colouring's index; callers that colour otherwise
// recolour from the counts.
DeepRenderStats renderDeep(const DeepFrame& frame, FrameCanvas& canvas, int threads);
