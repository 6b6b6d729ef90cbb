#include "app/client_area.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QStyle>
#include <QtMath>
#include <cmath>

#include "app/frame_layout.h"
#include "app/shell_state.h"
#include "app/size_grip.h"
#include "engine/view.h"

tagRECT gWinRect;
int gUsrSzWin = 0;
int gWasMinimized = 0;
int gThumbSz = 16;

namespace {
// Qt rounds a logical rectangle to device pixels when it repaints at a
// fractional ratio: a pixel more all round keeps every device pixel in.
QRect padded(const QRectF& r, double ratio) { return ratio == 1.0 ? r.toRect() : r.toAlignedRect().adjusted(-1, -1, 1, 1); }
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
    ratio_ = devicePixelRatioF();
    layOutFrames(clientRect(), ratio_);
    grip_->move(gWinRect.right - gThumbSz, gWinRect.bottom - gThumbSz);
    laidOut_ = true;
    ++layouts_;
    update();
}

QSize ClientArea::deviceSize() const { return {qCeil(width() * ratio_), qCeil(height() * ratio_)}; }

QRect ClientArea::deviceRect(const QRect& logical) const
{
    return padded(QRectF(logical.x() * ratio_, logical.y() * ratio_, logical.width() * ratio_, logical.height() * ratio_),
                  ratio_);
}

tagPOINT ClientArea::devicePoint(QPointF at) const
{
    // The allowance keeps a position that Qt derived from a device pixel on
    // that pixel, whatever the division by the ratio rounded away.
    constexpr double allowance = 1e-6;
    return {static_cast<int>(std::floor(at.x() * ratio_ + allowance)),
            static_cast<int>(std::floor(at.y() * ratio_ + allowance))};
}

void ClientArea::updateDevice(const QRect& device)
{
    update(padded(QRectF(device.x() / ratio_, device.y() / ratio_, device.width() / ratio_, device.height() / ratio_),
                  ratio_));
}

QImage ClientArea::screenImage()
{
    QImage image(deviceSize(), QImage::Format_RGB32);
    QPainter p(&image);
    painter_.paint(p, image.size(), image.rect(), laidOut_, ratio_);
    return image;
}

void ClientArea::invalidateFrame(short FuncSwitch)
{
    const tagRECT& r = FuncSwitch == kMandelbrot ? gMRect : gJRect;
    updateDevice(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
}

void ClientArea::followRatio()
{
    if (laidOut_ && !gUsrSzWin && devicePixelRatioF() != ratio_)
        setupWindow();
}

void ClientArea::paintEvent(QPaintEvent* event)
{
    // A move to a screen of another ratio repaints the whole window; the
    // layout follows once this paint is over.
    if (laidOut_ && devicePixelRatioF() != ratio_)
        QMetaObject::invokeMethod(this, &ClientArea::followRatio, Qt::QueuedConnection);
    // Composed in device pixels and shown one for one: painted through the
    // window's own scaling, a frame would land on fractional device positions.
    const QRect exposed = deviceRect(event->rect());
    if (canvas_.size() != deviceSize())
        canvas_ = QImage(deviceSize(), QImage::Format_RGB32);
    {
        QPainter c(&canvas_);
        c.setClipRect(exposed);
        painter_.paint(c, canvas_.size(), exposed, laidOut_, ratio_);
    }
    canvas_.setDevicePixelRatio(ratio_);
    QPainter p(this);
    p.drawImage(QPointF(0, 0), canvas_);
    p.end();
    canvas_.setDevicePixelRatio(1.0);
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
        gestures_.press(devicePoint(event->position()));
}

void ClientArea::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        gestures_.release(devicePoint(event->position()));
}
