#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/client_area.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/qt_host.h"
#include "app/start_up.h"
#include "engine/view.h"
#include "render/render_threads.h"
#include "render/stop.h"
#include "tests/support/box_answerer.h"

// Processes events until the condition holds, for up to `ms` milliseconds.
template <class Pred>
bool waitUntil(Pred pred, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!pred() && clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return pred();
}

inline void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Plays steps against the modal windows as they open, one step each time a
// different window becomes the active modal one.
class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget*)>;
    explicit ModalScript(std::deque<Step> steps) : steps_(std::move(steps))
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == last_ || steps_.empty())
                return;
            last_ = modal;
            // Played once this slot has returned: a step that opens a nested
            // dialog must not hold up the timer that plays the next step.
            QTimer::singleShot(0, modal, [modal, step = std::move(steps_.front())] { step(modal); });
            steps_.pop_front();
        });
        timer_.start();
    }
    bool done() const { return steps_.empty(); }

private:
    std::deque<Step> steps_;
    QPointer<QWidget> last_;  // null once it is gone: the next dialog may reuse its address
    QTimer timer_;
};

// The explorer's window as the program starts it, shown with a client area
// of the given size, its first renders finished.
class Shell {
public:
    // Commands go to `handler`, or are only recorded when there is none.
    explicit Shell(int clientWidth = 400, int clientHeight = 300, std::function<int(int)> handler = {})
    {
        clearFatalAlerts();
        window.reset(startUp(host, [this, handler](int id) {
            commands.push_back(id);
            return handler ? handler(id) : 0;
        }));
        area = window->clientArea();
        window->resize(clientWidth, clientHeight + window->menuBar()->sizeHint().height());
        window->show();
        waitUntil([&] { return area->layoutCount() > 0; });
        waitForRenders();
    }
    ~Shell()
    {
        haltRenders();
        window.reset();
        setRenderHost(nullptr);
        gTheWindow = nullptr;
    }
    void resizeClient(int w, int h)
    {
        window->resize(w + window->width() - area->width(), h + window->height() - area->height());
    }
    // The picture of a frame as the window shows it.
    QImage frame(const tagRECT& r) const
    {
        return area->screenImage().copy(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    void waitForRenders()
    {
        // The handles clear last, after everything the threads post to the window.
        waitUntil([] { return !mThdHand && !jThdHand; });
        QApplication::processEvents();
    }

    QtHost host;
    std::unique_ptr<MainWindow> window;
    ClientArea* area = nullptr;
    std::vector<int> commands;
};

// Both frames deep inside their sets at the highest limit, through the
// complex power, whose passes are the slowest: each render lasts seconds,
// far longer than any test waits for it, and ends only when stopped.
inline void makeViewsSlow()
{
    gIterFlag = 2;
    whichFunc = 5;
    gRealExpon = 2.0;
    gCplxExpon = 0.0;
    loadStats(&Mgraph, -0.1, 0.1, -0.1, 0.1);
    loadStats(&Jgraph, -0.1, 0.1, -0.1, 0.1);
    Jreal = Jcomplex = 0.0;
    newPxl();
    Mgraph.iters = Jgraph.iters = 99000;
}

// The slow views, laid out anew: both slow renders start.
inline void makeRendersSlow(Shell& shell)
{
    makeViewsSlow();
    shell.area->setupWindow();
}
