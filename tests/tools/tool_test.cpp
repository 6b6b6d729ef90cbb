#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>
#include <vector>

#include "engine/palette.h"
#include "tests/support/reference_render.h"
#include "tests/support/tool_support.h"
#include "tools/render_options.h"

namespace {

ParseResult parse(QStringList args, RenderOptions* o, QString* message)
{
    args.prepend(QStringLiteral("kavrel-render"));
    return parseRenderOptions(args, o, message);
}

TEST(RenderOptionsTest, DefaultsAndBothValueForms)
{
    RenderOptions o;
    QString message;
    ASSERT_EQ(parse({}, &o, &message), ParseResult::Ok) << message.toStdString();
    EXPECT_EQ(o.frame.FuncSwitch, 11);
    EXPECT_EQ(o.frame.func.which, 1);
    EXPECT_EQ(o.frame.c.im, 0.63);
    EXPECT_EQ(o.frame.width, 600);
    EXPECT_TRUE(o.autoIters);
    EXPECT_EQ(o.frame.maxIters, 214) << "the automatic limit of the view at 600 pixels";
    EXPECT_GE(o.threads, 1);
    EXPECT_EQ(o.output, QStringLiteral("kavrel.png"));

    ASSERT_EQ(parse({"--view", "-1,0.5,-0.25,1", "--set=julia", "--exponent=2.5,-1", "--c", "-0.8,0.156",
                     "--size=77", "--iters", "auto", "--threads", "3", "--indices", "x.pgm", "--stats"},
                    &o, &message),
              ParseResult::Ok)
        << message.toStdString();
    EXPECT_EQ(o.frame.plane().Xmin, -1.0);
    EXPECT_EQ(o.frame.plane().Ymax, 1.0);
    EXPECT_EQ(o.frame.FuncSwitch, 22);
    EXPECT_EQ(o.frame.func.which, 5);
    EXPECT_EQ(o.frame.func.cplxExpon, -1.0);
    EXPECT_EQ(o.frame.c.re, -0.8);
    EXPECT_EQ(o.frame.width, 77);
    EXPECT_EQ(o.threads, 3);
    EXPECT_TRUE(o.output.isEmpty());  // only the indices were asked for
    EXPECT_TRUE(o.stats);
    ASSERT_EQ(parse({"--power", "10", "--iters", "99000"}, &o, &message), ParseResult::Ok);
    EXPECT_EQ(o.frame.func.which, 4);
    EXPECT_EQ(o.frame.maxIters, 99000);
}

TEST(RenderOptionsTest, TheAutomaticLimitOfAVeryWideViewIsOneAndItsPicturesCommandRuns)
{
    // The explorer's rule gives 0 below 1 / 0.7 pixels a unit; no --iters
    // takes 0.
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("wide.png"));
    const Outcome r = render({"--view", "0,1e308,0,1e308", "--size", "4", "--output", png});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString command = QImage(png).text(QStringLiteral("Command"));
    EXPECT_TRUE(command.contains(QStringLiteral(" --iters 1"))) << command.toStdString();
    QStringList again = command.split(u' ').mid(1);
    again << "--output" << dir.filePath(QStringLiteral("again.png"));
    const Outcome a = render(again);
    EXPECT_EQ(a.status, 0) << command.toStdString() << ": " << a.err.toStdString();
}

