#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <set>

#include "engine/colouring.h"
#include "engine/escape_batch.h"
#include "tests/support/deep_reference.h"
#include "tests/support/tool_support.h"
#include "tools/deep_options.h"
#include "tools/render_command.h"
#include "tools/render_options.h"

namespace {

ParseResult parse(QStringList args, RenderOptions* o, QString* message)
{
    args.prepend(QStringLiteral("kavrel-render"));
    return parseRenderOptions(args, o, message);
}

// Every file of a directory, to see that a rejected call wrote nothing.
QStringList filesIn(const QTemporaryDir& dir) { return QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }

} // namespace

TEST(DeepOptionsTest, CentreAndRadiusStayAsTypedAndChangeTheDefaults)
{
    RenderOptions o;
    QString message;
    const QString longRe = QStringLiteral("-0.") + QString(600, u'7');
    ASSERT_EQ(parse({"--center", longRe + ",1e-3", "--radius", "2.5e-1000", "--counts", "c.npy"}, &o, &message),
              ParseResult::Ok)
        << message.toStdString();
    ASSERT_TRUE(o.frame.deep());
    EXPECT_EQ(o.frame.deepView(), (DeepView{longRe.toStdString(), "1e-3", "2.5e-1000"}));
    EXPECT_EQ(o.colouring, Colouring::Smooth);
    EXPECT_TRUE(o.output.isEmpty()) << "only the counts were asked for";
    EXPECT_EQ(o.frame.maxIters, 999000) << "auto: 1000 per decimal digit of depth";

    ASSERT_EQ(parse({"--center", "0,0", "--radius", "1e-5", "--iters", "10000000", "--set", "julia", "--c",
                     "-0.123456789012345678901234567890,0.7", "--colouring", "curve", "--power", "3"},
                    &o, &message),
              ParseResult::Ok)
        << message.toStdString();
    EXPECT_EQ(o.colouring, Colouring::Curve);
    EXPECT_TRUE(o.frame.julia());
    EXPECT_EQ(integerPower(o.frame.func), 3);
    EXPECT_EQ(o.frame.c.reText, "-0.123456789012345678901234567890") << "the constant is read exactly too";
    EXPECT_EQ(o.frame.c.re, -0.12345678901234568) << "and its double is the nearest";
    EXPECT_EQ(o.frame.maxIters, 10000000);

    ASSERT_EQ(parse({"--view", "-1,1,-1,1", "--colouring", "cycle"}, &o, &message), ParseResult::Ok);
    EXPECT_FALSE(o.frame.deep());
    EXPECT_EQ(o.colouring, Colouring::Cycle);
    ASSERT_EQ(parse({"--center", "0,0", "--radius", "1", "--colouring", "extended"}, &o, &message), ParseResult::Ok);
    EXPECT_EQ(o.colouring, Colouring::Extended);
    ASSERT_EQ(parse({}, &o, &message), ParseResult::Ok);
    EXPECT_EQ(o.colouring, Colouring::Curve);
}

// A radius of 0 or below is not a frame: it says so, rather than that it is
// too deep.
TEST(DeepOptionsTest, ARadiusMustBePositive)
{
    for (const char* radius : {"0", "-0", "-1e-5", "0e-100"}) {
        RenderOptions o;
        QString message;
        ASSERT_EQ(parse({"--center", "0,0", "--radius", radius}, &o, &message), ParseResult::Error) << radius;
        EXPECT_EQ(message, QStringLiteral("--radius: '%1' is not a positive finite number").arg(radius));
    }
}

