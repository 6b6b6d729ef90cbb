#include "app/progress_timers.h"

#include <QTimerEvent>

#include "app/client_area.h"
#include "engine/view.h"
#include "render/render_threads.h"

QBasicTimer& ProgressTimers::timer(int timerId) { return timerId == kMandelbrotTimer ? mandelbrot_ : julia_; }

void ProgressTimers::start(int timerId) { timer(timerId).start(1000, this); }

void ProgressTimers::kill(int timerId) { timer(timerId).stop(); }

void ProgressTimers::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == mandelbrot_.timerId())
        area_->invalidateFrame(kMandelbrot);
    else if (event->timerId() == julia_.timerId())
        area_->invalidateFrame(kJulia);
}
