#pragma once

#include <QPoint>
#include <QSize>
#include <QWidget>

class SizingBracket;

// The square in the lower-right corner that sizes the window. It paints
// nothing: the client area paints the grip image below it. A press anywhere
// in it opens the sizing bracket; the window follows the mouse until the
// release closes it.
class SizeGrip : public QWidget {
public:
    SizeGrip(QWidget* area, SizingBracket* bracket);

protected:
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override {}
    void paintEvent(QPaintEvent*) override {}

private:
    SizingBracket* bracket_;
    QPoint pressAt_;
    QSize startSize_;
    bool sizing_ = false;
};
