#include "app/main_window.h"

#include <QEvent>
#include <QIcon>

#include "app/client_area.h"
#include "app/shell_state.h"

MainWindow::MainWindow() : area_(new ClientArea(this))
{
    setWindowTitle(QStringLiteral("Kavrel For Windows v 1.0"));
    setWindowIcon(QIcon(QStringLiteral(":/images/kavicon.png")));
    setMinimumSize(300, 200);
    move(20, 50);
    resize(300, 200);
    setCentralWidget(area_);
}

void MainWindow::changeEvent(QEvent* event)
{
    // From the first minimize on, a size notification that leaves the client
    // area as it was renders nothing anew.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        gWasMinimized = 1;
    QMainWindow::changeEvent(event);
}
