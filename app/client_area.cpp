#include "app/client_area.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

#include "app/frame_layout.h"
#include "app/messages.h"
#include "app/selection.h"
#include "app/shell_state.h"
#include "app/size_grip.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "render/render_threads.h"
#include "render/stop.h"

tagRECT gWinRect;
int gUsrSzWin = 0;
int gWasMinimized = 0;
int gThumbSz = 16;

namespace {

QRect qrect(const tagRECT& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

// A one-pixel black border just outside the frame.
void drawBorder(QPainter& p, const tagRECT& r)
{
    const int w = r.right - r.left + 2, h = r.bottom - r.top + 2;
    p.fillRect(r.left - 1, r.top - 1, w, 1, Qt::black);
    p.fillRect(r.left - 1, r.bottom, w, 1, Qt::black);
    p.fillRect(r.left - 1, r.top - 1, 1, h, Qt::black);
    p.fillRect(r.right, r.top - 1, 1, h, Qt::black);
}

void drawMap(QPainter& p, const offBMP* map, const tagRECT& r)
{
    if (!map)
        return;
    QImage image(map->width, map->height, QImage::Format_RGB32);
    map->cpyMap2Win(reinterpret_cast<std::uint32_t*>(image.bits()), image.bytesPerLine() / 4);
    p.drawImage(r.left, r.top, image);
}

// The selection outline: dotted, pure red, exclusive-or with what is below,
// traced from the top-left corner down, right, up and back.
void xorOutline(QImage& image, const tagRECT& f)
{
    const tagPOINT corners[5] = {{f.left, f.top}, {f.left, f.bottom}, {f.right, f.bottom}, {f.right, f.top}, {f.left, f.top}};
    int step = 0;
    for (int side = 0; side < 4; ++side) {
        tagPOINT p = corners[side];
        const tagPOINT end = corners[side + 1];
        const int dx = (end.x > p.x) - (end.x < p.x), dy = (end.y > p.y) - (end.y < p.y);
        for (; !(p == end); p.x += dx, p.y += dy, ++step) {
            if (step % 2 == 0 && image.rect().contains(p.x, p.y)) {
                auto* pixel = reinterpret_cast<QRgb*>(image.scanLine(p.y)) + p.x;
                *pixel ^= 0x00FF0000;
            }
        }
    }
}

} // namespace

ClientArea::ClientArea(QWidget* parent)
    : QWidget(parent), grip_(new SizeGrip(this)), dragBox_(QStringLiteral(":/images/dragbox.png"))
{
    gThumbSz = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    grip_->setGeometry(250 - gThumbSz, 150 - gThumbSz, gThumbSz, gThumbSz);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

tagRECT ClientArea::clientRect() const { return {0, 0, width(), height()}; }

void ClientArea::setupWindow()
{
    haltRenders();
    gWinRect = clientRect();
    const FrameLayout layout = frameLayout(gWinRect.right, gWinRect.bottom);
    gJRect = layout.julia;
    gMRect = layout.mandelbrot;
    gJMap.reset();
    gMMap.reset();
    const tagRECT mapRect{0, 0, layout.side, layout.side};
    gJMap = std::make_unique<offBMP>(mapRect);
    gMMap = std::make_unique<offBMP>(mapRect);
    newPxl();
    drawFigure(mapRect, kMandelbrot);
    drawFigure(mapRect, kJulia);
    grip_->move(gWinRect.right - gThumbSz, gWinRect.bottom - gThumbSz);
    laidOut_ = true;
    ++layouts_;
    update();
}

QImage ClientArea::screenImage() const
{
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    if (gUsrSzWin)
        return image;
    {
        QPainter p(&image);
        p.drawImage(gWinRect.right - kGripImageSide, gWinRect.bottom - kGripImageSide, dragBox_);
        if (laidOut_) {
            drawBorder(p, gJRect);
            drawBorder(p, gMRect);
        }
        drawMap(p, gJMap.get(), gJRect);
        drawMap(p, gMMap.get(), gMRect);
    }
    if (gNumMsgs > kClickTicks)
        xorOutline(image, gFrame);
    return image;
}

void ClientArea::paintEvent(QPaintEvent*)
{
    QPainter(this).drawImage(0, 0, screenImage());
}

void ClientArea::showEvent(QShowEvent*)
{
    // A window is shown at its size without a further size notification, and
    // the first layout follows only from one: make it.
    if (!laidOut_)
        QMetaObject::invokeMethod(this, &ClientArea::sizeNotification, Qt::QueuedConnection);
}

void ClientArea::resizeEvent(QResizeEvent*) { sizeNotification(); }

void ClientArea::sizeNotification()
{
    if (!isVisible() || window()->isMinimized())
        return;
    const tagRECT now = clientRect();
    if (gWasMinimized && now == gWinRect)
        return;  // a restore to the same size keeps the maps and the renders
    if (bracket_ == Bracket::Grip)
        return;
    if (bracket_ == Bracket::Border) {
        settle_.start(kSettleMs, this);
        return;
    }
    if (!laidOut_) {
        setupWindow();
        return;
    }
    if (!(now == gWinRect))
        openBracket(Bracket::Border);
}

void ClientArea::openBracket(Bracket kind)
{
    bracket_ = kind;
    gUsrSzWin = 1;
    if (kind == Bracket::Border)
        settle_.start(kSettleMs, this);
    update();
}

void ClientArea::closeBracket()
{
    settle_.stop();
    bracket_ = Bracket::None;
    gUsrSzWin = 0;
    if (clientRect() == gWinRect)
        update();
    else
        setupWindow();
}

QBasicTimer* ClientArea::progressTimer(int timerId)
{
    return timerId == kMandelbrotTimer ? &mProgress_ : &jProgress_;
}

void ClientArea::startProgressTimer(int timerId) { progressTimer(timerId)->start(1000, this); }

void ClientArea::killProgressTimer(int timerId) { progressTimer(timerId)->stop(); }

void ClientArea::invalidateFrame(short FuncSwitch)
{
    update(qrect(FuncSwitch == kMandelbrot ? gMRect : gJRect));
}

void ClientArea::timerEvent(QTimerEvent* event)
{
    const int id = event->timerId();
    if (id == mProgress_.timerId())
        invalidateFrame(kMandelbrot);
    else if (id == jProgress_.timerId())
        invalidateFrame(kJulia);
    else if (id == selection_.timerId())
        selectionTick();
    else if (id == settle_.timerId())
        closeBracket();
}

void ClientArea::selectionTick()
{
    int drawn = 0;
    if (PtInRect(gJRect, gLastMClick))
        drawn = SelectRange(gJRect);
    else if (PtInRect(gMRect, gLastMClick))
        drawn = SelectRange(gMRect);
    if (drawn)
        update();
}

void ClientArea::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    gLastMClick = {event->position().toPoint().x(), event->position().toPoint().y()};
    const bool inJulia = PtInRect(gJRect, gLastMClick), inFrame = inJulia || PtInRect(gMRect, gLastMClick);
    if (inFrame && !anyRenderRunning()) {
        // Qt keeps the mouse grabbed for this widget until the release.
        gNumMsgs = 0;
        selecting_ = inJulia ? kJulia : kMandelbrot;
        selection_.start(kSelectionPeriodMs, this);
        return;
    }
    gNumMsgs = -1;
    if (inFrame) {
        QApplication::beep();
        showMessage(window(), QStringLiteral("Suggestion:"), QStringLiteral("Press ESC to halt"));
    }
}

void ClientArea::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    gLastMClick = {event->position().toPoint().x(), event->position().toPoint().y()};
    if (gNumMsgs != -1) {
        selection_.stop();
        if (gNumMsgs <= kClickTicks) {
            if (PtInRect(gMRect, gLastMClick))
                handleMouseClick();
        } else {
            zoom();
        }
    }
    gNumMsgs = 0;
    update();
}

