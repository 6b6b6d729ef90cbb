#pragma once

#include <cstdint>
#include <functional>

#include "tools/output_files.h"

// The raw escape data of a frame as an OpenEXR file, in the layout that
// escape-time renderers share (proposed on fractalforums, "towards a common
// file format for 2D escape-time iteration data"):
//   N  (uint32)  the escape count plus IterationsBias (1, so that 0 keeps its
//                meaning of "no data"); 0xFFFFFFFF for a point that never
//                escaped within the limit, the int attribute Iterations;
//   NF (float)   the fraction, in [0, 1): N + NF - IterationsBias is the
//                continuous escape count;
//   DE (float)   the estimated distance to the set in pixels, 0 for a point
//                that never escaped.
// Text chunks go into the header as string attributes. ZIP-compressed
// scanlines, written row by row; false when the file failed (file.error()).
// Does not commit.
struct ExrRows {
    int width = 0, height = 0;
    std::int32_t maxIters = 0;
    // Fills one row, y from the top.
    std::function<void(int y, std::uint32_t* n, float* nf, float* de)> row;
};
constexpr std::uint32_t kExrNeverEscaped = 0xFFFFFFFFu;
constexpr int kExrIterationsBias = 1;

bool writeExr(OutputFile& file, const ExrRows& rows, const TextChunks& text);
