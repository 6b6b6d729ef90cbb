#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "engine/frame_spec.h"
#include "engine/geometry.h"

// Deep views as the window moves through them, worked out in MPFR from the
// decimals: a zoom's new view, the point of a pixel. New centres are written
// to a ten-billionth of the new pixel (their rounding stays far below
// anything a frame shows), radii to 17 significant digits. Pixels and
// selections are in the frame's own pixels, (0, 0) at its top-left corner.

// The view a selection shows: centred on the midpoint of its corners
// (left, top) and (right, bottom), of half the width between them.
DeepView zoomDeep(const DeepView& view, std::int32_t size, const tagRECT& selection);

// The same from a plane view, its pixel rule (p Xpxl + Xmin, Ymax - q Ypxl)
// taken exactly rather than in doubles: the first zoom past the switch.
DeepView zoomPlaneToDeep(double Xmin, double Ymax, double Xpxl, double Ypxl, std::int32_t size,
                         const tagRECT& selection);

// The point of a pixel, as two decimals.
std::pair<std::string, std::string> deepPixelPoint(const DeepView& view, std::int32_t size, tagPOINT pixel);

// The edges of the view, each rounded to the nearest double.
PlaneView nearestPlane(const DeepView& view);

// log10 of the plane size of a pixel, 2 radius / size.
double pixelLog10(const DeepView& view, std::int32_t size);

// The window's automatic limit for a deep frame: 9000, the explorer's
// highest, where doubles end (a pixel of 2^-40 of the edges' magnitude, or
// 2^-1000), and 1000 more for each decimal digit of depth past that; at
// most 10,000,000.
std::int32_t deepWindowIters(const DeepView& view, std::int32_t size);
