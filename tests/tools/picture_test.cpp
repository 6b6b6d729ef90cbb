#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>

#include "engine/colouring.h"
#include "engine/palette.h"
#include "tests/support/deep_reference.h"
#include "tests/support/tool_support.h"
#include "tools/render_command.h"
#include "tools/render_options.h"

namespace {

QStringList filesIn(const QTemporaryDir& dir) { return QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::Files); }

// The sRGB transfer, written apart from the program's.
double toLinear(int v)
{
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}
int toSrgb(double l)
{
    const double s = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
    return static_cast<int>(std::lround(std::clamp(s, 0.0, 1.0) * 255.0));
}

// The picture at K times the size, each K x K group averaged in linear light.
QImage averaged(const QImage& large, int k)
{
    QImage out(large.width() / k, large.height() / k, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            double sum[3] = {};
            for (int dy = 0; dy < k; ++dy)
                for (int dx = 0; dx < k; ++dx) {
                    const QRgb p = large.pixel(k * x + dx, k * y + dy);
                    sum[0] += toLinear(qRed(p));
                    sum[1] += toLinear(qGreen(p));
                    sum[2] += toLinear(qBlue(p));
                }
            out.setPixel(x, y, qRgb(toSrgb(sum[0] / (k * k)), toSrgb(sum[1] / (k * k)), toSrgb(sum[2] / (k * k))));
        }
    return out;
}

// Lines of a palette file: entry i is (i % 256, 255 - i % 256, i / 2 % 256).
QByteArray paletteText(int lines, const char* end = "\n")
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += QByteArray::number(i % 256) + ' ' + QByteArray::number(255 - i % 256) + ' ' +
                QByteArray::number(i / 2 % 256) + end;
    return text;
}

QString written(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return {};
    return path;
}

} // namespace

// A supersampled picture is the picture K times the size averaged in
// linear light, pixel for pixel, for the count colourings and the smooth
// one, wide and tall, on any number of threads.
TEST(PictureTest, SupersamplingIsTheLargerPictureAveragedInLinearLight)
{
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small.png")), large = dir.filePath(QStringLiteral("large.png"));
    FrameSpec boundary = deepFrame();
    boundary.maxIters = 2000;
    const auto [re, im] = levelCurvePoint(boundary, 2.0, 24);
    const struct { QStringList frame; int k, width, height; } cases[] = {
        {{"--view", "-0.7454,-0.7438,0.1123,0.1131", "--iters", "700"}, 3, 30, 15},
        {{"--view", "-2,1,-1.2,1.2", "--iters", "60", "--colouring", "cycle", "--set", "julia", "--c", "-0.8,0.156"},
         2, 17, 31},
        {{"--center", QString::fromStdString(re + ',' + im), "--radius", "1e-18", "--iters", "2000"}, 2, 24, 16},
    };
    for (const auto& c : cases) {
        const Outcome s = render(c.frame + QStringList{"--size", QStringLiteral("%1x%2").arg(c.width).arg(c.height),
                                                        "--supersample", QString::number(c.k), "--output", small});
        const Outcome l = render(c.frame + QStringList{"--size", QStringLiteral("%1x%2").arg(c.k * c.width).arg(c.k * c.height),
                                                        "--threads", "1", "--output", large});
        ASSERT_EQ(s.status, 0) << s.err.toStdString();
        ASSERT_EQ(l.status, 0) << l.err.toStdString();
        const QImage got = QImage(small).convertToFormat(QImage::Format_RGB32);
        const QImage want = averaged(QImage(large).convertToFormat(QImage::Format_RGB32), c.k);
        ASSERT_EQ(got.size(), want.size()) << c.frame.join(u' ').toStdString();
        int differing = 0;
        for (int y = 0; y < got.height(); ++y)
            for (int x = 0; x < got.width(); ++x)
                differing += got.pixel(x, y) != want.pixel(x, y) ? 1 : 0;
        EXPECT_EQ(differing, 0) << c.frame.join(u' ').toStdString();
        EXPECT_TRUE(QImage(small).text(QStringLiteral("Command")).contains(QStringLiteral("--supersample %1").arg(c.k)));
    }
}

