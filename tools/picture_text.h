#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/render_command.h"

struct RenderOptions;

// The frame the options describe, drawn with iteration limit `iters` (the
// automatic limit resolved), written to the tool's default file.
FrameCommand frameOf(const RenderOptions& options, int iters);

// Keyword and text of each text chunk a picture carries, so that it can be
// made again: the software and its version, and the command line.
std::vector<std::pair<std::string, std::string>> pictureText(const FrameCommand& frame);
