#include "engine/block_render.h"

#include <algorithm>

#include "engine/escape_time.h"
#include "engine/view.h"

namespace {

const grafStats& viewOf(short FuncSwitch) { return FuncSwitch == kMandelbrot ? Mgraph : Jgraph; }

// Evaluates pixel (col, row). In the Julia frame the pixel's point is z0 and
// cvar holds the constant; in the Mandelbrot frame z0 is 0 and the point is c.
// The limit is read afresh for every point: the menus may change it mid-render.
Escape evaluate(double* xvar, double* cvar, int col, int row, GridJob& job)
{
    const grafStats& g = viewOf(job.FuncSwitch);
    double* varying = job.FuncSwitch == kMandelbrot ? cvar : xvar;
    varying[0] = planeRe(g, col);
    varying[1] = planeIm(g, row);
    if (job.FuncSwitch == kMandelbrot)
        xvar[0] = xvar[1] = 0.0;
    const Escape e = EscapeTime(xvar, cvar, std::max(1, g.iters.load()));
    ++job.stats.evaluations;
    job.stats.iterations += static_cast<std::uint64_t>(e.passes);
    return e;
}

// Samples the block's closed outline a row at a time against the count of its
// upper-left corner: the top row and the row just below the block at as many
// columns as the block has rows, and the columns left and just right of it.
bool outlineTest(double* xvar, double* cvar, const tagRECT& b, GridJob& job)
{
    const Escape corner = evaluate(xvar, cvar, b.left, b.top, job);
    const std::int32_t ULiters = corner.count;
    int colour = corner.colorIdx;
    for (int i = b.top; i < b.bottom; ++i) {
        if (job.canvas.userHalt())
            return false;
        const int dist = i - b.top;
        const tagPOINT samples[4] = {
            {b.left + dist, b.top}, {b.left + dist, b.bottom}, {b.right, i}, {b.left, i}};
        for (const tagPOINT& p : samples) {
            const Escape e = evaluate(xvar, cvar, p.x, p.y, job);
            if (e.count != ULiters)
                return false;
            colour = e.colorIdx;
        }
    }
    for (int down = b.top; down < b.bottom; ++down)
        for (int across = b.left; across < b.right; ++across)
            job.canvas.plotXY(across, down, colour);
    return true;
}

bool computeBlock(double* xvar, double* cvar, const tagRECT& b, GridJob& job)
{
    for (int i = b.top; i < b.bottom; ++i) {
        if (job.canvas.userHalt())
            return false;
        for (int j = b.left; j < b.right; ++j) {
            if (job.canvas.userHalt())
                return false;
            job.canvas.plotXY(j, i, evaluate(xvar, cvar, j, i, job).colorIdx);
        }
    }
    return true;
}

} // namespace

bool DoRect(double* xvar, double* cvar, tagRECT theBlock, GridJob& job, int opSwitch)
{
    return opSwitch == 1 ? outlineTest(xvar, cvar, theBlock, job)
                         : computeBlock(xvar, cvar, theBlock, job);
}

void doGrid(tagRECT StartRect, GridJob& job)
{
    double x[2] = {0.0, 0.0};
    double JuliaC[2] = {Jreal, Jcomplex};
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
    for (int q = 0; q < 4; ++q) {
        const tagRECT& firstDivide = quarters[q];
        bool filled = DoRect(x, JuliaC, firstDivide, job, 1);
        // Both halves must exceed 20 pixels for a failing quarter to be split again.
        if (!filled && (distX <= 20 || distY <= 20))
            filled = DoRect(x, JuliaC, firstDivide, job, 0);
        if (!filled) {
            if (job.deferQuarter)
                job.deferQuarter(firstDivide);
            else
                doGrid(firstDivide, job);
        }
        if (q < 3 && job.canvas.userHalt())
            return;
    }
}
