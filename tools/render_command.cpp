#include "tools/render_command.h"

#include <charconv>

std::string exactNumber(double v)
{
    char text[32];  // the longest double takes 24
    return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

namespace {

std::string joined(std::initializer_list<double> values)
{
    std::string out;
    for (double v : values) {
        if (!out.empty())
            out += ',';
        out += exactNumber(v);
    }
    return out;
}

} // namespace

const char* colouringName(Colouring rule)
{
    switch (rule) {
    case Colouring::Cycle: return "cycle";
    case Colouring::Extended: return "extended";
    case Colouring::Smooth: return "smooth";
    case Colouring::Distance: return "distance";
    default: return "curve";
    }
}

Colouring defaultColouring(const FrameSpec& frame) { return frame.deep() ? Colouring::Smooth : Colouring::Curve; }

std::vector<std::string> renderArguments(const FrameSpec& f, Colouring colouring, const std::string& output)
{
    return renderArguments(f, PictureLook{colouring, 1.0, {}, 1}, output);
}

std::vector<std::string> renderArguments(const FrameSpec& f, const PictureLook& look, const std::string& output)
{
    const Colouring colouring = look.colouring;
    std::vector<std::string> args{"kavrel-render", "--set", f.julia() ? "julia" : "mandelbrot"};
    if (const int power = integerPower(f.func))
        args.insert(args.end(), {"--power", std::to_string(power)});
    else
        args.insert(args.end(), {"--exponent", joined({f.func.realExpon, f.func.cplxExpon})});
    if (f.julia())
        args.insert(args.end(), {"--c", f.deep() ? f.c.reText + ',' + f.c.imText : joined({f.c.re, f.c.im})});
    if (f.deep()) {
        const DeepView& v = f.deepView();
        args.insert(args.end(), {"--center", v.re + ',' + v.im, "--radius", v.radius});
    } else {
        const PlaneView& v = f.plane();
        args.insert(args.end(), {"--view", joined({v.Xmin, v.Xmax, v.Ymin, v.Ymax})});
    }
    const std::string size = f.width == f.height ? std::to_string(f.width)
                                                 : std::to_string(f.width) + 'x' + std::to_string(f.height);
    args.insert(args.end(), {"--size", size, "--iters", std::to_string(f.maxIters)});
    if (colouring != defaultColouring(f))
        args.insert(args.end(), {"--colouring", colouringName(colouring)});
    if (look.density != 1.0 && followsFraction(colouring))
        args.insert(args.end(), {"--density", exactNumber(look.density)});
    if (!look.palette.empty())
        args.insert(args.end(), {"--palette", look.palette});
    if (look.supersample != 1)
        args.insert(args.end(), {"--supersample", std::to_string(look.supersample)});
    if (!output.empty())
        args.insert(args.end(), {"--output", output});
    return args;
}

std::string renderCommandLine(const FrameSpec& frame, Colouring colouring, const std::string& output)
{
    return renderCommandLine(frame, PictureLook{colouring, 1.0, {}, 1}, output);
}

std::string renderCommandLine(const FrameSpec& frame, const PictureLook& look, const std::string& output)
{
    std::string line;
    for (const std::string& arg : renderArguments(frame, look, output)) {
        if (!line.empty())
            line += ' ';
        line += arg;
    }
    return line;
}
