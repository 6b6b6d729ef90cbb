#include "app/window_requests.h"

#include <QImage>
#include <QWidget>

#include "app/client_area.h"
#include "app/frame_paint.h"
#include "app/messages.h"
#include "app/shell_state.h"
#include "engine/deep/deep_view.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "render/render_threads.h"

void redrawFrame(short frame)
{
    const tagRECT& area = frame == kJulia ? gJRect : gMRect;
    const int side = area.bottom - area.top;
    drawFigure({0, 0, side, side}, frame);
}

void restartFrameView(short frame, const PlaneBounds& bounds)
{
    frameDeepView(frame).reset();
    loadStats(frame == kJulia ? &Jgraph : &Mgraph, bounds.xmin, bounds.xmax, bounds.ymin, bounds.ymax);
    newPxl();
    redrawFrame(frame);
}

void restartFrameDeep(short frame, const DeepView& view)
{
    frameDeepView(frame) = view;
    const PlaneView edges = nearestPlane(view);
    loadStats(frame == kJulia ? &Jgraph : &Mgraph, edges.Xmin, edges.Xmax, edges.Ymin, edges.Ymax);
    newPxl();
    redrawFrame(frame);
}

QImage frameImage(short frame) { return mapImage(frame == kJulia ? *gJMap : *gMMap); }

QImage windowBand()
{
    auto* area = gTheWindow->findChild<ClientArea*>();
    const QImage screen = area->screenImage();
    // The frames with the margin above them once more below.
    return screen.copy(0, 0, screen.width(), gMRect.bottom + gMRect.top);
}

void showWindowMessage(const QString& caption, const QString& text) { showMessage(gTheWindow, caption, text); }

QWidget* dialogOwner() { return gTheWindow; }
