#include "app/sizing_bracket.h"

#include <QTimerEvent>

#include "app/client_area.h"
#include "app/shell_state.h"

void SizingBracket::sizeNotification()
{
    if (!area_->isVisible() || area_->window()->isMinimized())
        return;
    const tagRECT now = area_->clientRect();
    if (gWasMinimized && now == gWinRect)
        return;  // a restore to the same size keeps the maps and the renders
    if (kind_ == Kind::Grip)
        return;
    if (kind_ == Kind::Border) {
        settle_.start(kSettleMs, this);
        return;
    }
    if (!area_->laidOut()) {
        area_->setupWindow();
        return;
    }
    if (!(now == gWinRect))
        open(Kind::Border);
}

void SizingBracket::open(Kind kind)
{
    kind_ = kind;
    gUsrSzWin = 1;
    if (kind == Kind::Border)
        settle_.start(kSettleMs, this);
    area_->update();
}

void SizingBracket::close()
{
    settle_.stop();
    kind_ = Kind::None;
    gUsrSzWin = 0;
    if (area_->clientRect() == gWinRect)
        area_->update();
    else
        area_->setupWindow();
}

void SizingBracket::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == settle_.timerId())
        close();
}
