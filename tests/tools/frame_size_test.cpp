#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "tests/support/deep_reference.h"
#include "tests/support/reference_render.h"
#include "tests/support/tool_support.h"
#include "tools/render_command.h"
#include "tools/render_options.h"

namespace {

ParseResult parse(QStringList args, RenderOptions* o, QString* message)
{
    args.prepend(QStringLiteral("kavrel-render"));
    return parseRenderOptions(args, o, message);
}

QString decimal(double v) { return QString::number(v, 'g', 17); }

} // namespace

TEST(FrameSizeTest, SizeIsASquareOrWidthByHeightAndEachSideIsChecked)
{
    RenderOptions o;
    QString message;
    ASSERT_EQ(parse({"--size", "1920x1080"}, &o, &message), ParseResult::Ok) << message.toStdString();
    EXPECT_EQ(o.frame.width, 1920);
    EXPECT_EQ(o.frame.height, 1080);
    ASSERT_EQ(parse({"--size", "33"}, &o, &message), ParseResult::Ok);
    EXPECT_EQ(o.frame.width, 33);
    EXPECT_EQ(o.frame.height, 33);
    ASSERT_EQ(parse({"--size", "1x32767"}, &o, &message), ParseResult::Ok);
    EXPECT_EQ(o.frame.height, 32767);
    for (const char* bad : {"12x", "x12", "0x5", "5x0", "5x32768", "32768x5", "3x4x5", "4X3", "-4x3"}) {
        EXPECT_EQ(parse({"--size", bad}, &o, &message), ParseResult::Error) << bad;
        EXPECT_TRUE(message.startsWith(QStringLiteral("--size:"))) << message.toStdString();
    }
    // The automatic limit of a plane view follows the pixel's width.
    ASSERT_EQ(parse({"--view", "-2,2,-1,1", "--size", "600x300"}, &o, &message), ParseResult::Ok);
    RenderOptions square;
    ASSERT_EQ(parse({"--view", "-2,2,-2,2", "--size", "600"}, &square, &message), ParseResult::Ok);
    EXPECT_EQ(o.frame.maxIters, square.frame.maxIters);
}

TEST(FrameSizeTest, ACopiedCommandKeepsTheRectangle)
{
    FrameSpec f;
    f.view = PlaneView{-1.5, 0.5, -0.5, 0.25};
    f.width = 40;
    f.height = 15;
    const std::vector<std::string> args = renderArguments(f, Colouring::Curve, "");
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    RenderOptions o;
    QString message;
    ASSERT_EQ(parseRenderOptions(list, &o, &message), ParseResult::Ok) << message.toStdString();
    EXPECT_EQ(o.frame.view, f.view);
    EXPECT_EQ(o.frame.width, 40);
    EXPECT_EQ(o.frame.height, 15);
}

// Wide and tall frames against the independent reading of the rules: the
// pixel rule of each axis, and outlines that reach across the longer sides
// (a block painted from a partial outline would show here, in the filaments).
TEST(FrameSizeTest, RectangularFramesFollowThePixelRuleAndTestTheirWholeOutline)
{
    QTemporaryDir dir;
    const struct { double x0, x1, y0, y1; int width, height, iters; } views[] = {
        {-0.7454, -0.7438, 0.1123, 0.1131, 151, 67, 700},
        {-0.7454, -0.7446, 0.1115, 0.1139, 59, 160, 700},
        {-2.0, 1.0, -0.5, 0.5, 200, 31, 250},
    };
    for (const auto& v : views) {
        const QString counts = dir.filePath(QStringLiteral("r.npy")), indices = dir.filePath(QStringLiteral("r.pgm"));
        const QString view = QStringList{decimal(v.x0), decimal(v.x1), decimal(v.y0), decimal(v.y1)}.join(u',');
        const Outcome r = render({"--view", view, "--size", QStringLiteral("%1x%2").arg(v.width).arg(v.height), "--iters",
                                  QString::number(v.iters), "--threads", "2", "--counts", counts, "--indices", indices});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        ReferenceRender ref{2, false, 0, 0, v.x0, v.y1, (v.x1 - v.x0) / v.width, (v.y1 - v.y0) / v.height,
                            v.iters, v.width, v.height};
        ref.grid(0, 0, v.width, v.height);
        const std::vector<std::int64_t> got = readCounts(counts, v.width, v.height);
        const std::vector<int> idx = readIndices(indices, v.width, v.height);
        ASSERT_EQ(got.size(), ref.counts.size()) << view.toStdString();
        ASSERT_EQ(idx.size(), ref.out.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i], ref.counts[i]) << view.toStdString() << " pixel " << i % v.width << "," << i / v.width;
            ASSERT_EQ(idx[i], ref.out[i]) << view.toStdString() << " pixel " << i % v.width << "," << i / v.width;
        }
    }
}

// The radius is half the height and pixels are square: the deep frame and
// the view of the same rectangle count alike at 1e-6.
TEST(FrameSizeTest, DeepRectanglesAgreeWithTheirViewAtRadius1e6)
{
    QTemporaryDir dir;
    FrameSpec boundary = deepFrame();
    boundary.maxIters = 600;
    const auto [re, im] = levelCurvePoint(boundary, 2.3, 9);
    const auto at = [](const std::string& c, double k) { return QString::fromStdString(offsetDecimal(c, k, -6, 17)); };
    for (const auto& [width, height] : {std::pair{120, 48}, {40, 90}}) {
        const double across = static_cast<double>(width) / height;
        const QString plane = QStringList{at(re, -across), at(re, across), at(im, -1), at(im, 1)}.join(u',');
        const QString deep = dir.filePath(QStringLiteral("deep.npy")), view = dir.filePath(QStringLiteral("view.npy"));
        const QStringList common{"--size", QStringLiteral("%1x%2").arg(width).arg(height), "--iters", "600"};
        const Outcome d = render(QStringList{"--center", QString::fromStdString(re + ',' + im), "--radius", "1e-6",
                                             "--counts", deep} + common);
        const Outcome v = render(QStringList{"--view", plane, "--counts", view} + common);
        ASSERT_EQ(d.status, 0) << d.err.toStdString();
        ASSERT_EQ(v.status, 0) << v.err.toStdString();
        const std::vector<std::int64_t> a = readCounts(deep, width, height), b = readCounts(view, width, height);
        ASSERT_EQ(a.size(), static_cast<std::size_t>(width * height));
        ASSERT_EQ(b.size(), a.size());
        int same = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            same += a[i] == b[i] ? 1 : 0;
        EXPECT_GE(same, static_cast<int>(a.size() * 999 / 1000)) << width << "x" << height << " of " << a.size();
    }
}
