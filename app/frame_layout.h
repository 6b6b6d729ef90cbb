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
