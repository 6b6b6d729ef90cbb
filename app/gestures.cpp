#include "app/gestures.h"

#include <QApplication>
#include <QTimerEvent>
#include <QtGlobal>
#include <algorithm>

#include "app/client_area.h"
#include "app/messages.h"
#include "app/window_requests.h"
#include "engine/deep/deep_view.h"
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

void startSelection(const tagRECT& boundsRect, double ratio)
{
    const double x = gLastMClick.x, y = gLastMClick.y;
    RectLen = boundsRect.right - boundsRect.left;
    RectHt = boundsRect.bottom - boundsRect.top;
    // Steps of a logical pixel: the selection grows as fast on the screen
    // whatever the device's resolution.
    Xinc = (RectLen > RectHt ? RectLen / RectHt : 1.0) * ratio;
    Yinc = (RectLen < RectHt ? RectHt / RectLen : 1.0) * ratio;
    ULx = x - Xinc;
    ULy = y - Yinc;
    LRx = x + Xinc;
    LRy = y + Yinc;
}

// Each edge moves outward by one increment; one that has reached the frame
// stays, and the opposite edge moves twice instead. An increment of more than
// a pixel stops at the frame's edge instead of passing it.
void growSelection(const tagRECT& b)
{
    const double top = b.top, left = b.left, bottom = b.bottom - 1, right = b.right - 1;
    const auto up = [&] { ULy = std::max(ULy - Yinc, top); };
    const auto down = [&] { LRy = std::min(LRy + Yinc, bottom); };
    const auto leftward = [&] { ULx = std::max(ULx - Xinc, left); };
    const auto rightward = [&] { LRx = std::min(LRx + Xinc, right); };
    if (top < ULy)
        up();
    else if (bottom > LRy)
        down();
    if (left < ULx)
        leftward();
    else if (right > LRx)
        rightward();
    if (bottom > LRy)
        down();
    else if (top < ULy)
        up();
    if (right > LRx)
        rightward();
    else if (left < ULx)
        leftward();
}

// The pixels the outline of f covers, corners included.
QRect outlineBounds(const tagRECT& f) { return QRect(QPoint(f.left, f.top), QPoint(f.right, f.bottom)); }
} // namespace

int SelectRange(const tagRECT& boundsRect, double ratio)
{
    ++gNumMsgs;
    if (gNumMsgs == 1)
        startSelection(boundsRect, ratio);
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
        drawn = SelectRange(gJRect, area_->pixelRatio());
    else if (PtInRect(gMRect, gLastMClick))
        drawn = SelectRange(gMRect, area_->pixelRatio());
    // The selection only grows, so its new bounds hold the old outline too.
    if (drawn)
        area_->updateDevice(outlineBounds(gFrame));
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
    // Two logical pixels square, as large on the screen at any resolution.
    const int side = std::max(2, qRound(2 * area_->pixelRatio()));
    const tagRECT marker{x, y, x + side, y + side};
    const unsigned long markerColour = 0x0028C8ED;
    if (gMMap)
        gMMap->fillRect(&marker, &markerColour);
    area_->invalidateFrame(kMandelbrot);
    if (gMDeep) {
        // The pixel's point exactly, to the depth's digits; the doubles of
        // plane Julia frames are its nearest.
        const auto [re, im] = deepPixelPoint(*gMDeep, Mgraph.horizpxls, {x, y});
        const JuliaConstant c = juliaOfDecimals(re, im);
        Jreal = c.re;
        Jcomplex = c.im;
        gJrealText = re;
        gJcomplexText = im;
    } else {
        double re, im;
        ConvertMouse(p, &Mgraph, &gMRect, &re, &im);
        Jreal = re;
        Jcomplex = im;
        gJrealText.clear();
        gJcomplexText.clear();
    }
    const int frameSide = gMRect.bottom - gMRect.top;
    drawFigure({0, 0, frameSide, frameSide}, kJulia);
}

void Gestures::zoom()
{
    const grafStats& view = frameView(selecting_);
    const tagRECT& area = selecting_ == kJulia ? gJRect : gMRect;
    const tagRECT selection{gFrame.left - area.left, gFrame.top - area.top, gFrame.right - area.left,
                            gFrame.bottom - area.top};
    if (const std::optional<DeepView>& deep = frameDeepView(selecting_)) {
        restartFrameDeep(selecting_, zoomDeep(*deep, view.horizpxls, selection));
    } else {
        // Both corners are converted with the view as it stands, then stored.
        PlaneBounds to;
        ConvertMouse({gFrame.left, gFrame.top}, &view, &area, &to.xmin, &to.ymax);
        ConvertMouse({gFrame.right, gFrame.bottom}, &view, &area, &to.xmax, &to.ymin);
        if (doublesSuffice({to.xmin, to.xmax, to.ymin, to.ymax}, view.horizpxls, view.vertpxls))
            restartFrameView(selecting_, to);
        else if (hasDeepPath({whichFunc, gRealExpon, gCplxExpon}))
            // Past where doubles end: the same square, worked out exactly.
            restartFrameDeep(selecting_,
                             zoomPlaneToDeep(view.Xmin, view.Ymax, view.Xpxl, view.Ypxl, view.horizpxls, selection));
        else
            refuseDeepZoom();
    }
    area_->invalidateFrame(selecting_);
}

void Gestures::refuseDeepZoom()
{
    // Said once; after that a beep says it again.
    QApplication::beep();
    if (toldNoDeepPath_)
        return;
    toldNoDeepPath_ = true;
    showMessage(area_->window(), QStringLiteral("Suggestion:"),
                QStringLiteral("The complex power cannot zoom deeper: doubles end here.\n"
                               " The menu's exponents zoom on far past this point."));
}
