// The window past where doubles end: zooms into deep frames, what the
// copies and clicks of deep frames give, and how a deep render stops.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTest>

#include <cmath>
#include <set>
#include <string>

#include "app/gestures.h"
#include "app/menus.h"
#include "app/shell_state.h"
#include "app/window_requests.h"
#include "commands/handle_menu.h"
#include "engine/colouring.h"
#include "engine/deep/decimal.h"
#include "engine/deep/deep_frame.h"
#include "engine/deep/deep_view.h"
#include "engine/palette.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "render/render_threads.h"
#include "tests/support/deep_reference.h"
#include "tests/support/deep_zoom.h"
#include "tests/support/gui_support.h"
#include "tests/support/pasted_command.h"

namespace {

QString clipboardText() { return QGuiApplication::clipboard()->mimeData()->text(); }
QImage clipboardImage() { return QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32); }

int colours(const QImage& image)
{
    std::set<QRgb> seen;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            seen.insert(image.pixel(x, y));
    return static_cast<int>(seen.size());
}

// Zooms the frame toward the target down to a radius of 10^toLog10, each
// zoom aimed at the pixel nearest it. Each frame past the switch is copied
// and its line drawn by kavrel-render: the same picture. Returns how many
// deep frames there were.
int zoomToward(Shell& shell, short frame, const std::string& re, const std::string& im, double toLog10,
               const QTemporaryDir& dir)
{
    const int copy = frame == kJulia ? kCopyLeft : kCopyRight;
    int deepFrames = 0;
    while (radiusLog10Of(frame) > toLog10) {
        const bool wasDeep = frameDeepView(frame).has_value();
        const grafStats& g = frameView(frame);
        const double Xmin = g.Xmin, Ymax = g.Ymax, Xpxl = g.Xpxl, Ypxl = g.Ypxl;
        zoomAt(shell, frame, pixelNearest(frame, re, im));
        if (!frameDeepView(frame)) {
            EXPECT_FALSE(wasDeep) << "back to doubles without a reset";
            EXPECT_TRUE(doublesSuffice({g.Xmin, g.Xmax, g.Ymin, g.Ymax}, g.horizpxls, g.vertpxls))
                << "a plane frame past the switch, pixel " << g.Xpxl;
            continue;
        }
        if (!wasDeep) {
            // The first deep frame shows the square the plane frame's pixel
            // rule gives its selection, to far below a pixel.
            const tagRECT& r = frameRect(frame);
            const double left = (gFrame.left - r.left) * Xpxl + Xmin, top = Ymax - (gFrame.top - r.top) * Ypxl;
            const PlaneView edges = nearestPlane(*frameDeepView(frame));
            const double pixel = std::pow(10.0, pixelLog10Of(frame));
            EXPECT_LT(std::fabs(edges.Xmin - left), 1e-3 * pixel) << "switch at pixel " << Xpxl;
            EXPECT_LT(std::fabs(edges.Ymax - top), 1e-3 * pixel);
        }
        ++deepFrames;
        handleMenu(copy);
        const QString line = clipboardText();
        EXPECT_TRUE(line.contains(QStringLiteral(" --center ")) && line.contains(QStringLiteral("--colouring extended")))
            << line.toStdString();
        const QImage shown = clipboardImage();
        expectSamePicture(run(line, dir), shown, line);
        EXPECT_GT(colours(shown), 8) << "a frame of almost one colour at pixel 1e" << pixelLog10Of(frame);
        if (testing::Test::HasFailure())
            break;
    }
    return deepFrames;
}

// Counts of a few pixels against every pass in MPFR: the window's deep
// evaluation is the true orbit's, and its map shows their colours.
void expectTrueCounts(short frame)
{
    const FrameSpec job = frameSpec(frame);
    ASSERT_TRUE(job.deep());
    const DeepFrame deep(job);
    const offBMP& map = frame == kJulia ? *gJMap : *gMMap;
    DeepCounters counters;
    int shownAsTrue = 0, samples = 0;
    for (int i = 0; i < 12; ++i) {
        const int col = (37 * i + 11) % job.width, row = (53 * i + 7) % job.width;
        const std::int32_t truth = bruteForceCount(job, col, row);
        EXPECT_EQ(deep.count(col, row, counters), truth) << "pixel " << col << "," << row;
        const int index = paletteIndex(Colouring::Extended, truth, job.maxIters);
        shownAsTrue += map.pixel(col, row) == displayColor(gColorList[index]) ? 1 : 0;
        ++samples;
    }
    // A block painted from its outline may hold a pixel of another count.
    EXPECT_GE(shownAsTrue, samples - 1);
}

TEST(DeepWindowTest, TheMandelbrotFrameZoomsOnPastWhereDoublesEndAndEachDeepFrameIsItsCopiedLine)
{
    Shell shell{400, 300, handleMenu};
    QTemporaryDir dir;
    // c = i: on the boundary at every depth, the set's own copy turned.
    EXPECT_GE(zoomToward(shell, kMandelbrot, "0", "1", -60, dir), 25);
    EXPECT_LE(radiusLog10Of(kMandelbrot), -60);
    expectTrueCounts(kMandelbrot);
    EXPECT_GT(Mgraph.iters, 40000) << "the automatic limit grows with depth";
    EXPECT_FALSE(gJDeep) << "the Julia frame was not touched";
}

