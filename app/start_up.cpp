#include "app/start_up.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>

#include "app/client_area.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "app/messages.h"
#include "app/qt_host.h"
#include "app/gestures.h"
#include "app/shell_state.h"
#include "engine/palette.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "render/stop.h"

namespace {

// Sees every key press of the application, also inside menus and dialogs.
class EscapeFilter : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            stopThread(kBothFrames);
        return QObject::eventFilter(watched, event);
    }
};

void installEscapeFilter()
{
    static EscapeFilter* filter = nullptr;
    if (!filter) {
        filter = new EscapeFilter;
        qApp->installEventFilter(filter);
    }
}

} // namespace

MainWindow* startUp(QtHost& host, std::function<int(int)> handleMenu)
{
    setRenderHost(&host);
    loadColors();
    gJMap.reset();
    gMMap.reset();
    gJRect = gMRect = gWinRect = {};
    gUsrSzWin = gWasMinimized = gNumMsgs = 0;
    setStartState();
    gJthd = gMthd = kFinished;

    auto* window = new MainWindow;
    gTheWindow = window;
    buildMenus(window, std::move(handleMenu));
    CheckMenuItem(optionMenu, kFuncSquare, true);
    CheckMenuItem(optionMenu, kAutoIters, true);
    host.attach(window->clientArea(), clipSelect->menuAction());
    installEscapeFilter();
    return window;
}
