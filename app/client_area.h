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

    // Lays the frames out anew in the client area as it is now.
    void setupWindow();
    bool laidOut() const { return laidOut_; }
    int layoutCount() const { return layouts_; }
    tagRECT clientRect() const { return {0, 0, width(), height()}; }

    // What the client area shows now: the frames, their borders, the grip
    // image and the selection outline.
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
    FramePainter painter_;
    Gestures gestures_{this};
    SizingBracket bracket_{this};
    ProgressTimers progress_{this};
    SizeGrip* grip_;
    bool laidOut_ = false;
    int layouts_ = 0;
};
