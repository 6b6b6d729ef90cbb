#include "app/frame_layout.h"

#include <algorithm>
#include <memory>

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

void layOutFrames(const tagRECT& client)
{
    haltRenders();
    gWinRect = client;
    const FrameLayout layout = frameLayout(gWinRect.right, gWinRect.bottom);
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
