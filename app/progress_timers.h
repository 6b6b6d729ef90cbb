#pragma once

#include <QBasicTimer>
#include <QObject>

class ClientArea;

// The 1000 ms timers that repaint a frame while its render draws, so that
// the picture grows on screen: 464 for the Mandelbrot frame, 797 for the
// Julia frame.
class ProgressTimers : public QObject {
public:
    explicit ProgressTimers(ClientArea* area) : area_(area) {}

    void start(int timerId);
    void kill(int timerId);

protected:
    void timerEvent(QTimerEvent*) override;

private:
    QBasicTimer& timer(int timerId);

    ClientArea* area_;
    QBasicTimer mandelbrot_, julia_;
};
