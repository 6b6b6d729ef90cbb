// Saves a picture of the explorer's window for the README: started on Qt's
// offscreen platform, a Julia constant picked with a click in the Mandelbrot
// frame, both renders finished. Prints what Copy > Left Frame puts on the
// clipboard as text. Usage: window_picture OUT.png; with QT_SCALE_FACTOR set,
// the picture is at that ratio.
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <cstdio>

#include "app/menus.h"
#include "commands/handle_menu.h"
#include "tests/support/gui_support.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_picture OUT.png\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Shell shell(650, 340, handleMenu);
    // The pixel of the constant -0.8 + 0.156i in the start view, given to
    // the mouse in logical pixels.
    const double pixel = 4.0 / (gMRect.right - gMRect.left);
    const double ratio = shell.area->pixelRatio();
    const QPoint at(qRound((gMRect.left + static_cast<int>((-0.8 + 2.0) / pixel)) / ratio),
                    qRound((gMRect.top + static_cast<int>((2.0 - 0.156) / pixel)) / ratio));
    QTest::mouseClick(shell.area, Qt::LeftButton, {}, at);
    shell.waitForRenders();
    const QImage shot = shell.window->grab().toImage();
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "window_picture: cannot write %s\n", argv[1]);
        return 1;
    }
    handleMenu(kCopyLeft);
    std::printf("%s\n", qPrintable(QGuiApplication::clipboard()->mimeData()->text()));
    return 0;
}
