#include "app/size_grip.h"

#include <QMouseEvent>

#include "app/sizing_bracket.h"
#include "app/shell_state.h"

SizeGrip::SizeGrip(QWidget* area, SizingBracket* bracket) : QWidget(area), bracket_(bracket)
{
    setMouseTracking(true);
}

void SizeGrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    sizing_ = true;
    pressAt_ = event->globalPosition().toPoint();
    startSize_ = window()->size();
    bracket_->open(SizingBracket::Kind::Grip);
}

void SizeGrip::mouseMoveEvent(QMouseEvent* event)
{
    if (sizing_) {
        window()->resize(startSize_ + QSize(event->globalPosition().toPoint().x() - pressAt_.x(),
                                            event->globalPosition().toPoint().y() - pressAt_.y()));
        return;
    }
    // The sizing cursor only over the lower-right triangle, on and below the
    // anti-diagonal.
    const QPoint p = event->position().toPoint();
    setCursor(p.x() + p.y() >= gThumbSz ? Qt::SizeFDiagCursor : Qt::ArrowCursor);
}

void SizeGrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !sizing_)
        return;
    sizing_ = false;
    bracket_->close();
}