// A picture wider than its bands are tall is drawn a band of rows at a
// time (some 2 million pixels each: 131 rows of 16,000), and comes out as
// the larger picture averaged, across the bands' edges too.
TEST(PictureTest, ASupersampledPictureDrawnInBandsIsTheLargerPictureAveraged)
{
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small.png")), large = dir.filePath(QStringLiteral("large.png"));
    const QStringList frame{"--view", "-2.2,1,-0.75,0.75", "--iters", "60"};
    ASSERT_EQ(render(frame + QStringList{"--size", "16000x280", "--supersample", "2", "--output", small}).status, 0);
    ASSERT_EQ(render(frame + QStringList{"--size", "32000x560", "--output", large}).status, 0);
    const QImage got = QImage(small).convertToFormat(QImage::Format_RGB32);
    const QImage want = averaged(QImage(large).convertToFormat(QImage::Format_RGB32), 2);
    ASSERT_EQ(got.size(), want.size());
    int differing = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            differing += got.pixel(x, y) != want.pixel(x, y) ? 1 : 0;
    EXPECT_EQ(differing, 0);
}

// --indices and --counts keep one value a pixel: those of the frame drawn
// without supersampling.
TEST(PictureTest, SupersamplingLeavesTheIndicesAndCountsAsTheyWere)
{
    QTemporaryDir dir;
    const QStringList frame{"--view", "-1.5,0.5,-1,1", "--size", "41", "--iters", "300"};
    const auto files = [&](const QString& tag) {
        return QStringList{"--indices", dir.filePath(tag + ".pgm"), "--counts", dir.filePath(tag + ".npy"), "--output",
                           dir.filePath(tag + ".png")};
    };
    ASSERT_EQ(render(frame + files(QStringLiteral("one"))).status, 0);
    ASSERT_EQ(render(frame + files(QStringLiteral("four")) + QStringList{"--supersample", "4"}).status, 0);
    EXPECT_EQ(readIndices(dir.filePath("one.pgm"), 41), readIndices(dir.filePath("four.pgm"), 41));
    EXPECT_EQ(readCounts(dir.filePath("one.npy"), 41), readCounts(dir.filePath("four.npy"), 41));
    EXPECT_NE(QImage(dir.filePath("one.png")).convertToFormat(QImage::Format_RGB32),
              QImage(dir.filePath("four.png")).convertToFormat(QImage::Format_RGB32));
}

// Deep frames default to the smooth colouring: a picture of blended
// entries, whose indices are its positions rounded, and whose density
// narrows its bands.
TEST(PictureTest, SmoothColouringIsTheDefaultOfDeepFramesAndFollowsTheDensity)
{
    QTemporaryDir dir;
    const Nucleus copy = nucleusNearI(-2);
    const QStringList frame{"--center", QString::fromStdString(copy.re + ',' + copy.im), "--radius", "1e-20", "--size",
                            "40", "--iters", "4000"};
    const QString png = dir.filePath("s.png"), pgm = dir.filePath("s.pgm"), npy = dir.filePath("s.npy");
    ASSERT_EQ(render(frame + QStringList{"--output", png, "--indices", pgm, "--counts", npy}).status, 0);
    const QString command = QImage(png).text(QStringLiteral("Command"));
    EXPECT_FALSE(command.contains(QStringLiteral("--colouring"))) << command.toStdString();
    const std::vector<std::int64_t> counts = readCounts(npy, 40);
    const std::vector<int> indices = readIndices(pgm, 40);
    ASSERT_EQ(counts.size(), 1600u);
    ASSERT_EQ(indices.size(), 1600u);
    int near = 0, escaped = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] >= 4000) {
            EXPECT_EQ(indices[i], 499);
            continue;
        }
        ++escaped;
        // The position of count + fraction, the fraction within a count or so.
        bool found = false;
        for (double f = -1.0; f <= 2.5 && !found; f += 0.01)
            found = indices[i] == std::lround(smoothPosition(static_cast<double>(counts[i]) + f, 1.0));
        near += found ? 1 : 0;
    }
    EXPECT_EQ(near, escaped) << "indices follow count + fraction";
    EXPECT_GT(escaped, 1000);
    // A density of 3 moves three times as far along the palette.
    const QString dense = dir.filePath("d.pgm");
    ASSERT_EQ(render(frame + QStringList{"--density", "3", "--indices", dense}).status, 0);
    EXPECT_NE(readIndices(dense, 40), indices);
}

