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
    if (o.deep) {
        f.centerRe = o.centerRe.toStdString();
        f.centerIm = o.centerIm.toStdString();
        f.radius = o.radius.toStdString();
        f.cReText = o.juliaReText.toStdString();
        f.cImText = o.juliaImText.toStdString();
    }
    f.cycle = o.colouring == Colouring::Cycle;
    return f;
}

std::vector<std::pair<std::string, std::string>> pictureText(const FrameCommand& frame)
{
    return {{"Software", "Kavrel " KAVREL_VERSION}, {"Command", renderCommandLine(frame)}};
}
