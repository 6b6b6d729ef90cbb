#pragma once

#include <cstdint>

// How an escape count becomes a palette index. Curve: the explorer's own
// rule, which compresses long escapes and stays on the last colour from
// count 10,075 on. Cycle: the count walks the palette up and down over
// indices 1 to 498 (1, 2, .. 498, 497, .. 2, 1, 2, ..), so that renders of
// hundreds of thousands of passes keep their colours and show no seam.
// Extended: the curve up to count 10,074, and past it the same cube-root
// curve continued, walking the palette down and up over indices 1 to 498
// (498 at 10,075, one below the curve's last), so that deep frames, whose
// counts run far past the curve, keep the colours of the frames above
// them and show bands that widen with the count. All give 0 to a count of
// 0 or 1 and 499 to a point that never escaped.
// Smooth: the continuous escape value (count + fraction, escape_value.h)
// through a logarithm, walking the palette up and down over indices 1 to 498
// with its entries blended: bands of colour however far the counts run.
// Distance: the smooth colouring darkened where the estimated distance to
// the set is below a few pixels, so that filaments show however thin.
enum class Colouring { Curve, Cycle, Extended, Smooth, Distance };

// The index of a count; the smooth colouring's is that of the count alone,
// at density 1 (smoothPosition rounded).
std::int16_t paletteIndex(Colouring rule, std::int32_t count, std::int32_t maxIters);

// Whether the colouring follows each escape's fraction, and its distance.
inline bool followsFraction(Colouring rule) { return rule == Colouring::Smooth || rule == Colouring::Distance; }
inline bool followsDistance(Colouring rule) { return rule == Colouring::Distance; }

// How much of its smooth colour's light a pixel keeps at this distance to
// the set, in pixels: none on it, half at half a pixel, nearly all from
// three pixels out.
double distanceShade(double pixels);

// Where the smooth colouring puts a continuous escape value on the palette,
// 1 to 498: 1 + density * 300 ln(1 + value), walked up and down. A density
// of 2 makes the bands twice as narrow.
double smoothPosition(double value, double density);
