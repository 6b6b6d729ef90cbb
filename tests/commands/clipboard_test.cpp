#include <gtest/gtest.h>

#include <QClipboard>
#include <QMimeData>
#include <QTest>

#include "app/menus.h"
#include "commands/handle_menu.h"
#include "commands/validate.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "tests/support/gui_support.h"
#include "tests/support/pasted_command.h"

namespace {

QStringList clipboardLines()
{
    return QGuiApplication::clipboard()->mimeData()->text().split(u'\n');
}

QImage clipboardImage()
{
    return QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
}

// Press and hold in a frame until the square has grown, then let go.
void zoomAt(Shell& shell, QPoint at)
{
    QTest::mousePress(shell.area, Qt::LeftButton, {}, at);
    settle(800);
    QTest::mouseRelease(shell.area, Qt::LeftButton, {}, at);
    shell.waitForRenders();
}

TEST(ClipboardTextTest, TheCopiedCommandDrawsTheCopiedFramePixelForPixel)
{
    Shell shell{400, 300, handleMenu};
    QTemporaryDir dir;
    // Zoomed by hand, so that the bounds are whatever the pixel arithmetic gave.
    zoomAt(shell, QPoint(gMRect.left + 57, gMRect.top + 71));
    handleMenu(kMandelbrotIters + 1);  // " 500", no restart: the frame was drawn at the old limit
    drawFigure({0, 0, gMMap->width, gMMap->height}, kMandelbrot);
    shell.waitForRenders();
    handleMenu(kCopyRight);
    QStringList lines = clipboardLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(QStringLiteral(" --iters 500 "))) << lines[0].toStdString();
    expectSamePicture(run(lines[0], dir), clipboardImage(), lines[0]);

    const QPoint pick(gMRect.left + 61, gMRect.top + 89);
    QTest::mouseClick(shell.area, Qt::LeftButton, {}, pick);
    shell.waitForRenders();
    zoomAt(shell, QPoint(gJRect.left + 40, gJRect.top + 100));
    handleMenu(kCopyLeft);
    lines = clipboardLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("kavrel-render --set julia --power 2 --c "))) << lines[0].toStdString();
    expectSamePicture(run(lines[0], dir), clipboardImage(), lines[0]);

    // The window: the Julia frame's line, then the Mandelbrot frame's, each
    // to a file of its own. The click's marker is in the Mandelbrot map, and
    // no command draws it.
    handleMenu(kCopyWindow);
    lines = clipboardLines();
    ASSERT_EQ(lines.size(), 2);
    expectSamePicture(run(lines[0], dir), shell.frame(gJRect), lines[0]);
    const QImage mandelbrot = run(lines[1], dir);
    const QPoint marker = pick - QPoint(gMRect.left, gMRect.top);
    for (const QPoint p : differences(mandelbrot, shell.frame(gMRect)))
        EXPECT_TRUE(p.x() - marker.x() >= 0 && p.x() - marker.x() < 2 && p.y() - marker.y() >= 0 && p.y() - marker.y() < 2)
            << lines[1].toStdString() << "\ndiffers at " << p.x() << "," << p.y() << ", outside the marker";
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("julia.png"))));
}

TEST(ClipboardTextTest, TheLargestExponentTheDialogGivesReachesTheRenderer)
{
    Shell shell{300, 200, handleMenu};
    QTemporaryDir dir;
    whichFunc = 5;
    gRealExpon = roundToHundredths(99.99f);  // a little above 99.99
    gCplxExpon = roundToHundredths(-99.99f);
    gIterFlag = 2;
    Jgraph.iters = Mgraph.iters = 50;
    shell.area->setupWindow();
    shell.waitForRenders();
    for (int code : {kCopyLeft, kCopyRight}) {
        handleMenu(code);
        const QStringList lines = clipboardLines();
        ASSERT_EQ(lines.size(), 1);
        expectSamePicture(run(lines[0], dir), clipboardImage(), lines[0]);
    }
}

} // namespace
