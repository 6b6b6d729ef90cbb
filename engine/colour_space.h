#pragma once

#include <cstdint>

// sRGB and linear light, for blending colours as light adds up: palette
// entries blended between, supersamples averaged.

// The linear light of an 8-bit sRGB component, 0 to 1.
double srgbToLinear(std::uint8_t v);
// The nearest 8-bit sRGB component of linear light (clamped to 0 .. 1).
std::uint8_t linearToSrgb(double v);

// Light of a pixel, linear, each component 0 to 1.
struct LinearRgb {
    double r = 0.0, g = 0.0, b = 0.0;
};

// A palette entry (0x00BBGGRR) as light.
LinearRgb entryLight(std::uint32_t entry);
// Entries `position` rounded down and up, blended in linear light by the
// position's fraction.
LinearRgb blendEntries(const std::uint32_t* palette, double position);
