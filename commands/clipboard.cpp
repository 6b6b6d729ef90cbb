#include "commands/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include "app/menus.h"
#include "app/window_requests.h"
#include "commands/frame_command.h"
#include "engine/view.h"
#include "render/host.h"
#include "render/off_map.h"

int handleCopy(int menuCode)
{
    const short frame = menuCode == kCopyLeft ? kJulia : kMandelbrot;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!(frame == kJulia ? gJMap : gMMap) || !clipboard) {
        ShowAlert("clipboard error");
        return 1;
    }
    // An image editor takes the picture, a terminal the command that draws it.
    auto* data = new QMimeData;
    data->setImageData(menuCode == kCopyWindow ? windowBand() : frameImage(frame));
    data->setText(copiedCommands(menuCode));
    clipboard->setMimeData(data);
    return 1;
}

void DoAboutBox()
{
    showWindowMessage(QStringLiteral("Kavrel For Windows v 1.0"),
                      QStringLiteral("Kavrel 1.0: the Julia and Mandelbrot sets side by side.\n"
                                     "Click the Mandelbrot set to pick a Julia set; hold to zoom.\n"
                                     "Written in C++ with Qt."));
}
