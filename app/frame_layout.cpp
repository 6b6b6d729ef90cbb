#include "app/frame_layout.h"

#include <algorithm>

FrameLayout frameLayout(int w, int h)
{
    const int rectSide = (w - 30) / 2;
    const int ht = h - 20;
    // A client area too small for any frame gets empty ones, never negative.
    const int side = std::max(0, rectSide <= ht ? rectSide : ht);
    return {side, {10, 10, 10 + side, 10 + side}, {20 + side, 10, 20 + 2 * side, 10 + side}};
}
