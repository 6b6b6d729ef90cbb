#include "commands/frame_command.h"

#include <QStringList>

#include "app/menus.h"
#include "engine/view.h"
#include "render/off_map.h"
#include "render/render_threads.h"
#include "tools/render_command.h"

namespace {

std::string commandLine(short FuncSwitch, const std::string& output)
{
    FrameSpec f = frameSpec(FuncSwitch);
    const offBMP* map = FuncSwitch == kJulia ? gJMap.get() : gMMap.get();
    f.width = f.height = map ? map->width : 0;
    return renderCommandLine(f, windowColouring(f), output);
}

} // namespace

QString copiedCommands(int menuCode)
{
    // Each frame to a file of its own: both lines of a window copy can be
    // pasted and run at once.
    QStringList lines;
    if (menuCode != kCopyRight)
        lines << QString::fromStdString(commandLine(kJulia, "julia.png"));
    if (menuCode != kCopyLeft)
        lines << QString::fromStdString(commandLine(kMandelbrot, "mandelbrot.png"));
    return lines.join(u'\n');
}
