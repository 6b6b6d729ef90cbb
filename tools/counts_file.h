#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// The escape counts of a side-by-side frame, rows from the top, as a NumPy
// .npy file (format 1.0): dtype '<u4', shape (side, side), C order, the
// header padded to a multiple of 64 bytes.
QByteArray npyCounts(const std::vector<std::int32_t>& counts, int side);
