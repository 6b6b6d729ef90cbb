#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/frame_spec.h"
#include "engine/frame_switch.h"
#include "engine/geometry.h"

// The plane rectangle one frame shows, the size of one pixel in plane units,
// the frame's size in pixels and the iteration limit of its points. Render
// threads read these while the user-interface thread may rewrite them, so
// every field is read and written whole.
struct grafStats {
    std::atomic<double> Xmin{0.0}, Xmax{0.0}, Ymin{0.0}, Ymax{0.0};
    std::atomic<double> Xpxl{0.0}, Ypxl{0.0};
    std::atomic<std::int32_t> vertpxls{0}, horizpxls{0};
    std::atomic<std::int32_t> iters{0};
};

// The shared view state, written on the user-interface thread only.
extern grafStats Jgraph;                     // Julia frame (left)
extern grafStats Mgraph;                     // Mandelbrot frame (right)
extern std::atomic<double> Jreal, Jcomplex;  // the Julia constant
extern std::atomic<std::int16_t> whichFunc;  // 1..4: z^2, z^3, z^5, z^10; 5: complex power
extern std::atomic<double> gRealExpon, gCplxExpon;
extern std::atomic<std::int32_t> gIterFlag;  // 1 automatic limits, 2 manual
extern tagRECT gJRect, gMRect;               // frame rectangles in the window

// A frame zoomed past where doubles end shows a deep view instead of its
// record's rectangle, which then holds the nearest doubles of its edges.
// Written and read on the user-interface thread only: a render is handed
// its frame as a value (frameSpec).
extern std::optional<DeepView> gJDeep, gMDeep;
// The Julia constant as decimals, when it was picked in a deep frame; empty
// when it is exactly Jreal + i Jcomplex. User-interface thread only.
extern std::string gJrealText, gJcomplexText;

constexpr int kMaxAutoIters = 9000;

void loadStats(grafStats* s, double Xmin, double Xmax, double Ymin, double Ymax);
void newPxl();
void ConvertMouse(tagPOINT point, const grafStats* range, const tagRECT* grafArea,
                  double* x, double* y);

// The view state the program starts with: both frames on the square -2..2,
// limits 100 in automatic mode, z^2 + c, Julia constant 0.63i.
void setStartState();

// The automatic iteration limit for a pixel width.
std::int32_t autoIters(double Xpxl);

// The view record of frame 11 (Mgraph) or 22 (Jgraph), and its deep view.
const grafStats& frameView(short FuncSwitch);
std::optional<DeepView>& frameDeepView(short FuncSwitch);

// The frame as the view state stands now: what a render of it is handed.
// The limit is the record's, which the menus may change while a plane
// frame renders (frameLimit); a deep frame's is fixed with its orbit.
FrameSpec frameSpec(short FuncSwitch);
const std::atomic<std::int32_t>& frameLimit(short FuncSwitch);

// The Julia constant, with its decimals.
JuliaConstant juliaConstant();
