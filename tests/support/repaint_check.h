#pragma once

#include <QPaintEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "app/client_area.h"
#include "tests/support/gui_support.h"

// Collects the regions the client area is asked to repaint.
class PaintSpy : public QObject {
public:
    explicit PaintSpy(QWidget* widget) { widget->installEventFilter(this); }
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// Swallows the timer events of the object it watches: the test ticks the
// selection by hand, and a tick of the real timer that slipped in between a
// repaint and the check (a slow build is enough) would move the outline on.
class TimerBlocker : public QObject {
public:
    explicit TimerBlocker(QObject* watched) { watched->installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Timer; }
};

// Holds the left button at `at` (logical pixels) for twenty selection ticks
// and checks after each tick that drew that what the window repainted brings
// the screen up to date: the screen is grabbed whole once, then only the
// regions repainted are rendered anew.
inline void expectTicksRepaintWhatTheyChange(Shell& shell, QPoint at)
{
    QImage screen = shell.area->grab().toImage().convertToFormat(QImage::Format_RGB32);
    PaintSpy spy(shell.area);
    TimerBlocker handTicksOnly(&shell.area->gestures());
    QTest::mousePress(shell.area, Qt::LeftButton, {}, at);
    for (int tick = 1; tick <= 20; ++tick) {
        spy.painted = {};
        shell.area->gestures().tick();
        if (tick < 10)
            continue;
        ASSERT_TRUE(waitUntil([&] { return !spy.painted.isEmpty(); }, 2000)) << "tick " << tick << " repainted nothing";
        shell.area->render(&screen, spy.painted.boundingRect().topLeft(), spy.painted);
        QImage shown = screen;  // grabbed at the screen's ratio, compared pixel for pixel
        shown.setDevicePixelRatio(1.0);
        ASSERT_EQ(shown, shell.area->screenImage()) << "tick " << tick << " left the screen out of date";
    }
    QTest::mouseRelease(shell.area, Qt::LeftButton, {}, QPoint(3, 3));
    shell.waitForRenders();
}