TEST(RenderOptionsTest, BadInputNamesTheOption)
{
    const struct { QStringList args; const char* option; } cases[] = {
        {{"--size", "0"}, "--size"}, {{"--size", "32768"}, "--size"}, {{"--size", "12x"}, "--size"},
        {{"--iters", "0"}, "--iters"}, {{"--iters", "99001"}, "--iters"},
        {{"--threads", "0"}, "--threads"}, {{"--view", "1,1,0,1"}, "--view"},
        {{"--view", "0,1,2,1"}, "--view"}, {{"--view", "0,1,0"}, "--view"},
        {{"--view", "0,inf,0,1"}, "--view"}, {{"--c", "nan,0"}, "--c"}, {{"--c", "1e999,0"}, "--c"},
        {{"--set", "newton"}, "--set"}, {{"--power", "4"}, "--power"},
        {{"--exponent", "99.991,0"}, "--exponent"}, {{"--exponent", "0,-100"}, "--exponent"},
        {{"--power", "2", "--exponent", "2,0"}, "--power"}, {{"--colour"}, "colour"},
        {{"--size"}, "size"}, {{"stray"}, "stray"},
        {{"--view", "0,1,1,1"}, "YMIN < YMAX"}, {{"--view", "-1e308,1e308,0,1"}, "--view"},
        {{"--view", "0,1,-1e308,1e308"}, "--view"}, {{"--size", "2", "--view", "0,1,0,5e-324"}, "--view"},
        {{"--output", ""}, "--output"}, {{"--indices", ""}, "--indices"},
        {{"--output", "f", "--indices", "./f"}, "same file"}};
    for (const auto& c : cases) {
        RenderOptions o;
        QString message;
        EXPECT_EQ(parse(c.args, &o, &message), ParseResult::Error) << c.args.join(' ').toStdString();
        EXPECT_TRUE(message.contains(QLatin1String(c.option)))
            << c.args.join(' ').toStdString() << " gave: " << message.toStdString();
        EXPECT_FALSE(message.contains('\n')) << message.toStdString();
    }
    RenderOptions o;
    QString message;
    EXPECT_EQ(parse({"--exponent", "-99.99,99.99"}, &o, &message), ParseResult::Ok);
}

TEST(RenderOptionsTest, ErrorsAreOneLineAndQuoteTheArgumentAtFaultAsTyped)
{
    const struct { QStringList args; const char* named; } cases[] = {
        {{"--set", "new\nton"}, "--set: 'new\\nton'"},
        {{"--colo\r\nur"}, "unknown option '--colo\\r\\nur'"},
        {{QStringLiteral("stray\u2028line")}, "'stray\\u2028line'"},
        {{"--=julia"}, "unknown option '--=julia'"},  // the parser's own text named nothing here
        {{"--size", "5", "-si1ze"}, "unknown option '-si1ze'"},
        {{"--view", "--", "--=x"}, "unknown option '--=x'"}};
    for (const auto& c : cases) {
        RenderOptions o;
        QString message;
        EXPECT_EQ(parse(c.args, &o, &message), ParseResult::Error) << c.args.join(' ').toStdString();
        EXPECT_TRUE(message.contains(QLatin1String(c.named))) << "gave: " << message.toStdString();
        for (const QChar ch : {QChar(u'\n'), QChar(u'\r'), QChar(0x2028)})
            EXPECT_FALSE(message.contains(ch)) << message.toStdString();
    }
}

