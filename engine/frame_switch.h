#pragma once

// Frame switches: which frame an operation is about.
constexpr short kMandelbrot = 11;
constexpr short kJulia = 22;
constexpr short kBothFrames = 33;
