#include "app/gestures.h"

#include <QApplication>
#include <QTimerEvent>

#include "app/client_area.h"
#include "app/messages.h"
#include "app/window_requests.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "render/render_threads.h"
#include "render/stop.h"

tagPOINT gLastMClick;
int gNumMsgs = 0;
tagRECT gFrame;

namespace {
// The selection's corners with their fractions, and its growth per step: it
// starts in the proportions of the frame that bounds it and keeps them.
double ULx, ULy, LRx, LRy;
double RectLen, RectHt;
double Xinc, Yinc;

void startSelection(const tagRECT& boundsRect)
{
    const double x = gLastMClick.x, y = gLastMClick.y;
    RectLen = boundsRect.right - boundsRect.left;
    RectHt = boundsRect.bottom - boundsRect.top;
    Xinc = RectLen > RectHt ? RectLen / RectHt : 1.0;
    Yinc = RectLen < RectHt ? RectHt / RectLen : 1.0;
    ULx = x - Xinc;
    ULy = y - Yinc;
    LRx = x + Xinc;
    LRy = y + Yinc;
}

// Each edge moves outward by one increment; one that has reached the frame
// stays, and the opposite edge moves twice instead.
void growSelection(const tagRECT& b)
{
    const double top = b.top, left = b.left, bottom = b.bottom - 1, right = b.right - 1;
    if (top < ULy)
        ULy -= Yinc;
    else if (bottom > LRy)
        LRy += Yinc;
    if (left < ULx)
        ULx -= Xinc;
    else if (right > LRx)
        LRx += Xinc;
    if (bottom > LRy)
        LRy += Yinc;
    else if (top < ULy)
        ULy -= Yinc;
    if (right > LRx)
        LRx += Xinc;
    else if (left < ULx)
        ULx -= Xinc;
}

// The pixels the outline of f covers, corners included.
QRect outlineBounds(const tagRECT& f) { return QRect(QPoint(f.left, f.top), QPoint(f.right, f.bottom)); }
} // namespace

int SelectRange(const tagRECT& boundsRect)
{
    ++gNumMsgs;
    if (gNumMsgs == 1)
        startSelection(boundsRect);
    if (gNumMsgs <= kClickTicks)
        return 0;
    stopThread(kBothFrames);
    growSelection(boundsRect);
    gFrame = {static_cast<int>(ULx), static_cast<int>(ULy), static_cast<int>(LRx), static_cast<int>(LRy)};
    return 1;
}

void Gestures::press(tagPOINT at)
{
    gLastMClick = at;
    const bool inJulia = PtInRect(gJRect, at), inFrame = inJulia || PtInRect(gMRect, at);
    if (inFrame && !anyRenderRunning()) {
        // Qt keeps the mouse grabbed for the client area until the release.
        gNumMsgs = 0;
        selecting_ = inJulia ? kJulia : kMandelbrot;
        selection_.start(kSelectionPeriodMs, this);
        return;
    }
    gNumMsgs = -1;
    if (inFrame) {
        QApplication::beep();
        showMessage(area_->window(), QStringLiteral("Suggestion:"), QStringLiteral("Press ESC to halt"));
    }
}

void Gestures::release(tagPOINT at)
{
    gLastMClick = at;
    if (gNumMsgs != -1) {
        selection_.stop();
        if (gNumMsgs <= kClickTicks) {
            if (PtInRect(gMRect, at))
                click();
        } else {
            zoom();
        }
    }
    gNumMsgs = 0;
    area_->update();
}

void Gestures::tick()
{
    int drawn = 0;
    if (PtInRect(gJRect, gLastMClick))
        drawn = SelectRange(gJRect);
    else if (PtInRect(gMRect, gLastMClick))
        drawn = SelectRange(gMRect);
    // The selection only grows, so its new bounds hold the old outline too.
    if (drawn)
        area_->update(outlineBounds(gFrame));
}

void Gestures::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == selection_.timerId())
        tick();
}

void Gestures::click()
{
    const tagPOINT p = gLastMClick;
    const int x = p.x - gMRect.left, y = p.y - gMRect.top;
    const tagRECT marker{x, y, x + 2, y + 2};
    const unsigned long markerColour = 0x0028C8ED;
    if (gMMap)
        gMMap->fillRect(&marker, &markerColour);
    area_->invalidateFrame(kMandelbrot);
    double re, im;
    ConvertMouse(p, &Mgraph, &gMRect, &re, &im);
    Jreal = re;
    Jcomplex = im;
    const int side = gMRect.bottom - gMRect.top;
    drawFigure({0, 0, side, side}, kJulia);
}

void Gestures::zoom()
{
    const grafStats& view = selecting_ == kJulia ? Jgraph : Mgraph;
    const tagRECT& area = selecting_ == kJulia ? gJRect : gMRect;
    // Both corners are converted with the view as it stands, then stored.
    PlaneBounds to;
    ConvertMouse({gFrame.left, gFrame.top}, &view, &area, &to.xmin, &to.ymax);
    ConvertMouse({gFrame.right, gFrame.bottom}, &view, &area, &to.xmax, &to.ymin);
    restartFrameView(selecting_, to);
    area_->invalidateFrame(selecting_);
}
