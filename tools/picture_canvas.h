#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/block_render.h"
#include "engine/pixel_colour.h"

constexpr int kPaletteEntries = 500;

// Rows of a band of a supersampled picture (LightCanvas): some 2 million
// pixels, 48 MB of sums, whatever the picture's size.
inline int bandRows(int width) { return std::max(1, (1 << 21) / std::max(1, width)); }

// What a render draws into in kavrel-render.

// One evaluation a pixel: its palette index, and its escape count, fraction
// and distance where they are wanted (for --counts, or for colourings that
// need them). Counts the pixels plotted when progress is shown. It holds a
// part of the frame (a tile of a poster, or all of it) and wants only that:
// pixel i of escape() and the vectors is row i / width() of the part, column
// i % width(), from its top left.
class EscapeCanvas final : public FrameCanvas {
public:
    EscapeCanvas(const tagRECT& part, bool countPixels, bool keepCounts, EscapeDetail detail);
    tagRECT wanted() const override { return part_; }
    void plotXY(int x, int y, int clrIdx) override;
    void plotEscape(int x, int y, const Escape& e) override;
    // Most of a frame is painted blocks: a row at a time, not a call a pixel.
    void paintRect(const tagRECT& b, const Escape& e) override;
    bool userHalt() override { return halted_; }

    // The palette indices of another colouring, from the counts (and
    // fractions).
    void recolour(const PixelColour& colour);
    // The escape of pixel i (row by row), as far as it was kept.
    Escape escape(std::size_t i) const;

    int width() const { return width_; }
    const std::vector<std::uint16_t>& indices() const { return indices_; }
    const std::vector<std::int32_t>& counts() const { return counts_; }
    const std::atomic<std::uint64_t>& plotted() const { return plotted_; }
    void halt() { halted_ = true; }

private:
    std::size_t at(int x, int y) const
    {
        return static_cast<std::size_t>(y - part_.top) * static_cast<std::size_t>(width_) + (x - part_.left);
    }

    tagRECT part_;
    int width_;
    bool countPixels_;
    std::vector<std::uint16_t> indices_;
    std::vector<std::int32_t> counts_;
    std::vector<float> fractions_, distances_;
    std::atomic<std::uint64_t> plotted_{0};
    std::atomic<bool> halted_{false};
};

// The light of a frame rendered at K times its size, summed over each K x K
// group of samples: a supersampled picture that holds one sum a pixel, never
// the samples, for a band of its rows (the canvas wants the samples of
// those). Sums are of fixed-point light, so that threads may add in any
// order and the picture stays the same. A block painted in one colour adds
// that colour once for each pixel it covers, whatever its area in samples.
class LightCanvas final : public FrameCanvas {
public:
    // The pixels `part` of a picture (a band of its rows, or of a tile's),
    // k x k samples a pixel, coloured by `colour`, drawn by one thread
    // (`shared` false: the sums need no locked additions) or many.
    LightCanvas(const tagRECT& part, int k, const PixelColour& colour, bool countSamples, bool shared);
    tagRECT wanted() const override
    {
        return {left_ * k_, top_ * k_, (left_ + width_) * k_, (top_ + height_) * k_};
    }
    void plotXY(int x, int y, int clrIdx) override;
    void plotEscape(int x, int y, const Escape& e) override;
    void paintRect(const tagRECT& b, const Escape& e) override;
    bool userHalt() override { return halted_; }

    // The mean light of pixel x of row y (of the picture, inside the part),
    // encoded as sRGB.
    void pixel(int x, int y, std::uint8_t* rgb) const;
    int top() const { return top_; }
    int bottom() const { return top_ + height_; }
    const std::atomic<std::uint64_t>& plotted() const { return plotted_; }
    void halt() { halted_ = true; }

private:
    // A sample's light in fixed point, one value a channel.
    struct Light {
        std::uint64_t c[3];
    };
    static Light fixed(const LinearRgb& light);
    void add(int x, int y, const Light& light, std::uint64_t samples);
    Light sampleLight(const Escape& e) const;

    int left_, width_, top_, height_, k_;
    PixelColour colour_;
    bool countSamples_, shared_;
    Light entries_[kPaletteEntries];  // of each palette entry
    std::unique_ptr<std::atomic<std::uint64_t>[]> sums_;  // 3 a pixel
    std::atomic<std::uint64_t> plotted_{0};
    std::atomic<bool> halted_{false};
};
