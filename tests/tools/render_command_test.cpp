#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cstdint>
#include <random>

#include "tools/picture_text.h"
#include "tools/render_command.h"
#include "tools/render_options.h"

namespace {

RenderOptions parsed(const FrameSpec& f, Colouring colouring, const std::string& output)
{
    QStringList args;
    for (const std::string& a : renderArguments(f, colouring, output))
        args << QString::fromStdString(a);
    RenderOptions o;
    QString message;
    EXPECT_EQ(parseRenderOptions(args, &o, &message), ParseResult::Ok)
        << renderCommandLine(f, colouring, output) << ": " << message.toStdString();
    return o;
}

// Bit for bit, so that -0 and 0 differ.
void expectSame(double read, double written, const char* what)
{
    EXPECT_EQ(std::bit_cast<std::uint64_t>(read), std::bit_cast<std::uint64_t>(written))
        << what << ": wrote " << exactNumber(written) << ", read back " << exactNumber(read);
}

void expectReadBack(const FrameSpec& f, const std::string& output = "", Colouring colouring = Colouring::Curve)
{
    const RenderOptions o = parsed(f, colouring, output);
    const FrameSpec& r = o.frame;
    EXPECT_EQ(r.FuncSwitch, f.FuncSwitch);
    EXPECT_EQ(r.func.which, f.func.which);
    if (f.func.which == 5) {
        expectSame(r.func.realExpon, f.func.realExpon, "exponent, real part");
        expectSame(r.func.cplxExpon, f.func.cplxExpon, "exponent, imaginary part");
    }
    if (f.julia()) {
        expectSame(r.c.re, f.c.re, "constant, real part");
        expectSame(r.c.im, f.c.im, "constant, imaginary part");
    }
    ASSERT_EQ(r.deep(), f.deep());
    if (f.deep()) {
        EXPECT_EQ(r.deepView(), f.deepView());
        if (f.julia()) {
            EXPECT_EQ(std::make_pair(r.c.reText, r.c.imText), std::make_pair(f.c.reText, f.c.imText));
        }
    } else {
        expectSame(r.plane().Xmin, f.plane().Xmin, "xmin");
        expectSame(r.plane().Xmax, f.plane().Xmax, "xmax");
        expectSame(r.plane().Ymin, f.plane().Ymin, "ymin");
        expectSame(r.plane().Ymax, f.plane().Ymax, "ymax");
    }
    EXPECT_EQ(r.width, f.width);
    EXPECT_EQ(r.maxIters, f.maxIters);
    EXPECT_FALSE(o.autoIters);
    EXPECT_EQ(o.colouring, colouring);
    EXPECT_EQ(o.output.toStdString(), output.empty() ? "kavrel.png" : output);
    // And back again: the options make the same command.
    EXPECT_EQ(renderCommandLine(o.frame, o.colouring, output), renderCommandLine(f, colouring, output));
}

FrameSpec complexPower(bool julia, double re, double im)
{
    FrameSpec f;
    f.FuncSwitch = julia ? kJulia : kMandelbrot;
    f.func = {5, re, im};
    return f;
}

TEST(RenderCommandTest, EveryNumberReadsBackAsTheSameDouble)
{
    std::mt19937_64 bits(13);
    auto anyFinite = [&] {
        for (;;) {
            const double v = std::bit_cast<double>(bits());
            if (std::isfinite(v))
                return v;
        }
    };
    std::uniform_real_distribution<double> exponent(-99.99, 99.99);
    for (int i = 0; i < 2000; ++i) {
        FrameSpec f = complexPower(i % 2 == 1, exponent(bits), exponent(bits));
        f.c = juliaOfDoubles(anyFinite(), anyFinite());
        const double a = anyFinite(), b = anyFinite(), c = anyFinite(), d = anyFinite();
        if (a == b || c == d)
            continue;
        f.view = PlaneView{std::min(a, b), std::max(a, b), std::min(c, d), std::max(c, d)};
        expectReadBack(f);
        if (HasFailure())
            return;
    }
}

TEST(RenderCommandTest, ZeroSignsExtremesAndTheDialogsLargestExponentSurvive)
{
    // The exponent dialog keeps a typed 99.99 as 9999 hundredths, 99.99000000000001.
    FrameSpec f = complexPower(true, 9999 * 0.01, -9999 * 0.01);
    f.c = juliaOfDoubles(-0.0, 0.1 + 0.2);
    f.view = PlaneView{-DBL_MAX, -0.0, 4.9406564584124654e-324, DBL_MIN};
    f.width = f.height = 32767;
    f.maxIters = 99000;
    expectReadBack(f, "julia.png");
    EXPECT_EQ(renderCommandLine(f, Colouring::Curve, "julia.png"),
              "kavrel-render --set julia --exponent 99.99000000000001,-99.99000000000001 --c -0,0.30000000000000004"
              " --view -1.7976931348623157e+308,-0,5e-324,2.2250738585072014e-308 --size 32767 --iters 99000"
              " --output julia.png");
}

TEST(RenderCommandTest, EachPresetPowerIsWrittenAsItsOwnOption)
{
    for (std::int16_t which = 1; which <= 4; ++which) {
        FrameSpec f;
        f.func = {which, 7.0, 0.0};  // an exponent left over from a complex power: not the function
        f.width = f.height = 1;
        f.maxIters = 1;
        expectReadBack(f);
        const std::string line = renderCommandLine(f, Colouring::Curve, "");
        EXPECT_EQ(line.find("--exponent"), std::string::npos) << line;
        EXPECT_EQ(line.find("--c "), std::string::npos) << "the Mandelbrot set has no constant";
    }
}

TEST(RenderCommandTest, PictureTextNamesTheSoftwareAndTheCommand)
{
    FrameSpec f;
    f.maxIters = 321;
    const auto text = pictureText(f, Colouring::Cycle);
    ASSERT_EQ(text.size(), 2u);
    EXPECT_EQ(text[0], (std::pair<std::string, std::string>{"Software", "Kavrel " KAVREL_VERSION}));
    EXPECT_EQ(text[1], (std::pair<std::string, std::string>{"Command", renderCommandLine(f, Colouring::Cycle, "")}));
}

TEST(RenderCommandTest, DeepFramesAreWrittenAsTheirDecimalsAndNameAColouringOnlyWhenNotTheirKindsOwn)
{
    FrameSpec f;
    f.FuncSwitch = kJulia;
    f.func = {3, 5.0, 0.0};
    f.c = juliaOfDecimals("-0.12345678901234567890123", "0.75");
    f.view = DeepView{"-0.7436438870371587047521915061147797782152", "0.1318259042053119704931320563851406789729",
                      "2.5e-40"};
    f.width = f.height = 310;
    f.maxIters = 49000;
    for (const Colouring rule : {Colouring::Cycle, Colouring::Extended, Colouring::Curve, Colouring::Smooth})
        expectReadBack(f, "deep.png", rule);
    EXPECT_EQ(renderCommandLine(f, Colouring::Extended, "deep.png"),
              "kavrel-render --set julia --power 5 --c -0.12345678901234567890123,0.75"
              " --center -0.7436438870371587047521915061147797782152,0.1318259042053119704931320563851406789729"
              " --radius 2.5e-40 --size 310 --iters 49000 --colouring extended --output deep.png");
    EXPECT_EQ(renderCommandLine(f, Colouring::Smooth, "").find("--colouring"), std::string::npos)
        << "smooth is a deep frame's own colouring";
    EXPECT_NE(renderCommandLine(f, Colouring::Cycle, "").find("--colouring cycle"), std::string::npos);
}

} // namespace