// A palette file colours the picture in its entries, by index; the
// command keeps it.
TEST(PictureTest, APaletteFileColoursThePictureByIndex)
{
    QTemporaryDir dir;
    const QString palette = written(dir, QStringLiteral("p.txt"), paletteText(500, "\r\n"));
    ASSERT_FALSE(palette.isEmpty());
    const QString png = dir.filePath("p.png"), pgm = dir.filePath("p.pgm");
    const Outcome r = render({"--view", "-2,1,-1.5,1.5", "--size", "50", "--iters", "200", "--palette", palette,
                              "--output", png, "--indices", pgm});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QImage image = QImage(png).convertToFormat(QImage::Format_RGB32);
    const std::vector<int> indices = readIndices(pgm, 50);
    ASSERT_EQ(indices.size(), 2500u);
    for (int i = 0; i < 2500; ++i) {
        const int n = indices[i];
        ASSERT_EQ(image.pixel(i % 50, i / 50), qRgb(n % 256, 255 - n % 256, n / 2 % 256)) << "pixel " << i << " index " << n;
    }
    EXPECT_TRUE(QImage(png).text(QStringLiteral("Command")).contains(QStringLiteral("--palette ") + palette));
}

TEST(PictureTest, BadPaletteFilesAndLookOptionsExitTwoWithOneLineAndNoFile)
{
    QTemporaryDir dir;
    QByteArray wide = paletteText(500);
    wide.replace(0, 3, "256");  // "0 255 0" becomes "256 255 0"
    QByteArray four = paletteText(500);
    four.insert(four.indexOf('\n'), " 7");
    QByteArray letter = paletteText(500);
    letter[letter.indexOf('\n', 40) - 1] = 'x';
    const struct { QByteArray text; const char* says; } files[] = {
        {paletteText(499), "499 lines"}, {paletteText(501), "more than 500"}, {wide, "line 1:"},
        {four, "line 1:"}, {letter, "line "}, {paletteText(500).replace("\n3 ", "\n3\n"), "line 4:"},
        {QByteArray(), "line 1:"},
    };
    const QString out = dir.filePath("x.png");
    for (const auto& f : files) {
        const QString path = written(dir, QStringLiteral("bad.txt"), f.text);
        const Outcome r = render({"--palette", path, "--size", "8", "--output", out});
        EXPECT_EQ(r.status, 2) << f.says;
        EXPECT_TRUE(r.err.startsWith("kavrel-render: --palette: ")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(f.says)) << r.err.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    const struct { QStringList args; const char* option; } calls[] = {
        {{"--palette", dir.filePath("none.txt")}, "--palette"},
        {{"--palette", dir.path()}, "--palette"},
        {{"--supersample", "0"}, "--supersample"},
        {{"--supersample", "17"}, "--supersample"},
        {{"--supersample", "2.5"}, "--supersample"},
        {{"--colouring", "smooth", "--density", "0"}, "--density"},
        {{"--colouring", "smooth", "--density", "101"}, "--density"},
        {{"--colouring", "smooth", "--density", "nan"}, "--density"},
        {{"--density", "2"}, "--density"},  // the explorer's curve has none
    };
    for (const auto& c : calls) {
        const Outcome r = render(c.args + QStringList{"--size", "8", "--output", out});
        EXPECT_EQ(r.status, 2) << c.args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.startsWith(QByteArray("kavrel-render: ") + c.option)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    EXPECT_EQ(filesIn(dir), QStringList{"bad.txt"});
}

// The picture's command names every option of its look that is not the
// default, and reads back as it.
TEST(PictureTest, TheLookReadsBackFromItsCommand)
{
    FrameSpec f = deepFrame();
    f.view = DeepView{"-1.25", "0.0125", "1e-9"};
    const PictureLook look{Colouring::Smooth, 2.5, "my palette.txt", 3};
    std::vector<std::string> args = renderArguments(f, look, "");
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    QTemporaryDir dir;
    const QString palette = written(dir, QStringLiteral("my palette.txt"), paletteText(500));
    list[list.indexOf(QStringLiteral("my palette.txt"))] = palette;
    RenderOptions o;
    QString message;
    ASSERT_EQ(parseRenderOptions(list, &o, &message), ParseResult::Ok) << message.toStdString();
    EXPECT_EQ(o.colouring, Colouring::Smooth);
    EXPECT_EQ(o.density, 2.5);
    EXPECT_EQ(o.supersample, 3);
    EXPECT_EQ(o.palette, palette);
    ASSERT_EQ(o.paletteEntries.size(), 500u);
    EXPECT_EQ(o.paletteEntries[3], 3u | 252u << 8 | 1u << 16);
    const std::string plain = renderCommandLine(f, PictureLook{Colouring::Smooth, 1.0, {}, 1}, "");
    for (const char* option : {"--density", "--palette", "--supersample", "--colouring"})
        EXPECT_EQ(plain.find(option), std::string::npos) << option << " in " << plain;
}
