#include "app/selection.h"

#include "engine/view.h"
#include "render/stop.h"

tagPOINT gLastMClick;
int gNumMsgs = 0;
tagRECT gFrame;

namespace {
// The selection's corners with their fractions, and its growth per step: it
// starts in the proportions of the frame that bounds it and keeps them.
double ULx, ULy, LRx, LRy;
double RectLen, RectHt;
double Xinc, Yinc;

void startSelection(const tagRECT& boundsRect)
{
    const double x = gLastMClick.x, y = gLastMClick.y;
    RectLen = boundsRect.right - boundsRect.left;
    RectHt = boundsRect.bottom - boundsRect.top;
    Xinc = RectLen > RectHt ? RectLen / RectHt : 1.0;
    Yinc = RectLen < RectHt ? RectHt / RectLen : 1.0;
    ULx = x - Xinc;
    ULy = y - Yinc;
    LRx = x + Xinc;
    LRy = y + Yinc;
}

// Each edge moves outward by one increment; one that has reached the frame
// stays, and the opposite edge moves twice instead.
void growSelection(const tagRECT& b)
{
    const double top = b.top, left = b.left, bottom = b.bottom - 1, right = b.right - 1;
    if (top < ULy)
        ULy -= Yinc;
    else if (bottom > LRy)
        LRy += Yinc;
    if (left < ULx)
        ULx -= Xinc;
    else if (right > LRx)
        LRx += Xinc;
    if (bottom > LRy)
        LRy += Yinc;
    else if (top < ULy)
        ULy -= Yinc;
    if (right > LRx)
        LRx += Xinc;
    else if (left < ULx)
        ULx -= Xinc;
}
} // namespace

int SelectRange(const tagRECT& boundsRect)
{
    ++gNumMsgs;
    if (gNumMsgs == 1)
        startSelection(boundsRect);
    if (gNumMsgs <= kClickTicks)
        return 0;
    stopThread(kBothFrames);
    growSelection(boundsRect);
    gFrame = {static_cast<int>(ULx), static_cast<int>(ULy), static_cast<int>(LRx), static_cast<int>(LRy)};
    return 1;
}
