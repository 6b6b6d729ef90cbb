#pragma once

#include <cstdint>

// How an escape count becomes a palette index. Curve: the explorer's own
// rule, which compresses long escapes and stays on the last colour from
// count 10,075 on. Cycle: the count walks the palette up and down over
// indices 1 to 498 (1, 2, .. 498, 497, .. 2, 1, 2, ..), so that renders of
// hundreds of thousands of passes keep their colours and show no seam.
// Both give 0 to a count of 0 and 499 to a point that never escaped.
enum class Colouring { Curve, Cycle };

std::int16_t paletteIndex(Colouring rule, std::int32_t count, std::int32_t maxIters);