TEST(DeepWindowTest, AClickInADeepFramePicksItsPointExactlyAndTheJuliaFrameZoomsDeepOnIt)
{
    Shell shell{400, 300, handleMenu};
    QTemporaryDir dir;
    zoomToward(shell, kMandelbrot, "0", "1", -22, dir);
    ASSERT_TRUE(gMDeep);
    // The click picks the point of the pixel under it, to the depth's digits.
    const tagPOINT pixel = pixelNearest(kMandelbrot, "0", "1");
    QTest::mouseClick(shell.area, Qt::LeftButton, {}, QPoint(gMRect.left + pixel.x, gMRect.top + pixel.y));
    shell.waitForRenders();
    const double pixelLog = pixelLog10Of(kMandelbrot);
    ASSERT_FALSE(gJcomplexText.empty());
    EXPECT_GE(static_cast<double>(gJcomplexText.size() - gJcomplexText.find('.') - 1), -pixelLog)
        << gJcomplexText << " has fewer digits than a pixel of 1e" << pixelLog;
    EXPECT_EQ(Jcomplex, std::strtod(gJcomplexText.c_str(), nullptr)) << "the plane frames take its nearest double";
    const FrameSpec m = frameSpec(kMandelbrot);
    const auto [re, im] = deepPixelPoint(m.deepView(), m.width, pixel);
    EXPECT_EQ(gJrealText, re);
    EXPECT_EQ(gJcomplexText, im);
    // The Julia frame, at its start view in doubles, is its copied line.
    handleMenu(kCopyLeft);
    QString line = clipboardText();
    EXPECT_TRUE(line.contains(QStringLiteral("--view -2,2,-2,2"))) << line.toStdString();
    expectSamePicture(run(line, dir), clipboardImage(), line);

    // Zoomed deep on the edge of that Julia set, it iterates the exact
    // constant, which its copied line names.
    const auto [zr, zi] = repellingFixedPoint(2, gJrealText, gJcomplexText, 60);
    EXPECT_GE(zoomToward(shell, kJulia, zr, zi, -30, dir), 8);
    handleMenu(kCopyLeft);
    line = clipboardText();
    EXPECT_TRUE(line.contains(QString::fromStdString("--c " + gJrealText + ',' + gJcomplexText))) << line.toStdString();
    expectTrueCounts(kJulia);
}

TEST(DeepWindowTest, DeepFramesContinueTheCurvePastItsEndWhereCountsRunLong)
{
    Shell shell{400, 300, handleMenu};
    QTemporaryDir dir;
    // Seahorse valley at 1e-16: counts from about 7000 to the limit, a tenth
    // of them past the curve's end at 10,074.
    restartFrameDeep(kMandelbrot, DeepView{"-0.743643887037158704752191506114774", "0.131825904205311970493132056385139",
                                           "1e-16"});
    shell.waitForRenders();
    EXPECT_GT(Mgraph.iters, 14000);
    handleMenu(kCopyRight);
    const QString line = clipboardText();
    const QImage shown = clipboardImage();
    expectSamePicture(run(line, dir), shown, line);
    // In the curve's own colours the long counts would all be one colour.
    QString curve = line;
    curve.replace(QStringLiteral("--colouring extended"), QStringLiteral("--colouring curve"));
    const QImage flat = run(curve, dir);
    EXPECT_GT(differences(flat, shown).size(), 2000u) << "the frame is drawn in the curve's colours";
    EXPECT_LT(colours(flat), colours(shown));
}

TEST(DeepWindowTest, EscapeStopsALongReferenceOrbitWithinATenthOfASecond)
{
    Shell shell{400, 300, handleMenu};
    // Inside the set at 1e-4000: 13,000 bits a point, and 99,000 points.
    gIterFlag = 2;
    Mgraph.iters = 99000;
    restartFrameDeep(kMandelbrot, DeepView{"-0.1", "0.05", "1e-4000"});
    ASSERT_TRUE(waitUntil([] { return orbitProgress(kMandelbrot).points > 1000; }, 20000));
    EXPECT_LT(orbitProgress(kMandelbrot).points, orbitProgress(kMandelbrot).planned);
    // The frame says how far the orbit has come, over its blank map.
    const QImage screen = shell.area->screenImage();
    EXPECT_GT(colours(screen.copy(gMRect.left, gMRect.top, 120, 30)), 2) << "no progress shown";
    EXPECT_EQ(gMMap->pixel(5, 5), displayColor(kWindowColor));
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(shell.window.get(), Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([] { return !anyRenderRunning(); }, 2000));
    EXPECT_LT(clock.elapsed(), 100) << "ms from ESC to the end of the render";
    EXPECT_EQ(orbitProgress(kMandelbrot).planned, 0u);
    // A new render of the frame starts from the beginning.
    restartFrameDeep(kMandelbrot, DeepView{"-0.1", "0.05", "1e-4000"});
    EXPECT_TRUE(anyRenderRunning());
    haltRenders();
}

