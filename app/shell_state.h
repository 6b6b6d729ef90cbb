#pragma once

#include "engine/geometry.h"

// State of the main window, owned by the user-interface thread. Lengths are
// logical pixels; the frame rectangles gJRect and gMRect alone are in the
// device's pixels, which their maps hold one for one.
extern tagRECT gWinRect;    // the client area at the last layout
extern int gUsrSzWin;       // 1 while the user sizes the window
extern int gWasMinimized;   // set at the first minimize, never cleared
extern int gThumbSz;        // side of the size grip

constexpr int kGripImageSide = 16;
