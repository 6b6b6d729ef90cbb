// Kavrel: the Julia and Mandelbrot sets side by side.
#include <QApplication>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/qt_host.h"
#include "app/start_up.h"
#include "commands/handle_menu.h"
#include "render/render_threads.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kavrel.Kavrel"));  // the launcher's icon and name
    QtHost host;
    MainWindow* window = startUp(host, handleMenu);
    window->show();
    // An alert during start-up has been shown already; the program ends.
    int status = fatalAlertRaised() ? 1 : QApplication::exec();
    // No render may outlive the objects it draws for.
    haltRenders();
    setRenderHost(nullptr);
    delete window;
    if (fatalAlertRaised())
        status = 1;
    return status;
}
