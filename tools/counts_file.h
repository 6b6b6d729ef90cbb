#pragma once

#include <cstdint>
#include <functional>

#include "tools/output_files.h"

// Fills one row of escape counts, y counting from the top.
using CountRows = std::function<void(int y, std::uint32_t* counts)>;

// The escape counts of a frame of width x height pixels as a NumPy .npy
// file (format 1.0): dtype '<u4', shape (height, width), C order, the header
// padded to a multiple of 64 bytes; row by row. False when the file failed
// (see file.error()). Does not commit.
bool writeNpy(OutputFile& file, int width, int height, const CountRows& rows);
