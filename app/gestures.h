#pragma once

#include <QBasicTimer>
#include <QObject>

#include "engine/geometry.h"

class ClientArea;

// The left-button gesture: a short click, or a press held until a square
// selection grows around the press point.
// Points and rectangles are in device pixels, as the frame rectangles are.
extern tagPOINT gLastMClick;  // the press point; the release point once the button is up
extern int gNumMsgs;          // selection ticks since the press; -1: the press started no gesture
extern tagRECT gFrame;        // the selection as last drawn

constexpr int kSelectionTimer = 989;
constexpr int kSelectionPeriodMs = 50;
constexpr int kClickTicks = 9;  // a release within this many ticks is a click

// One 50 ms tick of a selection inside the frame boundsRect on a device of
// `ratio` pixels to a logical one. Nothing shows during the first nine ticks;
// from the tenth on both renders are asked to stop, the selection grows by one
// step of `ratio` pixels and gFrame takes its new bounds. Returns 1 when
// gFrame changed and the outline is to be drawn anew.
int SelectRange(const tagRECT& boundsRect, double ratio = 1.0);

// The gestures on the client area. A press in a frame while no render runs
// starts the selection ticks; its release is a click when it came within
// kClickTicks of them, and a zoom to the selection otherwise. A click in the
// Mandelbrot frame picks the Julia constant there.
class Gestures : public QObject {
public:
    explicit Gestures(ClientArea* area) : area_(area) {}

    void press(tagPOINT at);
    void release(tagPOINT at);
    void tick();

protected:
    void timerEvent(QTimerEvent*) override;

private:
    void click();
    // A zoom in doubles, as long as they carry the new view; past that into
    // a deep view, for the functions that have one.
    void zoom();
    // A zoom past where doubles end with the complex power, which has no
    // deep path: the frame stays as it is.
    void refuseDeepZoom();

    ClientArea* area_;
    short selecting_ = 0;  // frame switch of the frame the gesture began in
    bool toldNoDeepPath_ = false;
    QBasicTimer selection_;
};
