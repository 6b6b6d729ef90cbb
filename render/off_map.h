#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/geometry.h"

using MapPixels = std::unique_ptr<std::atomic<std::uint32_t>[]>;

// The off-screen map of one frame: a pixel buffer of the frame's size in the
// display's format, 0xFFRRGGBB. A render thread writes it while the
// user-interface thread copies it, so each pixel is one atomic 32-bit word: a
// copy never sees half a pixel and shows what has been drawn so far.
class offBMP {
public:
    explicit offBMP(tagRECT sizeRect);
    offBMP(const offBMP&) = delete;
    offBMP& operator=(const offBMP&) = delete;

    void eraseMap();
    void plotXY(int x, int y, long clrIdx);
    // Paints the pixels of *r in the 0x00BBGGRR colour *c.
    void fillRect(const tagRECT* r, const unsigned long* c);
    // Copies all pixels into dest, `stride` pixels per row.
    void cpyMap2Win(std::uint32_t* dest, std::ptrdiff_t stride) const;
    std::uint32_t pixel(int x, int y) const;

    const tagRECT sizeRect;
    const std::uint16_t height;
    const std::uint16_t width;

private:
    MapPixels pixels_;
};

// Makes the pixels of a map, `count` of them; throws std::bad_alloc when it
// cannot. Replaceable so that a map that cannot be created can be tried; null
// puts the standard allocation back. Used on the user-interface thread only.
using MapAllocator = MapPixels (*)(std::size_t count);
void setMapAllocator(MapAllocator allocate);

// The maps of the two frames; created and replaced only by the layout, and
// only while neither frame has a render thread.
extern std::unique_ptr<offBMP> gJMap;
extern std::unique_ptr<offBMP> gMMap;

// The window background the maps are erased to (white).
constexpr std::uint32_t kWindowColor = 0x00FFFFFF;

// 0x00BBGGRR to the display's 0xFFRRGGBB.
constexpr std::uint32_t displayColor(std::uint32_t colorref)
{
    return 0xFF000000u | (colorref & 0xFFu) << 16 | (colorref & 0xFF00u) | (colorref >> 16 & 0xFFu);
}
