#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cstdint>
#include <random>

#include "tools/picture_text.h"
#include "tools/render_command.h"
#include "tools/render_options.h"

namespace {

RenderOptions parsed(const FrameCommand& f)
{
    QStringList args;
    for (const std::string& a : renderArguments(f))
        args << QString::fromStdString(a);
    RenderOptions o;
    QString message;
    EXPECT_EQ(parseRenderOptions(args, &o, &message), ParseResult::Ok)
        << renderCommandLine(f) << ": " << message.toStdString();
    return o;
}

// Bit for bit, so that -0 and 0 differ.
void expectSame(double read, double written, const char* what)
{
    EXPECT_EQ(std::bit_cast<std::uint64_t>(read), std::bit_cast<std::uint64_t>(written))
        << what << ": wrote " << exactNumber(written) << ", read back " << exactNumber(read);
}

void expectReadBack(const FrameCommand& f)
{
    const RenderOptions o = parsed(f);
    EXPECT_EQ(o.FuncSwitch, f.julia ? 22 : 11);
    EXPECT_EQ(o.whichFunc, f.whichFunc);
    if (f.whichFunc == 5) {
        expectSame(o.realExpon, f.realExpon, "exponent, real part");
        expectSame(o.cplxExpon, f.cplxExpon, "exponent, imaginary part");
    }
    if (f.julia) {
        expectSame(o.cRe, f.cRe, "constant, real part");
        expectSame(o.cIm, f.cIm, "constant, imaginary part");
    }
    expectSame(o.xmin, f.xmin, "xmin");
    expectSame(o.xmax, f.xmax, "xmax");
    expectSame(o.ymin, f.ymin, "ymin");
    expectSame(o.ymax, f.ymax, "ymax");
    EXPECT_EQ(o.size, f.size);
    EXPECT_EQ(o.iters, f.iters);
    EXPECT_EQ(o.output.toStdString(), f.output.empty() ? "kavrel.png" : f.output);
    // And back again: the options make the same command.
    FrameCommand again = frameOf(o, f.iters);
    again.output = f.output;
    EXPECT_EQ(renderCommandLine(again), renderCommandLine(f));
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
        FrameCommand f;
        f.julia = i % 2 == 1;
        f.whichFunc = 5;
        f.realExpon = exponent(bits);
        f.cplxExpon = exponent(bits);
        f.cRe = anyFinite();
        f.cIm = anyFinite();
        const double a = anyFinite(), b = anyFinite(), c = anyFinite(), d = anyFinite();
        if (a == b || c == d)
            continue;
        f.xmin = std::min(a, b);
        f.xmax = std::max(a, b);
        f.ymin = std::min(c, d);
        f.ymax = std::max(c, d);
        expectReadBack(f);
        if (HasFailure())
            return;
    }
}

TEST(RenderCommandTest, ZeroSignsExtremesAndTheDialogsLargestExponentSurvive)
{
    FrameCommand f;
    f.julia = true;
    f.whichFunc = 5;
    // The exponent dialog keeps a typed 99.99 as 9999 hundredths, 99.99000000000001.
    f.realExpon = 9999 * 0.01;
    f.cplxExpon = -9999 * 0.01;
    f.cRe = -0.0;
    f.cIm = 0.1 + 0.2;
    f.xmin = -DBL_MAX;
    f.xmax = -0.0;
    f.ymin = 4.9406564584124654e-324;
    f.ymax = DBL_MIN;
    f.size = 32767;
    f.iters = 99000;
    f.output = "julia.png";
    expectReadBack(f);
    EXPECT_EQ(renderCommandLine(f),
              "kavrel-render --set julia --exponent 99.99000000000001,-99.99000000000001 --c -0,0.30000000000000004"
              " --view -1.7976931348623157e+308,-0,5e-324,2.2250738585072014e-308 --size 32767 --iters 99000"
              " --output julia.png");
}

TEST(RenderCommandTest, EachPresetPowerIsWrittenAsItsOwnOption)
{
    for (int which = 1; which <= 4; ++which) {
        FrameCommand f;
        f.whichFunc = which;
        f.realExpon = 7.0;  // left over from a complex power: not the function
        f.size = 1;
        f.iters = 1;
        expectReadBack(f);
        EXPECT_EQ(renderCommandLine(f).find("--exponent"), std::string::npos) << renderCommandLine(f);
        EXPECT_EQ(renderCommandLine(f).find("--c "), std::string::npos) << "the Mandelbrot set has no constant";
    }
}

TEST(RenderCommandTest, PictureTextNamesTheSoftwareAndTheCommand)
{
    FrameCommand f;
    f.iters = 321;
    const auto text = pictureText(f);
    ASSERT_EQ(text.size(), 2u);
    EXPECT_EQ(text[0], (std::pair<std::string, std::string>{"Software", "Kavrel " KAVREL_VERSION}));
    EXPECT_EQ(text[1], (std::pair<std::string, std::string>{"Command", renderCommandLine(f)}));
}

} // namespace
