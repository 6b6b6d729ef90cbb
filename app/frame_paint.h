#pragma once

#include <QImage>
#include <QRect>

#include "engine/geometry.h"

class offBMP;
class QPainter;

// A map's pixels as an image of its size.
QImage mapImage(const offBMP& map);

// Composes what the client area shows: white, the grip image in the corner,
// a border around each frame, the frames from their maps and, while a
// selection shows, its outline. Keeps one image per frame for the maps'
// pixels, so that repainting allocates nothing while the frames keep their size.
class FramePainter {
public:
    explicit FramePainter(QImage gripImage) : grip_(std::move(gripImage)) {}

    // Paints the part `exposed` of a client area of `size` through `p`, all
    // three in the pixels of a device of `ratio`; `laidOut` says whether the
    // frames have had their first layout. A frame outside `exposed` is not
    // copied from its map.
    void paint(QPainter& p, QSize size, const QRect& exposed, bool laidOut, double ratio);

private:
    void drawMap(QPainter& p, const QRect& exposed, const offBMP* map, const tagRECT& r, QImage& pixels);

    QImage grip_;
    QImage julia_, mandelbrot_;
};
