#pragma once

#include <cstdint>

// Rectangles and points in pixels, as the window and the maps use them:
// right and bottom lie just outside the rectangle.
struct tagRECT {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const tagRECT&, const tagRECT&) = default;
};

struct tagPOINT {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const tagPOINT&, const tagPOINT&) = default;
};

// Left and top inclusive, right and bottom exclusive.
inline bool PtInRect(const tagRECT& r, tagPOINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
