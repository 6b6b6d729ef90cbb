#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include "app/frame_layout.h"
#include "app/menus.h"
#include "app/gestures.h"
#include "app/shell_state.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "tests/support/gui_support.h"
#include "tests/support/repaint_check.h"

namespace {

QStringList texts(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

TEST(WindowTest, MenuTreeAndItsStartState)
{
    Shell shell;
    EXPECT_EQ(shell.window->windowTitle(), QStringLiteral("Kavrel For Windows v 1.0"));
    EXPECT_EQ(shell.window->minimumSize(), QSize(300, 200));
    EXPECT_FALSE(shell.window->windowIcon().isNull());
    QStringList bar;
    for (QAction* a : topLmenu->actions())
        bar << a->text();
    EXPECT_EQ(bar, (QStringList{"&File", "&Edit", "&Option"}));
    EXPECT_EQ(texts(fileMenu), (QStringList{"About Kavrel", "-", "&Exit"}));
    EXPECT_EQ(texts(editMenu), (QStringList{"Cut", "Copy", "Paste"}));
    EXPECT_EQ(texts(clipSelect), (QStringList{"Left Frame", "Right Frame", "Entire Window"}));
    EXPECT_EQ(texts(optionMenu), (QStringList{"Auto Iters", "Manual Iters", "Reset Magnification", "-", "X^2 + C",
                                              "X^3 + C", "X^5 + C", "X^10 + C", "Other, Fractional ..."}));
    EXPECT_EQ(texts(iterFunc), (QStringList{"Julia Iters", "Mbrot Iters"}));
    const QStringList counts{" 100", " 500", "1000", "2000", "5000", "9000", "Other ..."};
    EXPECT_EQ(texts(jitters), counts);
    EXPECT_EQ(texts(mitters), counts);
    EXPECT_EQ(texts(magSelect), (QStringList{"Julia Window", "Mandelbrot Window"}));
    EXPECT_FALSE(findCommand(editMenu, kCut)->isEnabled());
    EXPECT_FALSE(findCommand(editMenu, kPaste)->isEnabled());

    // Exactly two check marks at start.
    QStringList checked;
    for (QMenu* m : {fileMenu, editMenu, clipSelect, optionMenu, jitters, mitters, magSelect})
        for (QAction* a : m->actions())
            if (a->isChecked())
                checked << a->text();
    EXPECT_EQ(checked, (QStringList{"Auto Iters", "X^2 + C"}));

    // Every command reaches the dispatcher with its identifier; marks stay put.
    findCommand(jitters, kJuliaIters + 1)->trigger();
    findCommand(optionMenu, kFuncCube)->trigger();
    findCommand(clipSelect, kCopyRight)->trigger();
    EXPECT_EQ(shell.commands, (std::vector<int>{801, 705, 612}));
    EXPECT_FALSE(isMenuItemChecked(jitters, 801));
    EXPECT_TRUE(isMenuItemChecked(optionMenu, kFuncSquare));
}

TEST(WindowTest, LayoutGeometry)
{
    const FrameLayout small = frameLayout(292, 154);
    EXPECT_EQ(small.side, 131);
    EXPECT_EQ(small.julia, (tagRECT{10, 10, 141, 141}));
    EXPECT_EQ(small.mandelbrot, (tagRECT{151, 10, 282, 141}));
    const FrameLayout wide = frameLayout(800, 300);
    EXPECT_EQ(wide.side, 280);
    EXPECT_EQ(800 - wide.mandelbrot.right, 220);
    EXPECT_EQ(frameLayout(20, 10).side, 0);

    Shell shell(420, 260);
    ASSERT_EQ(shell.area->size(), QSize(420, 260));
    EXPECT_EQ(gJRect, (tagRECT{10, 10, 205, 205}));
    EXPECT_EQ(gMRect, (tagRECT{215, 10, 410, 205}));
    EXPECT_EQ(gWinRect, (tagRECT{0, 0, 420, 260}));
    ASSERT_TRUE(gJMap && gMMap);
    EXPECT_EQ(gMMap->width, 195);
    EXPECT_EQ(gJMap->height, 195);
    EXPECT_EQ(Mgraph.Xpxl, 4.0 / 195);

    // Borders just outside each frame, the grip image in the corner.
    const QImage screen = shell.area->screenImage();
    for (const tagRECT& r : {gJRect, gMRect}) {
        EXPECT_EQ(screen.pixel(r.left - 1, r.top - 1), qRgb(0, 0, 0));
        EXPECT_EQ(screen.pixel(r.right, r.bottom), qRgb(0, 0, 0));
        EXPECT_EQ(screen.pixel(r.left - 1, r.top + 50), qRgb(0, 0, 0));
        EXPECT_EQ(screen.pixel(r.left - 2, r.top + 50), qRgb(255, 255, 255));
    }
    const QImage grip = screen.copy(420 - 16, 260 - 16, 16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const QRgb stripes[4] = {qRgb(192, 192, 192), qRgb(255, 255, 255), qRgb(128, 128, 128), qRgb(128, 128, 128)};
            const QRgb expected = x + y < 18 ? qRgb(255, 255, 255) : stripes[(x + y - 18) % 4];
            ASSERT_EQ(grip.pixel(x, y), expected) << "grip pixel " << x << "," << y;
        }
}

QImage renderedByTool(const QStringList& args, const QString& path)
{
    QProcess p;
    p.start(QStringLiteral(KAVREL_RENDER), args + QStringList{"--threads", "1", "--output", path});
    p.waitForFinished(60000);
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// Numbers as the tool's options take them, each read back to the same double.
QString exactly(std::initializer_list<double> values)
{
    QStringList parts;
    for (double v : values)
        parts << QString::number(v, 'g', 17);
    return parts.join(u',');
}

TEST(WindowTest, FirstShowRendersBothFramesAsTheHeadlessRendererDoes)
{
    Shell shell(400, 300);
    const int side = gMRect.bottom - gMRect.top;
    QTemporaryDir dir;
    const QStringList view{"--size", QString::number(side), "--view", "-2,2,-2,2"};
    const QImage mandelbrot = renderedByTool(view, dir.filePath("m.png"));
    const QImage julia = renderedByTool(view + QStringList{"--set", "julia"}, dir.filePath("j.png"));
    ASSERT_FALSE(mandelbrot.isNull());
    EXPECT_EQ(shell.frame(gMRect), mandelbrot);
    EXPECT_EQ(shell.frame(gJRect), julia);
    EXPECT_TRUE(clipSelect->menuAction()->isEnabled()) << "the Copy popup stayed grayed after the renders";
}

TEST(WindowTest, EscapeHaltsBothRendersAndKeepsThePartialPictures)
{
    Shell shell;
    makeRendersSlow(shell);
    EXPECT_TRUE(anyRenderRunning());
    EXPECT_FALSE(clipSelect->menuAction()->isEnabled());
    QTest::keyClick(shell.window.get(), Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([] { return !anyRenderRunning(); }, 5000));
    EXPECT_TRUE(waitUntil([] { return clipSelect->menuAction()->isEnabled(); }, 2000));
    EXPECT_EQ(gMthd, kFinished);
    // The Julia render was still waiting: its frame stays blank.
    EXPECT_EQ(shell.frame(gJRect).pixel(5, 5), qRgb(255, 255, 255));

    // Also while a menu is open.
    makeRendersSlow(shell);
    optionMenu->popup(QPoint(10, 10));
    ASSERT_TRUE(waitUntil([] { return optionMenu->isVisible(); }, 2000));
    QTest::keyClick(optionMenu, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([] { return !anyRenderRunning(); }, 5000));
    optionMenu->hide();
}

TEST(WindowTest, RestoreToTheSameSizeKeepsTheRendersAndMaximizingLaysOutAnew)
{
    Shell shell;
    makeRendersSlow(shell);
    const int layouts = shell.area->layoutCount();
    const std::uint32_t running = mThdID;
    shell.window->showMinimized();
    settle(50);
    shell.window->showNormal();
    settle(400);
    EXPECT_EQ(gWasMinimized, 1);
    EXPECT_EQ(shell.area->layoutCount(), layouts);
    EXPECT_EQ(mThdID, running) << "the Mandelbrot render was restarted";
    shell.window->showMaximized();
    EXPECT_TRUE(waitUntil([&] { return shell.area->layoutCount() == layouts + 1; }, 3000));
    EXPECT_EQ(gWinRect.right, shell.area->width());
}

TEST(WindowTest, PressWhileRenderingIsRefusedWithTheSuggestion)
{
    Shell shell;
    makeRendersSlow(shell);
    BoxAnswerer answerer;
    const QPoint inside(gMRect.left + 20, gMRect.top + 20);
    QTest::mousePress(shell.area, Qt::LeftButton, {}, inside);
    EXPECT_EQ(answerer.boxes, (std::vector<std::string>{"Suggestion:: Press ESC to halt"}));
    EXPECT_EQ(gNumMsgs, -1);
    // Room for the caption in a bold title font beside a title bar's three
    // buttons: a box only as wide as its short text had it cut.
    QFont bold = shell.window->font();
    bold.setBold(true);
    const int titleBar = shell.window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    ASSERT_EQ(answerer.widths.size(), 1u);
    EXPECT_GE(answerer.widths[0], QFontMetrics(bold).horizontalAdvance(QStringLiteral("Suggestion:")) + 3 * titleBar);
    const double xmin = Mgraph.Xmin;
    settle(700);
    QTest::mouseRelease(shell.area, Qt::LeftButton, {}, inside);
    EXPECT_EQ(gNumMsgs, 0);
    EXPECT_EQ(Mgraph.Xmin, xmin);
    // A press in the margin is no gesture and shows nothing.
    QTest::mousePress(shell.area, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseRelease(shell.area, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(answerer.boxes.size(), 1u);
}

TEST(WindowTest, ClickInTheMandelbrotFramePicksTheConstantAndRedrawsTheJuliaFrame)
{
    Shell shell;
    loadStats(&Jgraph, -1.0, 1.0, -1.0, 1.0);  // a zoomed Julia view must stay zoomed
    newPxl();
    const QPoint at(gMRect.left + 30, gMRect.top + 40);
    QTest::mouseClick(shell.area, Qt::LeftButton, {}, at);
    const double pixel = 4.0 / (gMRect.right - gMRect.left);
    EXPECT_EQ(Jreal, 30 * pixel + -2.0);
    EXPECT_EQ(Jcomplex, 2.0 - 40 * pixel);
    EXPECT_EQ(Jgraph.Xmin, -1.0);
    shell.waitForRenders();
    // The 2 x 2 marker in the Mandelbrot map.
    const QImage m = shell.frame(gMRect);
    EXPECT_EQ(m.pixel(30, 40), qRgb(237, 200, 40));
    EXPECT_EQ(m.pixel(31, 41), qRgb(237, 200, 40));
    EXPECT_NE(m.pixel(32, 40), qRgb(237, 200, 40));
    // The Julia frame shows the set of the new constant.
    const int side = gJRect.right - gJRect.left;
    QTemporaryDir dir;
    const QImage julia = renderedByTool({"--set", "julia", "--size", QString::number(side), "--view", "-1,1,-1,1",
                                         "--c", exactly({Jreal, Jcomplex})},
                                        dir.filePath("j.png"));
    EXPECT_EQ(shell.frame(gJRect), julia);
}

TEST(WindowTest, SelectionGrowsFromThePressPointAndStopsAtTheFrame)
{
    const tagRECT frame{10, 10, 141, 141};
    gLastMClick = {75, 75};
    gNumMsgs = 0;
    for (int tick = 1; tick <= 9; ++tick)
        EXPECT_EQ(SelectRange(frame), 0) << "tick " << tick;
    EXPECT_EQ(SelectRange(frame), 1);
    EXPECT_EQ(gFrame, (tagRECT{73, 73, 77, 77}));
    EXPECT_EQ(SelectRange(frame), 1);
    EXPECT_EQ(gFrame, (tagRECT{72, 72, 78, 78}));
    while (gNumMsgs < 73)
        SelectRange(frame);
    EXPECT_EQ(gFrame, (tagRECT{10, 10, 140, 140}));
    SelectRange(frame);
    EXPECT_EQ(gFrame, (tagRECT{10, 10, 140, 140}));
    // Pressed next to the edge, the far side grows twice as fast.
    gLastMClick = {12, 75};
    gNumMsgs = 0;
    for (int tick = 1; tick <= 11; ++tick)
        SelectRange(frame);
    EXPECT_EQ(gFrame, (tagRECT{10, 72, 16, 78}));
    // Next to the top and right edges, and next to the bottom edge.
    const struct { tagPOINT press; tagRECT tick10, tick11; } nearEdges[] = {
        {{138, 12}, {136, 10, 140, 14}, {134, 10, 140, 16}},
        {{75, 138}, {73, 136, 77, 140}, {72, 134, 78, 140}},
    };
    for (const auto& e : nearEdges) {
        gLastMClick = e.press;
        gNumMsgs = 0;
        for (int tick = 1; tick <= 10; ++tick)
            SelectRange(frame);
        EXPECT_EQ(gFrame, e.tick10) << "pressed at " << e.press.x << "," << e.press.y;
        SelectRange(frame);
        EXPECT_EQ(gFrame, e.tick11) << "pressed at " << e.press.x << "," << e.press.y;
    }
    gNumMsgs = 0;
}

TEST(WindowTest, HoldZoomsTheFrameToTheConvertedCorners)
{
    Shell shell;
    const double juliaXmin = Jgraph.Xmin;
    const QImage juliaBefore = shell.frame(gJRect);
    const QPoint at(gMRect.left + 60, gMRect.top + 70);
    QTest::mousePress(shell.area, Qt::LeftButton, {}, at);
    for (int tick = 0; tick < 20; ++tick)
        shell.area->gestures().tick();
    const tagRECT selected = gFrame;
    // Tick 10 shows (x - 2, y - 2, x + 2, y + 2); each tick after grows it by one.
    EXPECT_EQ(selected, (tagRECT{at.x() - 12, at.y() - 12, at.x() + 12, at.y() + 12}));
    // The outline shows, exclusive-or'ed in red over the picture.
    const QRgb under = gMMap->pixel(selected.left - gMRect.left, selected.top - gMRect.top);
    const QRgb outlined = shell.area->screenImage().pixel(selected.left, selected.top);
    EXPECT_EQ(outlined, under ^ 0x00FF0000u);
    // The window paints exactly what screenImage composes, outline included.
    EXPECT_EQ(shell.area->grab().toImage().convertToFormat(QImage::Format_RGB32), shell.area->screenImage());
    const double pixel = 4.0 / (gMRect.right - gMRect.left);
    QTest::mouseRelease(shell.area, Qt::LeftButton, {}, QPoint(3, 3));  // released outside the frames
    EXPECT_EQ(Mgraph.Xmin, (selected.left - gMRect.left) * pixel + -2.0);
    EXPECT_EQ(Mgraph.Ymax, 2.0 - (selected.top - gMRect.top) * pixel);
    EXPECT_EQ(Mgraph.Xmax, (selected.right - gMRect.left) * pixel + -2.0);
    EXPECT_EQ(Mgraph.Ymin, 2.0 - (selected.bottom - gMRect.top) * pixel);
    EXPECT_EQ(Jgraph.Xmin, juliaXmin);
    shell.waitForRenders();
    // The Mandelbrot frame was rendered anew at the zoomed view; the Julia
    // frame was left as it was.
    QTemporaryDir dir;
    const QImage zoomed = renderedByTool({"--size", QString::number(gMRect.right - gMRect.left), "--view",
                                          exactly({Mgraph.Xmin, Mgraph.Xmax, Mgraph.Ymin, Mgraph.Ymax}), "--iters",
                                          QString::number(Mgraph.iters)},
                                         dir.filePath("m.png"));
    ASSERT_FALSE(zoomed.isNull());
    EXPECT_EQ(shell.frame(gMRect), zoomed);
    EXPECT_EQ(shell.frame(gJRect), juliaBefore);
    const QImage after = shell.area->screenImage();
    EXPECT_EQ(after.pixel(selected.left, selected.top),
              shell.frame(gMRect).pixel(selected.left - gMRect.left, selected.top - gMRect.top))
        << "the outline stayed on screen after the zoom";

    // Driven by the 50 ms timer: a release after half a second zooms.
    const double before = Mgraph.Xmin;
    QTest::mousePress(shell.area, Qt::LeftButton, {}, at);
    settle(800);
    QTest::mouseRelease(shell.area, Qt::LeftButton, {}, at);
    EXPECT_NE(Mgraph.Xmin, before);
}

TEST(WindowTest, SelectionTicksRepaintEveryPixelTheOutlineLeavesOrReaches)
{
    Shell shell;
    expectTicksRepaintWhatTheyChange(shell, QPoint(gJRect.left + 50, gJRect.top + 60));
}

TEST(WindowTest, GripBracketRepaintsAnUnchangedSizeAndLaysOutANewOneOnce)
{
    Shell shell;
    QWidget* grip = shell.area->childAt(gWinRect.right - 2, gWinRect.bottom - 2);
    ASSERT_NE(grip, nullptr);
    const int layouts = shell.area->layoutCount();
    QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(gUsrSzWin, 1);
    EXPECT_EQ(shell.area->screenImage().pixel(gMRect.left + 5, gMRect.top + 5), qRgb(255, 255, 255));
    QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(gUsrSzWin, 0);
    settle(400);
    EXPECT_EQ(shell.area->layoutCount(), layouts);

    QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent drag(QEvent::MouseMove, QPointF(65, 45), grip->mapToGlobal(QPointF(65, 45)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &drag);
    EXPECT_EQ(shell.area->layoutCount(), layouts);  // nothing laid out while the button is held
    QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(65, 45));
    EXPECT_EQ(shell.area->layoutCount(), layouts + 1);
    EXPECT_EQ(gWinRect.right, 460);
    EXPECT_EQ(gWinRect.bottom, 340);
    settle(400);
    EXPECT_EQ(shell.area->layoutCount(), layouts + 1);
}

TEST(WindowTest, BurstOfResizesGivesOneLayout)
{
    Shell shell;
    const int layouts = shell.area->layoutCount();
    for (int i = 1; i <= 20; ++i) {
        shell.resizeClient(400 + 10 * i, 300 + 5 * i);
        settle(10);
    }
    EXPECT_EQ(gUsrSzWin, 1);
    EXPECT_EQ(shell.area->layoutCount(), layouts);
    EXPECT_TRUE(waitUntil([&] { return shell.area->layoutCount() > layouts; }, 3000));
    settle(400);
    EXPECT_EQ(shell.area->layoutCount(), layouts + 1);
    EXPECT_EQ(gWinRect, (tagRECT{0, 0, 600, 400}));
    EXPECT_EQ(gMMap->width, 285);

    // A burst that ends where it began repaints and renders nothing anew.
    shell.resizeClient(500, 380);
    settle(20);
    shell.resizeClient(600, 400);
    settle(400);
    EXPECT_EQ(shell.area->layoutCount(), layouts + 1);
}

TEST(WindowTest, FatalAlertFromARenderThreadShowsTheBoxAndEndsWithStatusOne)
{
    Shell shell;
    BoxAnswerer answerer;
    QTimer::singleShot(0, [] {
        whichFunc = 9;  // the renders' next evaluations raise "bad func switch"
        gTheWindow->findChild<ClientArea*>()->setupWindow();
    });
    const int status = QApplication::exec();
    whichFunc = 1;
    EXPECT_EQ(status, 1);
    EXPECT_EQ(answerer.boxes, (std::vector<std::string>{"Fatal Error!: bad func switch"}));
    EXPECT_TRUE(fatalAlertRaised());
}

} // namespace
