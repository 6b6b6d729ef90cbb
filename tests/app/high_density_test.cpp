// The window on high-density screens: run on three offscreen screens, the
// first at ratio 2 (QT_SCALE_FACTOR=2), the others at the fractional 1.5 and
// 1.25.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "app/gestures.h"
#include "app/menus.h"
#include "commands/handle_menu.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "tests/support/gui_support.h"
#include "tests/support/pasted_command.h"
#include "tests/support/repaint_check.h"

namespace {

// A client area of 570 x 300 logical pixels: frames of 270, 540 on the device.
struct HighDensityTest : testing::Test {
    Shell shell{570, 300, handleMenu};
    const double pixel = 4.0 / 540;

    QImage grabbed() const { return shell.area->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// Sends a left-button event at a logical position with a fraction, as a
// screen's own pixels give them.
void sendButton(QWidget* w, QEvent::Type type, QPointF at)
{
    QMouseEvent event(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {});
    QApplication::sendEvent(w, &event);
}

TEST_F(HighDensityTest, FramesAreRenderedAtDevicePixelsInTheirLogicalPlaces)
{
    ASSERT_EQ(shell.area->devicePixelRatioF(), 2.0);
    EXPECT_EQ(shell.area->pixelRatio(), 2.0);
    EXPECT_EQ(shell.area->size(), QSize(570, 300));
    EXPECT_EQ(shell.window->minimumSize(), QSize(300, 200));
    EXPECT_EQ(gJRect, (tagRECT{20, 20, 560, 560}));
    EXPECT_EQ(gMRect, (tagRECT{580, 20, 1120, 560}));
    ASSERT_EQ(gMMap->width, 540);
    EXPECT_EQ(Mgraph.Xpxl, pixel);

    QTemporaryDir dir;
    const QString line = QStringLiteral("kavrel-render --size 540 --view -2,2,-2,2 --output m.png");
    expectSamePicture(run(line, dir), shell.frame(gMRect), line);

    // Shown one for one: the screen holds the composed device pixels.
    const QImage screen = grabbed();
    ASSERT_EQ(screen.size(), QSize(1140, 600));
    EXPECT_EQ(screen, shell.area->screenImage());
    const QImage m = screen.copy(580, 20, 540, 540);
    EXPECT_EQ(m, mapImage(*gMMap));
    int doubled = 0;
    for (int y = 0; y < 540; y += 2)
        for (int x = 0; x < 540; x += 2)
            doubled += m.pixel(x, y) == m.pixel(x + 1, y) && m.pixel(x, y) == m.pixel(x, y + 1)
                       && m.pixel(x, y) == m.pixel(x + 1, y + 1);
    EXPECT_LT(doubled, 270 * 270) << "every 2 x 2 block is one colour";
    // A border of one logical pixel, the grip image in the logical corner.
    EXPECT_EQ(screen.pixel(579, 300), qRgb(0, 0, 0));
    EXPECT_EQ(screen.pixel(578, 300), qRgb(0, 0, 0));
    EXPECT_EQ(screen.pixel(577, 300), qRgb(255, 255, 255));
    EXPECT_EQ(screen.pixel(1139, 599), qRgb(192, 192, 192));
    EXPECT_EQ(screen.pixel(1140 - 32, 599), qRgb(255, 255, 255));
}

TEST_F(HighDensityTest, AClickPicksThePointOfTheDevicePixelUnderTheCursor)
{
    // Logical (290 + 30.75, 10 + 40.25) lies in device pixel (580 + 61, 20 + 80).
    const QPointF at(290 + 30.75, 10 + 40.25);
    sendButton(shell.area, QEvent::MouseButtonPress, at);
    sendButton(shell.area, QEvent::MouseButtonRelease, at);
    EXPECT_EQ(Jreal, 61 * pixel + -2.0);
    EXPECT_EQ(Jcomplex, 2.0 - 80 * pixel);
    shell.waitForRenders();
    // The marker covers two logical pixels square there.
    const QImage m = mapImage(*gMMap);
    EXPECT_EQ(m.pixel(61, 80), qRgb(237, 200, 40));
    EXPECT_EQ(m.pixel(64, 83), qRgb(237, 200, 40));
    EXPECT_NE(m.pixel(65, 80), qRgb(237, 200, 40));
    EXPECT_NE(m.pixel(60, 80), qRgb(237, 200, 40));
}

TEST_F(HighDensityTest, TheSelectionGrowsALogicalPixelATickOutlinedInDevicePixels)
{
    const QPoint at(290 + 60, 10 + 70);  // device (700, 160)
    QTest::mousePress(shell.area, Qt::LeftButton, {}, at);
    for (int tick = 0; tick < 20; ++tick)
        shell.area->gestures().tick();
    const tagRECT selected = gFrame;
    EXPECT_EQ(selected, (tagRECT{700 - 24, 160 - 24, 700 + 24, 160 + 24}));
    // Dots of one device pixel down the left side: every other pixel, and
    // nothing beside them.
    const QImage screen = shell.area->screenImage();
    const auto under = [](int x, int y) { return mapImage(*gMMap).pixel(x - gMRect.left, y - gMRect.top); };
    const int x = selected.left, y = selected.top + 10;
    EXPECT_EQ(screen.pixel(x, y), under(x, y) ^ 0x00FF0000u);
    EXPECT_EQ(screen.pixel(x, y + 1), under(x, y + 1));
    EXPECT_EQ(screen.pixel(x + 1, y), under(x + 1, y));
    EXPECT_EQ(screen.pixel(x - 1, y), under(x - 1, y));
    EXPECT_EQ(grabbed(), screen);
    QTest::mouseRelease(shell.area, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(Mgraph.Xmin, (selected.left - gMRect.left) * pixel + -2.0);
    EXPECT_EQ(Mgraph.Ymin, 2.0 - (selected.bottom - gMRect.top) * pixel);
    shell.waitForRenders();

    // Steps of two pixels stop at the frame's edge rather than pass it.
    const tagRECT frame{20, 20, 561, 561};
    gLastMClick = {101, 101};
    gNumMsgs = 0;
    while (gNumMsgs < 400)
        SelectRange(frame, 2.0);
    EXPECT_EQ(gFrame, (tagRECT{20, 20, 560, 560}));
    gNumMsgs = 0;
}

TEST_F(HighDensityTest, CopiesHoldTheFramesAndTheBandAtDeviceResolution)
{
    QTemporaryDir dir;
    handleMenu(kCopyLeft);
    const QImage left = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(left.size(), QSize(540, 540));
    EXPECT_EQ(left, shell.frame(gJRect));
    const QString line = QGuiApplication::clipboard()->mimeData()->text();
    EXPECT_TRUE(line.contains(QStringLiteral(" --size 540 "))) << line.toStdString();
    expectSamePicture(run(line, dir), left, line);

    handleMenu(kCopyWindow);
    const QImage band = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(band.size(), QSize(1140, 580));
    EXPECT_EQ(band, shell.area->screenImage().copy(0, 0, 1140, 580));
}

// Moves the window to another screen and waits until it has been laid out
// there at the screen's ratio and rendered.
void moveToScreen(Shell& shell, int screen, double ratio)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 3);
    const int layouts = shell.area->layoutCount();
    shell.window->windowHandle()->setScreen(screens[screen]);
    ASSERT_TRUE(waitUntil([&] { return shell.area->layoutCount() > layouts; }, 3000));
    shell.waitForRenders();
    ASSERT_EQ(shell.area->pixelRatio(), ratio);
}

// Every device pixel as composed, none left over from an old ratio, also
// below the menu bar, which may end inside a device pixel.
void expectShownOneForOne(Shell& shell)
{
    const double ratio = shell.area->pixelRatio();
    const QImage screen = shell.area->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(screen, shell.area->screenImage()) << "at ratio " << ratio;
    EXPECT_EQ(screen.copy(gMRect.left, gMRect.top, gMMap->width, gMMap->height), mapImage(*gMMap));
    const QImage whole = shell.window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int top = qRound(shell.area->mapTo(shell.window.get(), QPoint(0, 0)).y() * ratio);
    EXPECT_EQ(whole.copy(0, top, screen.width(), screen.height()), screen) << "at ratio " << ratio;
}

TEST_F(HighDensityTest, AMoveToAScreenOfAFractionalRatioLaysOutAgainWithoutGaps)
{
    moveToScreen(shell, 1, 1.5);
    EXPECT_EQ(shell.area->size(), QSize(570, 300));
    // 270 logical pixels at 1.5; the frames from 15 and 435 on the device.
    EXPECT_EQ(gJRect, (tagRECT{15, 15, 420, 420}));
    EXPECT_EQ(gMRect, (tagRECT{435, 15, 840, 420}));
    EXPECT_EQ(gMMap->width, 405);
    EXPECT_EQ(Mgraph.Xpxl, 4.0 / 405);
    expectShownOneForOne(shell);
    // At 1.25 halves round up: 337.5 to 338, 12.5 to 13, 362.5 to 363.
    moveToScreen(shell, 2, 1.25);
    EXPECT_EQ(gJRect, (tagRECT{13, 13, 351, 351}));
    EXPECT_EQ(gMRect, (tagRECT{363, 13, 701, 351}));
    expectShownOneForOne(shell);
    moveToScreen(shell, 0, 2.0);
    EXPECT_EQ(gMMap->width, 540);
}

TEST_F(HighDensityTest, SelectionTicksAtAFractionalRatioLeaveNoTrails)
{
    moveToScreen(shell, 1, 1.5);
    expectTicksRepaintWhatTheyChange(shell, QPoint(10 + 51, 10 + 61));
}

} // namespace

int main(int argc, char** argv)
{
    // Three screens side by side, the second and third at three quarters and
    // five eighths of the first's ratio.
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("screens.json")));
    if (!config.open(QIODevice::WriteOnly)
        || config.write(R"({"screens": [{"name": "first", "x": 0, "y": 0, "width": 1600, "height": 1200},
                                        {"name": "second", "x": 1600, "y": 0, "width": 1600, "height": 1200},
                                        {"name": "third", "x": 3200, "y": 0, "width": 1600, "height": 1200}]})")
               < 0)
        return 2;
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    qputenv("QT_SCALE_FACTOR", "2");
    qputenv("QT_SCREEN_SCALE_FACTORS", "1;0.75;0.625");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
