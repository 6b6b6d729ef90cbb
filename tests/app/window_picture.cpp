// Saves a picture of the explorer's window for the README: started on Qt's
// offscreen platform, a Julia constant picked with a click in the Mandelbrot
// frame, both renders finished. Prints what Copy > Left Frame puts on the
// clipboard as text. Usage: window_picture OUT.png [--deep]; with
// QT_SCALE_FACTOR set, the picture is at that ratio. With --deep (at ratio 1)
// the Mandelbrot frame is first zoomed into seahorse valley, to a radius of
// 1e-26, and the constant picked there; Copy > Right Frame is printed too.
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <cstdio>

#include "app/menus.h"
#include "commands/handle_menu.h"
#include "tests/support/deep_zoom.h"
#include "tests/support/gui_support.h"

int main(int argc, char** argv)
{
    const bool deep = argc == 3 && QByteArray(argv[2]) == "--deep";
    if (argc != 2 && !deep) {
        std::fprintf(stderr, "usage: window_picture OUT.png [--deep]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Shell shell(650, 340, handleMenu);
    if (deep) {
        // Each zoom aimed at a point near a small copy of the set, as a user
        // would press, then the constant picked there.
        const std::string re = "-0.743643887037158704752191506114774", im = "0.131825904205311970493132056385139";
        while (radiusLog10Of(kMandelbrot) > -26)
            zoomAt(shell, kMandelbrot, pixelNearest(kMandelbrot, re, im));
        const tagPOINT p = pixelNearest(kMandelbrot, re, im);
        QTest::mouseClick(shell.area, Qt::LeftButton, {}, QPoint(gMRect.left + p.x, gMRect.top + p.y));
        shell.waitForRenders();
        handleMenu(kCopyRight);
        std::printf("%s\n", qPrintable(QGuiApplication::clipboard()->mimeData()->text()));
    } else {
        // The pixel of the constant -0.8 + 0.156i in the start view, given
        // to the mouse in logical pixels.
        const double pixel = 4.0 / (gMRect.right - gMRect.left);
        const double ratio = shell.area->pixelRatio();
        const QPoint at(qRound((gMRect.left + static_cast<int>((-0.8 + 2.0) / pixel)) / ratio),
                        qRound((gMRect.top + static_cast<int>((2.0 - 0.156) / pixel)) / ratio));
        QTest::mouseClick(shell.area, Qt::LeftButton, {}, at);
        shell.waitForRenders();
    }
    const QImage shot = shell.window->grab().toImage();
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "window_picture: cannot write %s\n", argv[1]);
        return 1;
    }
    handleMenu(kCopyLeft);
    std::printf("%s\n", qPrintable(QGuiApplication::clipboard()->mimeData()->text()));
    return 0;
}
