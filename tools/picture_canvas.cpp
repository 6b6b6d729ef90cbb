#include "tools/picture_canvas.h"

#include <algorithm>
#include <cmath>

#include "engine/palette.h"

EscapeCanvas::EscapeCanvas(const tagRECT& part, bool countPixels, bool keepCounts, EscapeDetail detail)
    : part_(part), width_(part.right - part.left), countPixels_(countPixels),
      indices_(static_cast<std::size_t>(part.right - part.left) * static_cast<std::size_t>(part.bottom - part.top)),
      counts_(keepCounts || detail != EscapeDetail::Count ? indices_.size() : 0),
      fractions_(detail != EscapeDetail::Count ? indices_.size() : 0),
      distances_(detail == EscapeDetail::Distance ? indices_.size() : 0)
{}

void EscapeCanvas::plotXY(int x, int y, int clrIdx)
{
    indices_[at(x, y)] = static_cast<std::uint16_t>(clrIdx);
    if (countPixels_)
        plotted_.fetch_add(1, std::memory_order_relaxed);
}

void EscapeCanvas::plotEscape(int x, int y, const Escape& e)
{
    const std::size_t i = at(x, y);
    if (!counts_.empty())
        counts_[i] = e.count;
    if (!fractions_.empty())
        fractions_[i] = e.fraction;
    if (!distances_.empty())
        distances_[i] = e.distance;
    plotXY(x, y, e.colorIdx);
}

void EscapeCanvas::paintRect(const tagRECT& b, const Escape& e)
{
    const int width = b.right - b.left;
    if (width <= 0 || b.bottom <= b.top)
        return;
    for (int y = b.top; y < b.bottom; ++y) {
        const auto first = static_cast<std::ptrdiff_t>(at(b.left, y));
        std::fill_n(indices_.begin() + first, width, static_cast<std::uint16_t>(e.colorIdx));
        if (!counts_.empty())
            std::fill_n(counts_.begin() + first, width, e.count);
        if (!fractions_.empty())
            std::fill_n(fractions_.begin() + first, width, e.fraction);
        if (!distances_.empty())
            std::fill_n(distances_.begin() + first, width, e.distance);
    }
    if (countPixels_)
        plotted_.fetch_add(static_cast<std::uint64_t>(width) * (b.bottom - b.top), std::memory_order_relaxed);
}

Escape EscapeCanvas::escape(std::size_t i) const
{
    Escape e{counts_.empty() ? 0 : counts_[i], static_cast<std::int16_t>(indices_[i]), 0};
    if (!fractions_.empty())
        e.fraction = fractions_[i];
    if (!distances_.empty())
        e.distance = distances_[i];
    return e;
}

void EscapeCanvas::recolour(const PixelColour& colour)
{
    for (std::size_t i = 0; i < counts_.size(); ++i)
        indices_[i] = static_cast<std::uint16_t>(colour.index(escape(i)));
}

namespace {

// Light in units of 2^-40: 256 samples of full light stay far inside 64 bits.
constexpr double kUnit = 0x1p40;

} // namespace

LightCanvas::LightCanvas(const tagRECT& part, int k, const PixelColour& colour, bool countSamples, bool shared)
    : left_(part.left), width_(part.right - part.left), top_(part.top), height_(part.bottom - part.top), k_(k),
      colour_(colour), countSamples_(countSamples), shared_(shared),
      sums_(new std::atomic<std::uint64_t>[static_cast<std::size_t>(width_) * height_ * 3])
{
    static_assert(kPaletteEntries == kPaletteSize);
    for (std::size_t i = 0; i < static_cast<std::size_t>(width_) * height_ * 3; ++i)
        sums_[i].store(0, std::memory_order_relaxed);
    for (int i = 0; i < kPaletteEntries; ++i)
        entries_[i] = fixed(entryLight(colour.palette[i]));
}

LightCanvas::Light LightCanvas::fixed(const LinearRgb& light)
{
    return {{static_cast<std::uint64_t>(std::llround(light.r * kUnit)),
             static_cast<std::uint64_t>(std::llround(light.g * kUnit)),
             static_cast<std::uint64_t>(std::llround(light.b * kUnit))}};
}

void LightCanvas::add(int x, int y, const Light& light, std::uint64_t samples)
{
    std::atomic<std::uint64_t>* sum = &sums_[(static_cast<std::size_t>(y - top_) * width_ + (x - left_)) * 3];
    for (int c = 0; c < 3; ++c) {
        if (shared_)
            sum[c].fetch_add(samples * light.c[c], std::memory_order_relaxed);
        else
            sum[c].store(sum[c].load(std::memory_order_relaxed) + samples * light.c[c], std::memory_order_relaxed);
    }
}

// A sample is a pixel of the larger picture: its colour in 8-bit sRGB, as
// that picture would hold it, taken back to light.
LightCanvas::Light LightCanvas::sampleLight(const Escape& e) const
{
    if (!followsFraction(colour_.rule))
        return entries_[colour_.index(e)];  // a palette entry, 8-bit already
    const LinearRgb light = colour_.light(e);
    return fixed({srgbToLinear(linearToSrgb(light.r)), srgbToLinear(linearToSrgb(light.g)),
                  srgbToLinear(linearToSrgb(light.b))});
}

void LightCanvas::plotXY(int x, int y, int clrIdx)
{
    add(x / k_, y / k_, entries_[clrIdx], 1);
    if (countSamples_)
        plotted_.fetch_add(1, std::memory_order_relaxed);
}

void LightCanvas::plotEscape(int x, int y, const Escape& e)
{
    add(x / k_, y / k_, sampleLight(e), 1);
    if (countSamples_)
        plotted_.fetch_add(1, std::memory_order_relaxed);
}

void LightCanvas::paintRect(const tagRECT& b, const Escape& e)
{
    if (b.right <= b.left || b.bottom <= b.top)
        return;
    const Light light = sampleLight(e);
    for (int py = b.top / k_; py * k_ < b.bottom; ++py) {
        const int rows = std::min(b.bottom, (py + 1) * k_) - std::max(b.top, py * k_);
        for (int px = b.left / k_; px * k_ < b.right; ++px) {
            const int columns = std::min(b.right, (px + 1) * k_) - std::max(b.left, px * k_);
            add(px, py, light, static_cast<std::uint64_t>(rows) * columns);
        }
    }
    if (countSamples_)
        plotted_.fetch_add(static_cast<std::uint64_t>(b.right - b.left) * (b.bottom - b.top),
                           std::memory_order_relaxed);
}

void LightCanvas::pixel(int x, int y, std::uint8_t* rgb) const
{
    const double samples = static_cast<double>(k_) * k_;
    const std::size_t i = static_cast<std::size_t>(y - top_) * width_ + (x - left_);
    for (int c = 0; c < 3; ++c)
        rgb[c] = linearToSrgb(static_cast<double>(sums_[i * 3 + c].load(std::memory_order_relaxed)) / kUnit / samples);
}
