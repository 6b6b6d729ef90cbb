#pragma once

#include <cstdint>
#include <vector>

#include "engine/block_render.h"

// A canvas that keeps the escape count of every pixel of a square frame
// (-1 where nothing was plotted), rows from the top.
class CountCanvas final : public FrameCanvas {
public:
    explicit CountCanvas(int side) : side_(side), counts_(static_cast<std::size_t>(side) * side, -1) {}
    void plotXY(int, int, int) override {}
    void plotEscape(int x, int y, const Escape& e) override { counts_[index(x, y)] = e.count; }
    bool userHalt() override { return false; }

    std::int32_t at(int x, int y) const { return counts_[index(x, y)]; }
    const std::vector<std::int32_t>& counts() const { return counts_; }

private:
    std::size_t index(int x, int y) const { return static_cast<std::size_t>(y) * side_ + x; }

    int side_;
    std::vector<std::int32_t> counts_;
};
