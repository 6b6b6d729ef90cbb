#include "app/qt_host.h"

#include <QAction>
#include <QCoreApplication>
#include <QThread>

#include "app/client_area.h"
#include "app/messages.h"
#include "render/stop.h"

namespace {
template <class F>
void onUiThread(QObject* context, F f)
{
    if (QThread::currentThread() == context->thread())
        f();
    else
        QMetaObject::invokeMethod(context, std::move(f), Qt::QueuedConnection);
}
}

void QtHost::attach(ClientArea* area, QAction* copyPopup)
{
    area_ = area;
    copyPopup_ = copyPopup;
}

void QtHost::invalidateFrame(short FuncSwitch)
{
    if (area_)
        onUiThread(area_, [area = area_, FuncSwitch] { area->invalidateFrame(FuncSwitch); });
}

void QtHost::startTimer(int timerId)
{
    if (area_)
        onUiThread(area_, [area = area_, timerId] { area->progress().start(timerId); });
}

void QtHost::killTimer(int timerId)
{
    if (area_)
        onUiThread(area_, [area = area_, timerId] { area->progress().kill(timerId); });
}

void QtHost::refreshCopyMenu()
{
    // Worked out when it is carried out, not when asked: requests from the
    // two render threads may arrive in either order.
    if (copyPopup_)
        onUiThread(copyPopup_, [popup = copyPopup_] { popup->setEnabled(!anyRenderRunning()); });
}

void QtHost::fatalAlert(const char* msg)
{
    onUiThread(QCoreApplication::instance(), [text = QString::fromUtf8(msg)] { showFatalAlert(text); });
}
