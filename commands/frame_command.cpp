#include "commands/frame_command.h"

#include <QStringList>

#include "app/menus.h"
#include "engine/view.h"
#include "render/off_map.h"

FrameCommand shownFrame(short FuncSwitch, const std::string& output)
{
    const bool julia = FuncSwitch == kJulia;
    const grafStats& g = julia ? Jgraph : Mgraph;
    const offBMP* map = julia ? gJMap.get() : gMMap.get();
    FrameCommand f;
    f.julia = julia;
    f.whichFunc = whichFunc;
    f.realExpon = gRealExpon;
    f.cplxExpon = gCplxExpon;
    f.cRe = Jreal;
    f.cIm = Jcomplex;
    f.xmin = g.Xmin;
    f.xmax = g.Xmax;
    f.ymin = g.Ymin;
    f.ymax = g.Ymax;
    f.size = map ? map->width : 0;
    f.iters = g.iters;
    f.output = output;
    return f;
}

QString copiedCommands(int menuCode)
{
    // Each frame to a file of its own: both lines of a window copy can be
    // pasted and run at once.
    QStringList lines;
    if (menuCode != kCopyRight)
        lines << QString::fromStdString(renderCommandLine(shownFrame(kJulia, "julia.png")));
    if (menuCode != kCopyLeft)
        lines << QString::fromStdString(renderCommandLine(shownFrame(kMandelbrot, "mandelbrot.png")));
    return lines.join(u'\n');
}
