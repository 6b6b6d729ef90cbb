#include "app/client_area.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QStyle>

#include "app/frame_layout.h"
#include "app/shell_state.h"
#include "app/size_grip.h"
#include "engine/view.h"

tagRECT gWinRect;
int gUsrSzWin = 0;
int gWasMinimized = 0;
int gThumbSz = 16;

namespace {
tagPOINT eventPoint(const QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    return {p.x(), p.y()};
}
} // namespace

ClientArea::ClientArea(QWidget* parent)
    : QWidget(parent), painter_(QImage(QStringLiteral(":/images/dragbox.png"))), grip_(new SizeGrip(this, &bracket_))
{
    gThumbSz = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    grip_->setGeometry(250 - gThumbSz, 150 - gThumbSz, gThumbSz, gThumbSz);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ClientArea::setupWindow()
{
    layOutFrames(clientRect());
    grip_->move(gWinRect.right - gThumbSz, gWinRect.bottom - gThumbSz);
    laidOut_ = true;
    ++layouts_;
    update();
}

QImage ClientArea::screenImage()
{
    QImage image(size(), QImage::Format_RGB32);
    QPainter p(&image);
    painter_.paint(p, size(), image.rect(), laidOut_);
    return image;
}

void ClientArea::invalidateFrame(short FuncSwitch)
{
    const tagRECT& r = FuncSwitch == kMandelbrot ? gMRect : gJRect;
    update(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void ClientArea::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    painter_.paint(p, size(), event->rect(), laidOut_);
}

void ClientArea::showEvent(QShowEvent*)
{
    // A window is shown at its size without a further size notification, and
    // the first layout follows only from one: make it.
    if (!laidOut_)
        QMetaObject::invokeMethod(&bracket_, &SizingBracket::sizeNotification, Qt::QueuedConnection);
}

void ClientArea::resizeEvent(QResizeEvent*) { bracket_.sizeNotification(); }

void ClientArea::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        gestures_.press(eventPoint(event));
}

void ClientArea::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        gestures_.release(eventPoint(event));
}