void ClientArea::handleMouseClick()
{
    const tagPOINT p = gLastMClick;
    const int x = p.x - gMRect.left, y = p.y - gMRect.top;
    const tagRECT marker{x, y, x + 2, y + 2};
    const unsigned long markerColour = 0x0028C8ED;
    if (gMMap)
        gMMap->fillRect(&marker, &markerColour);
    invalidateFrame(kMandelbrot);
    double re, im;
    ConvertMouse(p, &Mgraph, &gMRect, &re, &im);
    Jreal = re;
    Jcomplex = im;
    const int side = gMRect.bottom - gMRect.top;
    drawFigure({0, 0, side, side}, kJulia);
}

void ClientArea::zoom()
{
    grafStats& view = selecting_ == kJulia ? Jgraph : Mgraph;
    const tagRECT& area = selecting_ == kJulia ? gJRect : gMRect;
    // Both corners are converted with the view as it stands, then stored.
    double xmin, ymax, xmax, ymin;
    ConvertMouse({gFrame.left, gFrame.top}, &view, &area, &xmin, &ymax);
    ConvertMouse({gFrame.right, gFrame.bottom}, &view, &area, &xmax, &ymin);
    loadStats(&view, xmin, xmax, ymin, ymax);
    newPxl();
    const int side = gMRect.bottom - gMRect.top;
    drawFigure({0, 0, side, side}, selecting_);
    invalidateFrame(selecting_);
}
