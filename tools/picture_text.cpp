#include "tools/picture_text.h"

#include "tools/render_options.h"

FrameCommand frameOf(const RenderOptions& o, int iters)
{
    FrameCommand f;
    f.julia = o.FuncSwitch == 22;
    f.whichFunc = o.whichFunc;
    f.realExpon = o.realExpon;
    f.cplxExpon = o.cplxExpon;
    f.cRe = o.cRe;
    f.cIm = o.cIm;
    f.xmin = o.xmin;
    f.xmax = o.xmax;
    f.ymin = o.ymin;
    f.ymax = o.ymax;
    f.size = o.size;
    f.iters = iters;
    return f;
}

std::vector<std::pair<std::string, std::string>> pictureText(const FrameCommand& frame)
{
    return {{"Software", "Kavrel " KAVREL_VERSION}, {"Command", renderCommandLine(frame)}};
}
