#include "app/frame_paint.h"

#include <QPainter>
#include <algorithm>

#include "app/gestures.h"
#include "app/shell_state.h"
#include "engine/view.h"
#include "render/off_map.h"

namespace {

// A black border of width b just outside the frame.
void drawBorder(QPainter& p, const tagRECT& r, int b)
{
    const int w = r.right - r.left + 2 * b, h = r.bottom - r.top + 2 * b;
    p.fillRect(r.left - b, r.top - b, w, b, Qt::black);
    p.fillRect(r.left - b, r.bottom, w, b, Qt::black);
    p.fillRect(r.left - b, r.top - b, b, h, Qt::black);
    p.fillRect(r.right, r.top - b, b, h, Qt::black);
}

void copyPixels(const offBMP& map, QImage& image)
{
    map.cpyMap2Win(reinterpret_cast<std::uint32_t*>(image.bits()), image.bytesPerLine() / 4);
}

// The selection outline: dotted, pure red, exclusive-or with what is below,
// traced from the top-left corner down, right, up and back.
void xorOutline(QPainter& p, const tagRECT& f)
{
    const tagPOINT corners[5] = {{f.left, f.top}, {f.left, f.bottom}, {f.right, f.bottom}, {f.right, f.top}, {f.left, f.top}};
    QPolygon dots;
    int step = 0;
    for (int side = 0; side < 4; ++side) {
        tagPOINT at = corners[side];
        const tagPOINT end = corners[side + 1];
        const int dx = (end.x > at.x) - (end.x < at.x), dy = (end.y > at.y) - (end.y < at.y);
        for (; !(at == end); at.x += dx, at.y += dy, ++step)
            if (step % 2 == 0)
                dots << QPoint(at.x, at.y);
    }
    p.save();
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(QPen(QColor(255, 0, 0), 0));
    p.drawPoints(dots);
    p.restore();
}

} // namespace

QImage mapImage(const offBMP& map)
{
    QImage image(map.width, map.height, QImage::Format_RGB32);
    copyPixels(map, image);
    return image;
}

void FramePainter::drawMap(QPainter& p, const QRect& exposed, const offBMP* map, const tagRECT& r, QImage& pixels)
{
    if (!map || !exposed.intersects(QRect(r.left, r.top, map->width, map->height)))
        return;
    if (pixels.width() != map->width || pixels.height() != map->height)
        pixels = QImage(map->width, map->height, QImage::Format_RGB32);
    copyPixels(*map, pixels);
    p.drawImage(r.left, r.top, pixels);
}

void FramePainter::paint(QPainter& p, QSize size, const QRect& exposed, bool laidOut, double ratio)
{
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    if (gUsrSzWin)
        return;
    // The grip and the borders keep their size on the screen; only the
    // frames gain the device's resolution.
    const auto scaled = [ratio](int v) { return qRound(v * ratio); };
    const int gripSide = scaled(kGripImageSide);
    p.drawImage(QRect(scaled(gWinRect.right - kGripImageSide), scaled(gWinRect.bottom - kGripImageSide), gripSide,
                      gripSide),
                grip_);
    if (laidOut) {
        const int border = std::max(1, scaled(1));
        drawBorder(p, gJRect, border);
        drawBorder(p, gMRect, border);
    }
    drawMap(p, exposed, gJMap.get(), gJRect, julia_);
    drawMap(p, exposed, gMMap.get(), gMRect, mandelbrot_);
    if (gNumMsgs > kClickTicks)
        xorOutline(p, gFrame);
}
