#include "render/off_map.h"

#include <algorithm>
#include <new>

#include "engine/fatal.h"
#include "engine/palette.h"

std::unique_ptr<offBMP> gJMap;
std::unique_ptr<offBMP> gMMap;

namespace {
MapPixels newPixels(std::size_t count) { return MapPixels(new std::atomic<std::uint32_t>[count]); }
MapAllocator allocatePixels = newPixels;
}

void setMapAllocator(MapAllocator allocate) { allocatePixels = allocate ? allocate : newPixels; }

offBMP::offBMP(tagRECT r)
    : sizeRect(r),
      height(static_cast<std::uint16_t>(r.bottom - r.top)),
      width(static_cast<std::uint16_t>(r.right - r.left))
{
    try {
        pixels_ = allocatePixels(std::size_t{width} * height);
    } catch (const std::bad_alloc&) {
        // The map stays without pixels: every operation below then does nothing.
        raiseFatal("couldn't make bitmap at offBMP");
    }
    eraseMap();
}

void offBMP::eraseMap()
{
    const tagRECT all{0, 0, width, height};
    const unsigned long background = kWindowColor;
    fillRect(&all, &background);
}

void offBMP::plotXY(int x, int y, long clrIdx)
{
    if (pixels_ && static_cast<unsigned>(x) < width && static_cast<unsigned>(y) < height)
        pixels_[static_cast<std::size_t>(y) * width + x].store(displayColor(gColorList[clrIdx]),
                                                               std::memory_order_relaxed);
}

void offBMP::fillRect(const tagRECT* r, const unsigned long* c)
{
    if (!pixels_)
        return;
    const std::uint32_t colour = displayColor(static_cast<std::uint32_t>(*c));
    const int left = std::max(0, r->left), right = std::min<int>(width, r->right);
    const int top = std::max(0, r->top), bottom = std::min<int>(height, r->bottom);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            pixels_[static_cast<std::size_t>(y) * width + x].store(colour, std::memory_order_relaxed);
}

void offBMP::cpyMap2Win(std::uint32_t* dest, std::ptrdiff_t stride) const
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            dest[y * stride + x] = pixel(x, y);
}

std::uint32_t offBMP::pixel(int x, int y) const
{
    return pixels_ ? pixels_[static_cast<std::size_t>(y) * width + x].load(std::memory_order_relaxed)
                   : displayColor(kWindowColor);
}
