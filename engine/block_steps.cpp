#include "engine/block_steps.h"

#include <algorithm>

int outlineSamples(const tagRECT& b) { return 1 + 4 * std::max(0, b.bottom - b.top); }

tagPOINT outlineSample(const tagRECT& b, int n)
{
    if (n == 0)
        return {b.left, b.top};
    const int dist = (n - 1) / 4;
    switch ((n - 1) % 4) {
    case 0: return {b.left + dist, b.top};
    case 1: return {b.left + dist, b.bottom};
    case 2: return {b.right, b.top + dist};
    default: return {b.left, b.top + dist};
    }
}

void paintBlock(const tagRECT& b, const Escape& e, GridJob& job) { job.canvas.paintRect(b, e); }
