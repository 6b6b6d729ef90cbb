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

std::vector<std::string> renderArguments(const FrameCommand& f)
{
    static const char* const powers[] = {"2", "3", "5", "10"};
    std::vector<std::string> args{"kavrel-render", "--set", f.julia ? "julia" : "mandelbrot"};
    if (f.whichFunc >= 1 && f.whichFunc <= 4)
        args.insert(args.end(), {"--power", powers[f.whichFunc - 1]});
    else
        args.insert(args.end(), {"--exponent", joined({f.realExpon, f.cplxExpon})});
    const bool deep = !f.radius.empty();
    if (f.julia)
        args.insert(args.end(), {"--c", deep ? f.cReText + ',' + f.cImText : joined({f.cRe, f.cIm})});
    if (deep)
        args.insert(args.end(), {"--center", f.centerRe + ',' + f.centerIm, "--radius", f.radius});
    else
        args.insert(args.end(), {"--view", joined({f.xmin, f.xmax, f.ymin, f.ymax})});
    args.insert(args.end(), {"--size", std::to_string(f.size), "--iters", std::to_string(f.iters)});
    if (f.cycle != deep)  // not the default colouring of the frame's kind
        args.insert(args.end(), {"--colouring", f.cycle ? "cycle" : "curve"});
    if (!f.output.empty())
        args.insert(args.end(), {"--output", f.output});
    return args;
}

std::string renderCommandLine(const FrameCommand& frame)
{
    std::string line;
    for (const std::string& arg : renderArguments(frame)) {
        if (!line.empty())
            line += ' ';
        line += arg;
    }
    return line;
}
