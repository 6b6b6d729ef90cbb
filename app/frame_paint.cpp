#include "app/frame_paint.h"

#include <QPainter>
#include <algorithm>

#include "app/gestures.h"
#include "app/shell_state.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "render/render_threads.h"

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

// While a deep frame computes its reference orbit, before its first pixel:
// how far it has come, over the frame rather than in its map, which stays
// the picture.
void drawOrbitProgress(QPainter& p, const tagRECT& r, const OrbitCounter& orbit, double ratio)
{
    const std::uint64_t planned = orbit.planned;
    if (planned == 0 || r.right <= r.left)
        return;
    const std::uint64_t percent = 100 * std::min<std::uint64_t>(orbit.points, planned) / planned;
    const QString text = QStringLiteral("Reference orbit %1%").arg(percent);
    p.save();
    QFont font = p.font();
    font.setPixelSize(std::max(8, qRound(11 * ratio)));
    p.setFont(font);
    const QRect box = p.fontMetrics().boundingRect(text).adjusted(-3, -2, 3, 2);
    const QRect placed = box.translated(r.left + qRound(4 * ratio) - box.left(), r.top + qRound(4 * ratio) - box.top());
    p.fillRect(placed, QColor(255, 255, 255));
    p.setPen(Qt::black);
    p.drawText(placed, Qt::AlignCenter, text);
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
    drawOrbitProgress(p, gJRect, orbitProgress(kJulia), ratio);
    drawOrbitProgress(p, gMRect, orbitProgress(kMandelbrot), ratio);
    if (gNumMsgs > kClickTicks)
        xorOutline(p, gFrame);
}
