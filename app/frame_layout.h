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

// A layout in the pixels of a device with `ratio` of them to a logical pixel:
// each position and the side scaled and rounded as Qt rounds, so that the
// frames keep their place in the window and are drawn at the device's
// resolution.
FrameLayout deviceLayout(const FrameLayout& logical, double ratio);

// Lays the frames out in the client area `client`, given in logical pixels,
// on a device of `ratio`: both renders are stopped and waited for, the frames
// take their rectangles in device pixels, the maps are made anew at their
// size, and both renders start on them.
void layOutFrames(const tagRECT& client, double ratio);