TEST(KavrelRenderTest, RejectedArgumentsWriteNothing)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("x.png"));
    const Outcome r = render({"--size", "-3", "--output", out});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("--size")) << r.err.toStdString();
    EXPECT_EQ(r.err.count('\n'), 1);
    EXPECT_FALSE(QFile::exists(out));

    const QString missing = dir.filePath(QStringLiteral("no/such/dir/x.png"));
    const Outcome w = render({"--size", "8", "--output", missing});
    EXPECT_EQ(w.status, 1);
    EXPECT_TRUE(w.err.contains("cannot write")) << w.err.toStdString();
    EXPECT_TRUE(dir.isValid() && QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST(KavrelRenderTest, ThreadCountChangesNeitherPictureNorCounts)
{
    QTemporaryDir dir;
    const QStringList common{"--view", "-0.75,-0.74,0.1,0.11", "--size", "300", "--iters", "2000", "--stats"};
    const QString one = dir.filePath(QStringLiteral("1.pgm")), two = dir.filePath(QStringLiteral("2.pgm"));
    const Outcome a = render(common + QStringList{"--threads", "1", "--indices", one});
    const Outcome b = render(common + QStringList{"--threads", "2", "--indices", two, "--output", dir.filePath("2.png")});
    ASSERT_EQ(a.status, 0) << a.err.toStdString();
    ASSERT_EQ(b.status, 0) << b.err.toStdString();
    const std::vector<int> pa = readIndices(one, 300), pb = readIndices(two, 300);
    ASSERT_FALSE(pa.empty());
    for (std::size_t i = 0; i < pa.size(); ++i)
        ASSERT_EQ(pa[i], pb[i]) << "pixel " << i % 300 << "," << i / 300;
    // pixels, evaluations, iterations and speculative evaluations agree;
    // only the seconds differ.
    EXPECT_EQ(a.out.split('\n').mid(0, 4), b.out.split('\n').mid(0, 4));
    const QList<QByteArray> lines = a.out.split('\n');
    ASSERT_GE(lines.size(), 5) << a.out.toStdString();
    EXPECT_EQ(lines[0], "pixels 90000");
    EXPECT_TRUE(lines[1].startsWith("evaluations ") && lines[2].startsWith("iterations ")
                && lines[3].startsWith("speculative ") && lines[4].startsWith("seconds "))
        << a.out.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("2.png")));
}

TEST(KavrelRenderTest, AgreesWithAnIndependentReadingOfTheRules)
{
    QTemporaryDir dir;
    const struct { int power; bool julia; double x0, x1, y0, y1; int side, iters; double er = 0, ei = 0; } views[] = {
        {2, false, -0.7454, -0.7446, 0.1123, 0.1131, 97, 700},
        {2, true, -1.3, 1.1, -0.9, 1.2, 64, 150},
        {3, false, -0.2, 0.6, 0.3, 1.1, 83, 300},
        {3, true, -1.5, 1.5, -1.5, 1.5, 45, 12000},
        {2, false, 0.2499, 0.2503, -0.0002, 0.0002, 50, 20000},
        // On the boundary at high limits the counts follow the last bit of
        // every product: a regrouped formula shows there.
        {5, false, 0.164045, 0.170137, -0.68472, -0.678628, 48, 5000},
        {5, true, -0.5, 0.1, 0.3, 0.9, 66, 2500},
        {10, false, -0.289924, -0.258584, -0.81447, -0.78313, 48, 5000},
        {10, true, -1.2, 1.2, -1.2, 1.2, 58, 11000},
        // The complex power, whose count is tested before each pass.
        {0, true, -1.1, 0.9, -1.2, 0.8, 41, 300, 2.5, -0.25},
        {0, false, -2.2, 1.8, -2, 2, 37, 150, 3.25, 0.5},
        {0, false, -0.8, 0.2, 0.3, 1.3, 33, 400, 2, 0},
        // A negative exponent: zero must be left alone, not raised to it.
        {0, false, -2, 2, -2, 2, 35, 100, -2, 0.5},
    };
    for (const auto& v : views) {
        const QString path = dir.filePath(QStringLiteral("ref.pgm")), countsPath = dir.filePath(QStringLiteral("ref.npy"));
        const QString view = QStringLiteral("%1,%2,%3,%4").arg(v.x0, 0, 'g', 17).arg(v.x1, 0, 'g', 17).arg(v.y0, 0, 'g', 17).arg(v.y1, 0, 'g', 17);
        const QStringList function = v.power == 0 ? QStringList{"--exponent", QStringLiteral("%1,%2").arg(v.er).arg(v.ei)}
                                                  : QStringList{"--power", QString::number(v.power)};
        const Outcome r = render(QStringList{"--set", v.julia ? "julia" : "mandelbrot"} + function + QStringList{
                              "--c", "-0.75,0.11", "--view", view, "--size", QString::number(v.side),
                              "--iters", QString::number(v.iters), "--threads", "2", "--indices", path,
                              "--counts", countsPath});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        ReferenceRender ref{v.power, v.julia, -0.75, 0.11, v.x0, v.y1, (v.x1 - v.x0) / v.side,
                            (v.y1 - v.y0) / v.side, v.iters, v.side};
        ref.er = v.er;
        ref.ei = v.ei;
        ref.grid(0, 0, v.side, v.side);
        const std::vector<int> got = readIndices(path, v.side);
        ASSERT_EQ(got.size(), ref.out.size());
        const std::vector<std::int64_t> counts = readCounts(countsPath, v.side);
        ASSERT_EQ(counts.size(), ref.counts.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i], ref.out[i]) << "view " << view.toStdString() << " pixel " << i % v.side << "," << i / v.side;
            ASSERT_EQ(counts[i], ref.counts[i]) << "view " << view.toStdString() << " pixel " << i % v.side << "," << i / v.side;
        }
    }
}

