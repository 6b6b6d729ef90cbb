#include "engine/block_render.h"

#include "engine/block_steps.h"

namespace {

Escape evaluate(tagPOINT pixel, GridJob& job)
{
    const Escape e = job.evaluator.evaluate(pixel, currentLimit(job));
    ++job.stats.evaluations;
    job.stats.iterations += static_cast<std::uint64_t>(e.passes);
    job.stats.approximated += static_cast<std::uint64_t>(e.skipped);
    return e;
}

// Samples the block's closed outline a row at a time against the count of its
// upper-left corner, and stops at the first sample that differs.
bool outlineTest(const tagRECT& b, GridJob& job)
{
    const int samples = outlineSamples(b);
    const Escape corner = evaluate(outlineSample(b, 0), job);
    const std::int32_t ULiters = corner.count;
    Escape last = corner;
    for (int n = 1; n < samples; ++n) {
        if ((n - 1) % 4 == 0 && job.canvas.userHalt())
            return false;
        last = evaluate(outlineSample(b, n), job);
        if (last.count != ULiters)
            return false;
    }
    paintBlock(b, last, job);
    return true;
}

bool computeBlock(const tagRECT& block, GridJob& job)
{
    const tagRECT b = wantedPart(block, job);
    for (int i = b.top; i < b.bottom; ++i) {
        if (job.canvas.userHalt())
            return false;
        for (int j = b.left; j < b.right; ++j) {
            if (job.canvas.userHalt())
                return false;
            job.canvas.plotEscape(j, i, evaluate({j, i}, job));
        }
    }
    return true;
}

} // namespace

bool DoRect(tagRECT theBlock, GridJob& job, int opSwitch)
{
    if (job.evaluator.batched())
        return opSwitch == 1 ? outlineBatched(theBlock, job) : computeBatched(theBlock, job);
    return opSwitch == 1 ? outlineTest(theBlock, job) : computeBlock(theBlock, job);
}

void doGrid(tagRECT StartRect, GridJob& job)
{
    const int distX = (StartRect.right - StartRect.left) / 2;
    const int midHoriz = StartRect.left + distX;
    const int distY = (StartRect.bottom - StartRect.top) / 2;
    const int midVert = StartRect.top + distY;
    if (job.canvas.userHalt())
        return;

    const tagRECT quarters[4] = {
        {StartRect.left, StartRect.top, midHoriz, midVert},
        {midHoriz, StartRect.top, StartRect.right, midVert},
        {StartRect.left, midVert, midHoriz, StartRect.bottom},
        {midHoriz, midVert, StartRect.right, StartRect.bottom},
    };
    // Both halves must exceed 20 pixels for a failing quarter to be split again.
    const bool small = distX <= 20 || distY <= 20;
    if (job.evaluator.batched()) {
        quartersBatched(quarters, small, job);
        return;
    }
    for (int q = 0; q < 4; ++q) {
        const tagRECT& firstDivide = quarters[q];
        if (isEmpty(wantedPart(firstDivide, job)))
            continue;  // not a pixel of it is drawn
        bool filled = DoRect(firstDivide, job, 1);
        if (!filled && small)
            filled = DoRect(firstDivide, job, 0);
        if (!filled)
            splitQuarter(firstDivide, job);
        if (q < 3 && job.canvas.userHalt())
            return;
    }
}

void splitQuarter(const tagRECT& quarter, GridJob& job)
{
    if (job.deferQuarter)
        job.deferQuarter(quarter);
    else
        doGrid(quarter, job);
}
