#include "app/frame_layout.h"

#include <algorithm>
#include <memory>

#include <QtGlobal>

#include "app/shell_state.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "render/render_threads.h"

FrameLayout frameLayout(int w, int h)
{
    const int rectSide = (w - 30) / 2;
    const int ht = h - 20;
    // A client area too small for any frame gets empty ones, never negative.
    const int side = std::max(0, rectSide <= ht ? rectSide : ht);
    return {side, {10, 10, 10 + side, 10 + side}, {20 + side, 10, 20 + 2 * side, 10 + side}};
}

FrameLayout deviceLayout(const FrameLayout& logical, double ratio)
{
    const auto scaled = [ratio](int v) { return qRound(v * ratio); };
    const int side = scaled(logical.side);
    const auto frame = [&](const tagRECT& r) {
        const int left = scaled(r.left), top = scaled(r.top);
        return tagRECT{left, top, left + side, top + side};
    };
    return {side, frame(logical.julia), frame(logical.mandelbrot)};
}

void layOutFrames(const tagRECT& client, double ratio)
{
    haltRenders();
    gWinRect = client;
    const FrameLayout layout = deviceLayout(frameLayout(gWinRect.right, gWinRect.bottom), ratio);
    gJRect = layout.julia;
    gMRect = layout.mandelbrot;
    // The old maps go before the new ones are made: never both pairs at once.
    gJMap.reset();
    gMMap.reset();
    const tagRECT mapRect{0, 0, layout.side, layout.side};
    gJMap = std::make_unique<offBMP>(mapRect);
    gMMap = std::make_unique<offBMP>(mapRect);
    newPxl();
    drawFigure(mapRect, kMandelbrot);
    drawFigure(mapRect, kJulia);
}
