#include "engine/block_steps.h"

#include <algorithm>

namespace {

// How far the top row and the row below the block are sampled. A block of a
// square frame is as wide as it is high, or a pixel off: its rows are sampled
// as far as it is high, as the window always did. A block of a frame that is
// wider or narrower than that has its rows sampled across its width.
int rowSamples(const tagRECT& b)
{
    const int width = std::max(0, b.right - b.left), height = std::max(0, b.bottom - b.top);
    return width - height > 1 || height - width > 1 ? width : height;
}

} // namespace

int outlineSamples(const tagRECT& b) { return 1 + 2 * (rowSamples(b) + std::max(0, b.bottom - b.top)); }

tagPOINT outlineSample(const tagRECT& b, int n)
{
    if (n == 0)
        return {b.left, b.top};
    const int rows = rowSamples(b), columns = std::max(0, b.bottom - b.top);
    // Four samples a step while both kinds go on, then two of the longer kind.
    const int both = std::min(rows, columns);
    const int k = n - 1;
    if (k < 4 * both) {
        const int dist = k / 4;
        switch (k % 4) {
        case 0: return {b.left + dist, b.top};
        case 1: return {b.left + dist, b.bottom};
        case 2: return {b.right, b.top + dist};
        default: return {b.left, b.top + dist};
        }
    }
    const int dist = both + (k - 4 * both) / 2;
    const bool first = (k - 4 * both) % 2 == 0;
    if (rows > columns)
        return first ? tagPOINT{b.left + dist, b.top} : tagPOINT{b.left + dist, b.bottom};
    return first ? tagPOINT{b.right, b.top + dist} : tagPOINT{b.left, b.top + dist};
}

void paintBlock(const tagRECT& b, const Escape& e, GridJob& job)
{
    const tagRECT part = wantedPart(b, job);
    if (isEmpty(part))
        return;
    if (eachPixel(e, job))
        DoRect(part, job, 0);
    else
        job.canvas.paintRect(part, e);
}
