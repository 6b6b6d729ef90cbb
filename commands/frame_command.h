#pragma once

#include <QString>

#include "tools/render_command.h"

// The frame the window shows now (11 Mandelbrot, 22 Julia) as kavrel-render
// takes it, to be written to `output`.
FrameCommand shownFrame(short FuncSwitch, const std::string& output);

// The plain text that goes to the clipboard beside the picture of copy
// command 611, 612 or 613: the kavrel-render command of each frame copied,
// one a line.
QString copiedCommands(int menuCode);