TEST(DeepOptionsTest, HelpDocumentsTheAutomaticLimit)
{
    RenderOptions o;
    QString help;
    ASSERT_EQ(parse({"--help"}, &o, &help), ParseResult::Help);
    EXPECT_TRUE(help.contains(QStringLiteral("1000 * floor(-log10 R)"))) << help.toStdString();
    for (const char* option : {"--center", "--radius", "--counts", "--colouring"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
}

// Each rejected call: status 2, one line on stderr that names the option,
// no file.
struct BadCall {
    const char* name;
    QStringList args;
    const char* named;
};

void PrintTo(const BadCall& c, std::ostream* os) { *os << c.args.join(' ').toStdString(); }

class DeepBadInputTest : public testing::TestWithParam<BadCall> {};

TEST_P(DeepBadInputTest, ExitsTwoWithOneLineAndNoFile)
{
    QTemporaryDir dir;
    QStringList args = GetParam().args;
    args << "--size" << "8" << "--output" << dir.filePath(QStringLiteral("x.png")) << "--counts"
         << dir.filePath(QStringLiteral("x.npy"));
    const Outcome r = render(args);
    EXPECT_EQ(r.status, 2) << r.err.toStdString();
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(GetParam().named)) << r.err.toStdString();
    EXPECT_TRUE(filesIn(dir).isEmpty()) << filesIn(dir).join(' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rejected, DeepBadInputTest,
    testing::Values(BadCall{"ViewWithCenter", {"--view", "-1,1,-1,1", "--center", "0,0", "--radius", "1"}, "--view"},
                    BadCall{"ViewWithRadiusAlone", {"--view", "-1,1,-1,1", "--radius", "1"}, "--view"},
                    BadCall{"CenterWithoutRadius", {"--center", "0,0"}, "--radius"},
                    BadCall{"RadiusWithoutCenter", {"--radius", "1e-5"}, "--center"},
                    BadCall{"CenterWithTwoPoints", {"--center", "1.2.3,0", "--radius", "1"}, "--center"},
                    BadCall{"CenterInHexadecimal", {"--center", "0x1p-3,0", "--radius", "1"}, "--center"},
                    BadCall{"CenterWithThreeParts", {"--center", "0,0,0", "--radius", "1"}, "--center"},
                    BadCall{"CenterWithSpace", {"--center", "0, 0", "--radius", "1"}, "--center"},
                    BadCall{"CenterNotANumber", {"--center", "nan,0", "--radius", "1"}, "--center"},
                    BadCall{"RadiusZero", {"--center", "0,0", "--radius", "0.000"}, "--radius"},
                    BadCall{"RadiusNegative", {"--center", "0,0", "--radius", "-1e-5"}, "--radius"},
                    BadCall{"RadiusInfinite", {"--center", "0,0", "--radius", "inf"}, "--radius"},
                    BadCall{"RadiusBeyondEveryExponent", {"--center", "0,0", "--radius", "1e99999999999999999999"},
                            "--radius"},
                    BadCall{"RadiusMalformed", {"--center", "0,0", "--radius", "1e"}, "--radius"},
                    BadCall{"ExponentWithCenter", {"--center", "0,0", "--radius", "1", "--exponent", "2.5,0"},
                            "--exponent"},
                    BadCall{"JuliaConstantMalformed", {"--center", "0,0", "--radius", "1", "--c", "0.1;0.2"}, "--c"},
                    BadCall{"ItersBeyondTheDeepLimit", {"--center", "0,0", "--radius", "1", "--iters", "10000001"},
                            "--iters"},
                    BadCall{"ItersBeyondTheViewLimit", {"--iters", "99001"}, "--iters"},
                    BadCall{"UnknownColouring", {"--colouring", "rainbow"}, "--colouring"},
                    // Beyond 1e-100000 the reference orbit would run for days.
                    BadCall{"RadiusTooDeep", {"--center", "0,0", "--radius", "1e-99999999"}, "--radius"},
                    BadCall{"RadiusJustTooDeep", {"--center", "0,0", "--radius", "0.99e-100000"}, "--radius"}),
    [](const testing::TestParamInfo<BadCall>& info) { return std::string(info.param.name); });

TEST(DeepRenderTest, AgreesWithTheViewAtRadius1e6)
{
    // The same points by the same rule: --view computes them in doubles,
    // the deep path exactly; the counts may differ only where the last bits
    // of a chaotic orbit decide.
    QTemporaryDir dir;
    const QString deep = dir.filePath(QStringLiteral("deep.npy")), view = dir.filePath(QStringLiteral("view.npy"));
    FrameSpec boundary = deepFrame();
    boundary.maxIters = 600;
    const auto [re, im] = levelCurvePoint(boundary, 1.1, 9);  // on the boundary, 9 decimals
    const auto side = [](const std::string& c, double k) { return QString::fromStdString(offsetDecimal(c, k, -6, 9)); };
    const QString centre = QString::fromStdString(re + ',' + im);
    const QString plane = QStringList{side(re, -1), side(re, 1), side(im, -1), side(im, 1)}.join(u',');
    const QStringList common{"--size", "100", "--iters", "600", "--threads", "2"};
    const Outcome d = render(QStringList{"--center", centre, "--radius", "1e-6", "--counts", deep} + common);
    const Outcome v = render(QStringList{"--view", plane, "--counts", view} + common);
    ASSERT_EQ(d.status, 0) << d.err.toStdString();
    ASSERT_EQ(v.status, 0) << v.err.toStdString();
    const std::vector<std::int64_t> a = readCounts(deep, 100), b = readCounts(view, 100);
    ASSERT_EQ(a.size(), 10000u);
    ASSERT_EQ(b.size(), 10000u);
    int same = 0;
    std::set<std::int64_t> distinct;
    for (std::size_t i = 0; i < a.size(); ++i) {
        same += a[i] == b[i] ? 1 : 0;
        distinct.insert(b[i]);
    }
    EXPECT_GE(same, 9990) << "of 10000 pixels, --center " << centre.toStdString() << " --view " << plane.toStdString();
    EXPECT_GT(distinct.size(), 50u) << "a frame with structure";
}

TEST(DeepRenderTest, ThreadCountChangesNeitherPictureNorCounts)
{
    QTemporaryDir dir;
    const Nucleus copy = nucleusNearI(-2);
    const QStringList frame{"--center", QString::fromStdString(copy.re + ',' + copy.im), "--radius", "3e-20",
                            "--size", "90", "--iters", "3000"};
    std::vector<std::int64_t> counts[2];
    QImage pictures[2];
    for (int i = 0; i < 2; ++i) {
        const QString png = dir.filePath(QStringLiteral("%1.png").arg(i)), npy = dir.filePath(QStringLiteral("%1.npy").arg(i));
        const Outcome r = render(frame + QStringList{"--threads", i == 0 ? "1" : "3", "--output", png, "--counts", npy});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        counts[i] = readCounts(npy, 90);
        pictures[i] = QImage(png);
    }
    ASSERT_EQ(counts[0].size(), 8100u);
    EXPECT_GT(std::set<std::int64_t>(counts[0].begin(), counts[0].end()).size(), 50u) << "a frame with structure";
    EXPECT_EQ(counts[0], counts[1]);
    EXPECT_EQ(pictures[0], pictures[1]);
}

// Around a copy of period 8007 at 1e-26, its centre cut short, pixels that
// doubles lose between the copy's periods come out as MPFR's through the
// whole renderer, and --stats says how many were counted again.
TEST(DeepRenderTest, PixelsThatDoublesLoseAreCountedAgain)
{
    QTemporaryDir dir;
    const QString npy = dir.filePath(QStringLiteral("c.npy"));
    const QStringList args{"--center", "-0.74364388703715870475219150611477977821525,0.13182590420531197049313205638514067897295",
                           "--radius", "1e-26", "--size", "48", "--iters", "30000", "--counts", npy, "--stats",
                           "--output", dir.filePath(QStringLiteral("c.png"))};
    const Outcome r = render(args);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const int at = r.out.indexOf("recounted ");
    ASSERT_GE(at, 0) << r.out.toStdString();
    EXPECT_GE(r.out.mid(at + 10).split('\n').front().toInt(), 10);
    const std::vector<std::int64_t> counts = readCounts(npy, 48);
    ASSERT_EQ(counts.size(), 2304u);
    FrameSpec p = deepFrame();
    deepOf(p) = DeepView{"-0.74364388703715870475219150611477977821525",
                         "0.13182590420531197049313205638514067897295", "1e-26"};
    p.width = p.height = 48;
    p.maxIters = 30000;
    for (const auto& [col, row] : {std::pair{28, 38}, {3, 13}, {9, 26}, {31, 34}})
        EXPECT_EQ(counts[static_cast<std::size_t>(row * 48 + col)], bruteForceCount(p, col, row)) << col << ", " << row;
}

TEST(DeepRenderTest, ColouringsFollowTheCountsAndThePictureCarriesItsCommand)
{
    QTemporaryDir dir;
    const QString npy = dir.filePath(QStringLiteral("c.npy")), pgm = dir.filePath(QStringLiteral("c.pgm")),
                  png = dir.filePath(QStringLiteral("c.png"));
    const Nucleus copy = nucleusNearI(-2);
    const QString centre = QString::fromStdString(copy.re + ',' + copy.im);
    const QStringList frame{"--center", centre, "--radius", "1e-20", "--size", "40", "--iters", "4000"};
    for (const Colouring rule : {Colouring::Cycle, Colouring::Curve}) {
        QStringList args = frame + QStringList{"--counts", npy, "--indices", pgm, "--output", png, "--stats"};
        args << "--colouring" << colouringName(rule);
        const Outcome r = render(args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        for (const char* line : {"reference_iterations ", "approximated_iterations ", "precision_bits "})
            EXPECT_TRUE(r.out.contains(line)) << line << " missing from " << r.out.toStdString();
        const std::vector<std::int64_t> counts = readCounts(npy, 40);
        const std::vector<int> indices = readIndices(pgm, 40);
        ASSERT_EQ(counts.size(), 1600u);
        ASSERT_EQ(indices.size(), 1600u);
        bool beyondTheCurve = false;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const auto count = static_cast<std::int32_t>(counts[i]);
            ASSERT_EQ(indices[i], paletteIndex(rule, count, 4000)) << "pixel " << i << " count " << count;
            beyondTheCurve = beyondTheCurve || (count > 498 && count < 4000);
        }
        EXPECT_TRUE(beyondTheCurve) << "no count where the two colourings part";
        const QString command = QImage(png).text(QStringLiteral("Command"));
        EXPECT_TRUE(command.contains(QStringLiteral("--center %1 --radius 1e-20").arg(centre))) << command.toStdString();
        EXPECT_TRUE(command.contains(QStringLiteral("--colouring ") + colouringName(rule))) << command.toStdString();
    }
}

// The powers without lanes evaluate every pixel one at a time: their
// indices too are the colouring's of their counts.
TEST(DeepRenderTest, AFrameOfZCubedIsColouredByItsCounts)
{
    QTemporaryDir dir;
    const QString npy = dir.filePath(QStringLiteral("c.npy")), pgm = dir.filePath(QStringLiteral("c.pgm"));
    FrameSpec f = deepFrame();
    f.func = powerFunc(3);
    f.maxIters = 4000;
    const auto [re, im] = levelCurvePoint(f, 0.7, 30);  // where counts run long
    for (const Colouring rule : {Colouring::Curve, Colouring::Cycle, Colouring::Extended}) {
        SCOPED_TRACE(colouringName(rule));
        const Outcome r = render({"--power", "3", "--center", QString::fromStdString(re + ',' + im), "--radius",
                                  "1e-20", "--size", "40", "--iters", "4000", "--colouring", colouringName(rule),
                                  "--counts", npy, "--indices", pgm});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const std::vector<std::int64_t> counts = readCounts(npy, 40);
        const std::vector<int> indices = readIndices(pgm, 40);
        ASSERT_EQ(counts.size(), 1600u);
        ASSERT_EQ(indices.size(), 1600u);
        int beyondTheCycle = 0;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            const auto count = static_cast<std::int32_t>(counts[i]);
            ASSERT_EQ(indices[i], paletteIndex(rule, count, 4000)) << "pixel " << i << " count " << count;
            beyondTheCycle += count > 498 && count < 4000 ? 1 : 0;
        }
        EXPECT_GT(beyondTheCycle, 20) << "too few counts where the colourings part";
    }
}

TEST(ColouringTest, CycleWalksThePaletteUpAndDownWithoutASeam)
{
    EXPECT_EQ(paletteIndex(Colouring::Cycle, 0, 100000), 0);
    EXPECT_EQ(paletteIndex(Colouring::Cycle, 1, 100000), 0);
    EXPECT_EQ(paletteIndex(Colouring::Cycle, 2, 100000), 2);
    EXPECT_EQ(paletteIndex(Colouring::Cycle, 100000, 100000), 499);
    int previous = paletteIndex(Colouring::Cycle, 2, 1 << 30);
    for (int k = 3; k < 5000; ++k) {
        const int i = paletteIndex(Colouring::Cycle, k, 1 << 30);
        ASSERT_GE(i, 1);
        ASSERT_LE(i, 498);
        ASSERT_EQ(std::abs(i - previous), 1) << "a jump at count " << k;
        previous = i;
    }
    EXPECT_EQ(paletteIndex(Colouring::Cycle, 498, 1 << 30), 498);
    EXPECT_EQ(paletteIndex(Colouring::Cycle, 499, 1 << 30), 497);
    EXPECT_EQ(paletteIndex(Colouring::Cycle, 995, 1 << 30), 1);
    // The curve is the explorer's, and stays on its last colour.
    EXPECT_EQ(paletteIndex(Colouring::Curve, 100, 1000), 82);
    EXPECT_EQ(paletteIndex(Colouring::Curve, 10075, 20000), 499);
    EXPECT_EQ(paletteIndex(Colouring::Curve, 1000, 1000), 499);
}

TEST(ColouringTest, ExtendedIsTheCurveWhereverItReachesAndGoesOnWithoutASeamOrTheInteriorsColour)
{
    constexpr std::int32_t unlimited = 1 << 30;
    for (std::int32_t k = 0; k < kCurveEnd; ++k)
        ASSERT_EQ(paletteIndex(Colouring::Extended, k, unlimited), paletteIndex(Colouring::Curve, k, unlimited))
            << "count " << k;
    EXPECT_EQ(paletteIndex(Colouring::Extended, 10074, unlimited), 499) << "the curve's own last colour";
    EXPECT_EQ(paletteIndex(Colouring::Extended, 10075, unlimited), 498);
    EXPECT_EQ(paletteIndex(Colouring::Extended, 20000, 20000), 499) << "a point that never escaped";
    int previous = paletteIndex(Colouring::Extended, 10075, unlimited), turns = 0, direction = -1;
    for (std::int32_t k = 10076; k < 3'000'000; ++k) {
        const int i = paletteIndex(Colouring::Extended, k, unlimited);
        ASSERT_GE(i, 1) << "count " << k;
        ASSERT_LE(i, 498) << "count " << k << " took the colour of the interior";
        ASSERT_LE(std::abs(i - previous), 1) << "a jump at count " << k;
        if (i != previous && (i - previous) != direction) {
            ++turns;
            direction = -direction;
            EXPECT_TRUE(previous == 1 || previous == 498) << "turned at index " << previous << ", count " << k;
        }
        previous = i;
    }
    // The cube-root curve reaches about 24 * 144 at three million: a few rounds.
    EXPECT_GE(turns, 4);
    EXPECT_LE(turns, 8);
}

TEST(DeepRenderTest, ACountsFileThatCannotBeWrittenLeavesEveryFileAsItWas)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("kept.png"));
    {
        QFile old(png);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old picture");
    }
    const Outcome r = render({"--center", "-0.75,0.1", "--radius", "1e-3", "--size", "16", "--output", png,
                              "--counts", dir.filePath(QStringLiteral("no/such/dir/c.npy"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("cannot write")) << r.err.toStdString();
    QFile kept(png);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old picture"));

    const Outcome same = render({"--size", "8", "--output", dir.filePath(QStringLiteral("a.npy")), "--counts",
                                 dir.filePath(QStringLiteral("a.npy"))});
    EXPECT_EQ(same.status, 2);
    EXPECT_TRUE(same.err.contains("--counts")) << same.err.toStdString();
}
