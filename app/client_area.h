#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QWidget>

#include "engine/geometry.h"

class SizeGrip;

// The main window's client area: lays out the two frames, paints them from
// their maps, and carries the mouse gestures and the sizing bracket.
class ClientArea : public QWidget {
    Q_OBJECT
public:
    explicit ClientArea(QWidget* parent = nullptr);

    // Stops and waits for both renders, lays out the frames, makes new maps
    // and starts both renders.
    void setupWindow();
    // What the client area shows now: the frames, their borders, the grip
    // image and the selection outline.
    QImage screenImage() const;

    // The user-sizing bracket: the client area stays blank and nothing is laid
    // out or painted while it is open. A grip drag closes it at the release, a
    // burst of resizes from the window manager once resizes stop coming.
    enum class Bracket { None, Grip, Border };
    void openBracket(Bracket kind);
    void closeBracket();

    void invalidateFrame(short FuncSwitch);
    void startProgressTimer(int timerId);
    void killProgressTimer(int timerId);
    void selectionTick();

    int layoutCount() const { return layouts_; }
    static constexpr int kSettleMs = 250;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    void timerEvent(QTimerEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void sizeNotification();
    tagRECT clientRect() const;
    void handleMouseClick();
    void zoom();
    QBasicTimer* progressTimer(int timerId);

    SizeGrip* grip_;
    QImage dragBox_;
    Bracket bracket_ = Bracket::None;
    bool laidOut_ = false;
    int layouts_ = 0;
    short selecting_ = 0;  // frame switch of the frame the gesture began in
    QBasicTimer mProgress_, jProgress_, selection_, settle_;
};
