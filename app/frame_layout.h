#pragma once

#include "engine/geometry.h"

// Two square frames of equal side in a client area of w x h pixels: 10 pixels
// left, above and between them; what is left over goes to the right and the
// bottom margins.
struct FrameLayout {
    int side;
    tagRECT julia;       // left frame
    tagRECT mandelbrot;  // right frame
};

FrameLayout frameLayout(int w, int h);

// Lays the frames out in the client area `client`: both renders are stopped
// and waited for, the frames take their rectangles, the maps are made anew at
// their size, and both renders start on them.
void layOutFrames(const tagRECT& client);
