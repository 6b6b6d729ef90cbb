#include "commands/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include "app/client_area.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "app/messages.h"
#include "app/shell_state.h"
#include "commands/frame_command.h"
#include "render/host.h"
#include "render/off_map.h"

namespace {

QImage mapImage(const offBMP& map)
{
    QImage image(map.width, map.height, QImage::Format_RGB32);
    map.cpyMap2Win(reinterpret_cast<std::uint32_t*>(image.bits()), image.bytesPerLine() / 4);
    return image;
}

// As wide as the client area and a frame plus 20 pixels high, as shown.
QImage windowBand()
{
    const auto* window = static_cast<MainWindow*>(gTheWindow);
    return window->clientArea()->screenImage().copy(0, 0, gWinRect.right, gMMap->height + 20);
}

} // namespace

int handleCopy(int menuCode)
{
    const offBMP* map = menuCode == kCopyLeft ? gJMap.get() : gMMap.get();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!map || !clipboard) {
        ShowAlert("clipboard error");
        return 1;
    }
    // An image editor takes the picture, a terminal the command that draws it.
    auto* data = new QMimeData;
    data->setImageData(menuCode == kCopyWindow ? windowBand() : mapImage(*map));
    data->setText(copiedCommands(menuCode));
    clipboard->setMimeData(data);
    return 1;
}

void DoAboutBox()
{
    showMessage(gTheWindow, QStringLiteral("Kavrel For Windows v 1.0"),
                QStringLiteral("Kavrel 1.0: the Julia and Mandelbrot sets side by side.\n"
                               "Click the Mandelbrot set to pick a Julia set; hold to zoom.\n"
                               "Written in C++ with Qt."));
}
