#pragma once

#include <QString>

// The plain text that goes to the clipboard beside the picture of copy
// command 611, 612 or 613: the kavrel-render command of each frame copied,
// one a line, each drawing the frame as the window shows it (a deep frame
// by its centre and radius, in the window's colouring of deep frames).
QString copiedCommands(int menuCode);
