#pragma once

#include <cstdint>

#include "engine/colour_space.h"
#include "engine/colouring.h"
#include "engine/escape_time.h"

// The colour of one evaluated point under a colouring: a palette entry for
// the count colourings, a blend of two for the smooth one. Points that
// never escaped take the last entry.
struct PixelColour {
    Colouring rule = Colouring::Curve;
    std::int32_t maxIters = 100;
    double density = 1.0;  // the smooth colouring's
    const std::uint32_t* palette = nullptr;  // kPaletteSize entries, 0x00BBGGRR

    // Where the point falls on the palette: an index for the count
    // colourings, a position between two for the smooth one.
    double position(const Escape& e) const;
    std::int16_t index(const Escape& e) const;
    LinearRgb light(const Escape& e) const;
};
