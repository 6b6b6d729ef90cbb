#pragma once

#include <QWidget>

#include "app/frame_paint.h"
#include "app/gestures.h"
#include "app/progress_timers.h"
#include "app/sizing_bracket.h"
#include "engine/geometry.h"

class SizeGrip;

// The main window's client area: the widget that holds the two frames and
// hands its events to the jobs that answer them.
class ClientArea : public QWidget {
    Q_OBJECT
public:
    explicit ClientArea(QWidget* parent = nullptr);

    // Lays the frames out anew in the client area as it is now, at the
    // device pixel ratio of the screen it is on.
    void setupWindow();
    bool laidOut() const { return laidOut_; }
    int layoutCount() const { return layouts_; }
    tagRECT clientRect() const { return {0, 0, width(), height()}; }
    // Device pixels to a logical pixel, as at the last layout.
    double pixelRatio() const { return ratio_; }

    // The device pixel under a point given in logical pixels.
    tagPOINT devicePoint(QPointF at) const;
    // Repaints at least the pixels of `device`, a rectangle in device pixels.
    void updateDevice(const QRect& device);

    // What the client area shows now, in device pixels: the frames, their
    // borders, the grip image and the selection outline.
    QImage screenImage();
    void invalidateFrame(short FuncSwitch);

    Gestures& gestures() { return gestures_; }
    SizingBracket& bracket() { return bracket_; }
    ProgressTimers& progress() { return progress_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    QSize deviceSize() const;
    QRect deviceRect(const QRect& logical) const;
    // Lays out again when the window has moved to a screen of another ratio.
    void followRatio();

    FramePainter painter_;
    QImage canvas_;  // the client area composed in device pixels, then shown one for one
    Gestures gestures_{this};
    SizingBracket bracket_{this};
    ProgressTimers progress_{this};
    SizeGrip* grip_;
    bool laidOut_ = false;
    int layouts_ = 0;
    double ratio_ = 1.0;
};