TEST(DeepWindowTest, AResizeAResetAndAFunctionChangeFromADeepFrameAllWork)
{
    Shell shell{400, 300, handleMenu};
    QTemporaryDir dir;
    zoomToward(shell, kMandelbrot, "0", "1", -16, dir);
    ASSERT_TRUE(gMDeep);
    const DeepView deep = *gMDeep;
    // A resize draws the same square at the new size.
    const int layouts = shell.area->layoutCount();
    shell.resizeClient(500, 360);
    ASSERT_TRUE(waitUntil([&] { return shell.area->layoutCount() > layouts && !gUsrSzWin; }, 5000));
    settle(400);  // the sizing of the window is over
    ASSERT_FALSE(gUsrSzWin);
    shell.waitForRenders();
    EXPECT_EQ(gMDeep, deep);
    handleMenu(kCopyRight);
    QString line = clipboardText();
    EXPECT_TRUE(line.contains(QStringLiteral("--size %1 ").arg(gMMap->width))) << line.toStdString();
    expectSamePicture(run(line, dir), clipboardImage(), line);
    // A new limit draws a deep frame again, at once.
    handleMenu(kMandelbrotIters + 2);  // "1000"
    EXPECT_TRUE(anyRenderRunning());
    shell.waitForRenders();
    handleMenu(kCopyRight);
    line = clipboardText();
    EXPECT_TRUE(line.contains(QStringLiteral(" --iters 1000 "))) << line.toStdString();
    expectSamePicture(run(line, dir), clipboardImage(), line);
    handleMenu(kAutoIters);
    shell.waitForRenders();
    EXPECT_EQ(Mgraph.iters, deepWindowIters(*gMDeep, gMMap->width));

    // Reset: the start view, in doubles.
    handleMenu(kResetMandelbrot);
    shell.waitForRenders();
    EXPECT_FALSE(gMDeep);
    EXPECT_EQ(Mgraph.Xmin, -2.0);
    EXPECT_EQ(Mgraph.Ymax, 2.0);
    handleMenu(kCopyRight);
    line = clipboardText();
    EXPECT_TRUE(line.contains(QStringLiteral("--view -2,2,-2,2 "))) << line.toStdString();

    // A function change from a deep frame: both frames at the start view.
    zoomToward(shell, kMandelbrot, "0", "1", -14, dir);
    ASSERT_TRUE(gMDeep);
    QTest::mouseClick(shell.area, Qt::LeftButton, {}, QPoint(gMRect.left + 90, gMRect.top + 90));
    shell.waitForRenders();
    ASSERT_FALSE(gJrealText.empty());
    handleMenu(kFuncCube);
    shell.waitForRenders();

    EXPECT_FALSE(gMDeep);
    EXPECT_TRUE(gJrealText.empty());
    EXPECT_EQ(Jcomplex, 0.63);
    handleMenu(kCopyWindow);
    const QStringList lines = clipboardText().split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("--power 3 --c 0,0.63 --view -2,2,-2,2 "))) << lines[0].toStdString();
    expectSamePicture(run(lines[1], dir), shell.frame(gMRect), lines[1]);
}

TEST(DeepWindowTest, TheComplexPowerStopsWhereDoublesEndAndSaysWhyOnce)
{
    Shell shell{400, 300, handleMenu};
    BoxAnswerer answerer;
    whichFunc = 5;
    gRealExpon = 2.0;
    gCplxExpon = 0.0;
    gIterFlag = 2;
    Mgraph.iters = Jgraph.iters = 200;
    shell.area->setupWindow();
    shell.waitForRenders();
    QTemporaryDir dir;
    int refused = 0;
    for (int zoom = 0; zoom < 12 && refused < 2; ++zoom) {
        const PlaneView before{Mgraph.Xmin, Mgraph.Xmax, Mgraph.Ymin, Mgraph.Ymax};
        const QImage shown = shell.frame(gMRect);
        zoomAt(shell, kMandelbrot, pixelNearest(kMandelbrot, "0", "1"));
        const PlaneView after{Mgraph.Xmin, Mgraph.Xmax, Mgraph.Ymin, Mgraph.Ymax};
        if (after == before) {
            ++refused;
            EXPECT_EQ(shell.frame(gMRect), shown) << "the frame changed where it could not zoom";
        }
        ASSERT_FALSE(gMDeep);
        EXPECT_TRUE(doublesSuffice(after, Mgraph.horizpxls, Mgraph.vertpxls));
    }
    EXPECT_EQ(refused, 2);
    ASSERT_EQ(answerer.boxes.size(), 1u) << "said more than once";
    EXPECT_TRUE(answerer.boxes[0].find("complex power") != std::string::npos) << answerer.boxes[0];
    // What the frame shows is still drawn by its line.
    handleMenu(kCopyRight);
    const QString line = clipboardText();
    expectSamePicture(run(line, dir), clipboardImage(), line);
    EXPECT_GT(colours(clipboardImage()), 8);
}

} // namespace
