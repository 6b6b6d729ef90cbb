#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "engine/escape_time.h"
#include "engine/geometry.h"
#include "engine/pixel_evaluator.h"

// What a render draws on, and how it learns that it should stop.
class FrameCanvas {
public:
    virtual void plotXY(int x, int y, int clrIdx) = 0;
    virtual bool userHalt() = 0;
    // Every pixel goes through here with the evaluation it shows: a canvas
    // that keeps the escape counts overrides it.
    virtual void plotEscape(int x, int y, const Escape& e) { plotXY(x, y, e.colorIdx); }
    // A block whose outline passed: every pixel of b, row by row, with e. A
    // canvas that can fill a block faster than pixel by pixel overrides it.
    virtual void paintRect(const tagRECT& b, const Escape& e)
    {
        for (int down = b.top; down < b.bottom; ++down)
            for (int across = b.left; across < b.right; ++across)
                plotEscape(across, down, e);
    }
    // The pixels the canvas keeps, of the frame's; all of them unless a
    // canvas of a part of it (a band, a tile) says otherwise. Blocks outside
    // are skipped whole; a block that reaches inside is tested on its whole
    // outline, as in a render of the frame, and only its pixels inside are
    // drawn: the part comes out as it does in the whole frame.
    virtual tagRECT wanted() const { return {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}; }

protected:
    ~FrameCanvas() = default;
};

// What a render evaluated. `evaluations` and `iterations` count the points
// the block scheme needs, one evaluation at a time, and their passes, whether
// they were evaluated singly or in batches. Outline samples a batch evaluated
// ahead of the test's first differing one, and did not need, are counted
// apart as `speculative`.
struct RenderStats {
    std::uint64_t evaluations = 0;
    std::uint64_t iterations = 0;
    std::uint64_t speculative = 0;
    std::uint64_t approximated = 0;  // of the iterations, those an approximation skipped
};

// One render of one frame, by one thread.
struct GridJob {
    const PixelEvaluator& evaluator;
    // Read afresh for every point, or every batch: the menus may change it mid-render.
    const std::atomic<std::int32_t>& iters;
    FrameCanvas& canvas;
    RenderStats stats{};
    // When set, a quarter that must be quartered again is handed here, for
    // another thread to draw, instead of being drawn in place.
    std::function<void(const tagRECT&)> deferQuarter{};
};

// Draws StartRect of the frame by recursive quartering: a quarter whose
// outline has one escape count throughout is painted in its colour, a small
// one that fails is computed pixel by pixel, a larger one is quartered again.
void doGrid(tagRECT StartRect, GridJob& job);

// opSwitch 1: outline test, painting the block when it passes; 0: compute
// every pixel. Returns true when the block is finished, false when its
// outline is not uniform or the render was asked to stop. Pixels go to the
// job's evaluator in batches where it takes them so, which gives the same
// picture, and one at a time otherwise.
bool DoRect(tagRECT theBlock, GridJob& job, int opSwitch);