TEST(KavrelRenderTest, EveryPictureCarriesTheCommandThatMakesItAgain)
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.png"));
    const Outcome a = render({"--set", "julia", "--exponent", "2.5,-0.25", "--c", "-0.1,0.7", "--view",
                              "-1.1,0.9,-1.2,0.8", "--size", "61", "--output", first});
    ASSERT_EQ(a.status, 0) << a.err.toStdString();
    const QImage made(first);
    ASSERT_FALSE(made.isNull());
    EXPECT_EQ(made.text(QStringLiteral("Software")), QStringLiteral("Kavrel " KAVREL_VERSION));
    const QString command = made.text(QStringLiteral("Command"));
    // The automatic limit is written as the number it came to: 1 / (0.7 * 2/61).
    EXPECT_TRUE(command.startsWith(QStringLiteral("kavrel-render --set julia --exponent 2.5,-0.25 --c -0.1,0.7 "
                                                  "--view -1.1,0.9,-1.2,0.8 --size 61 --iters 43")))
        << command.toStdString();

    const QString second = dir.filePath(QStringLiteral("second.png"));
    const Outcome b = render(command.split(u' ').mid(1) + QStringList{"--output", second});
    ASSERT_EQ(b.status, 0) << b.err.toStdString();
    const QImage again(second);
    EXPECT_EQ(again.convertToFormat(QImage::Format_RGB32), made.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(again.text(QStringLiteral("Command")), command);
}

TEST(KavrelRenderTest, ThePictureShowsThePaletteColourOfEveryPixelsIndexWhetherStoredByPaletteOrRgb)
{
    QTemporaryDir dir;
    loadColors();
    // 229 colours (from 371 palette entries), then 262.
    const struct { int side; bool palette; } frames[] = {{100, true}, {200, false}};
    for (const auto& f : frames) {
        const QString png = dir.filePath(QStringLiteral("p.png")), pgm = dir.filePath(QStringLiteral("p.pgm"));
        const Outcome r = render({"--view", "-0.75,-0.74,0.1,0.11", "--iters", "20000", "--size",
                                  QString::number(f.side), "--output", png, "--indices", pgm});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const std::vector<int> indices = readIndices(pgm, f.side);
        const QImage image(png);
        ASSERT_EQ(indices.size(), static_cast<std::size_t>(f.side) * f.side);
        ASSERT_EQ(image.size(), QSize(f.side, f.side));
        EXPECT_EQ(image.format() == QImage::Format_Indexed8, f.palette) << "side " << f.side;
        for (int y = 0; y < f.side; ++y)
            for (int x = 0; x < f.side; ++x) {
                const std::uint32_t c = gColorList[indices[static_cast<std::size_t>(y) * f.side + x]];
                ASSERT_EQ(image.pixel(x, y), qRgb(c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF))
                    << "side " << f.side << " pixel " << x << "," << y;
            }
        EXPECT_TRUE(image.text(QStringLiteral("Command")).contains("--iters 20000")) << f.side;
    }
}

TEST(KavrelRenderTest, VersionIsTheProjects)
{
    const Outcome r = render({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QByteArray("kavrel-render " KAVREL_VERSION "\n"));
}

} // namespace
